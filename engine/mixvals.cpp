#include "engine/engine.h"
namespace engine {
void Engine::getmixvals() {}
void Engine::setpanvol() {}
}  // namespace engine

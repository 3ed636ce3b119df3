#include "engine/engine.h"
namespace engine {
void Engine::mcirecopen() {}
void Engine::mcirecstart() {}
}  // namespace engine

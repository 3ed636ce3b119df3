#include "engine/engine.h"
#include "platform/sound.h"
namespace engine {
void Engine::playloop() {}
void Engine::stopdsound() {}
}  // namespace engine

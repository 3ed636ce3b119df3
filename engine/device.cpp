#include "engine/engine.h"
#include "platform/sound.h"
namespace engine {
void Engine::dsoundinit() {}
void Engine::chktrkfiles() {}
void Engine::preloadtracks() {}
void Engine::mkbuf(int) {}
void Engine::fillhalf(int, bool) {}
}  // namespace engine

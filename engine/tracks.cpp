#include "engine/engine.h"
namespace engine {
void Engine::opentracks(std::array<int16_t, 14>&, int32_t) {}
}  // namespace engine

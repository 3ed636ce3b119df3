#include "engine/engine.h"

#include "platform/sound.h"

namespace engine {

Engine::Engine(app::System& sys) : sys_(sys) { trkfile.fill("noF"); }

// Releases whatever a run left (the program ends during playback).
Engine::~Engine() { stopdsound(); }

}  // namespace engine

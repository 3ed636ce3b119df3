#include "engine/engine.h"

#include "app/application.h"
#include "platform/sound.h"
#include "platform/text.h"

namespace engine {

Engine::Engine(app::System& sys) : sys_(sys) {
  trkfile.fill(kNoFile);
  // State the tests and the scenario runner read by name.
  app::Application& a = sys_.app;
  a.registerVar("autoidx", [this] { return platform::str(autoidx); });
  a.registerVar("startms", [this] { return platform::str(startms); });
  a.registerVar("recstartms", [this] { return platform::str(recstartms); });
  a.registerVar("startfailed", [this] { return std::string(startFailed ? "1" : "0"); });
  a.registerVar("trkbufs", [this] {  // the tracks that have a buffer, as "01 03 ..."
    std::string s;
    for (int n = 1; n <= kTracks; ++n)
      if (trkbuf[n - 1]) {
        if (!s.empty()) s += ' ';
        s += platform::twoDigits(n);
      }
    return s;
  });
}

// Releases whatever a run left (the program ends during playback).
Engine::~Engine() { stopdsound(); }

}  // namespace engine

// CPU of the whole program while 28 tracks play: builds a song of 28 tracks of 25 seconds in a
// temporary drive root, starts the engine as PLAY does, lets the streaming loop run in real
// time for 20 seconds (a window timer then stops it as STOP does) and exits. Run it under
// `/usr/bin/time -v` with an audio server, e.g. a private JACK dummy server:
//   jackd --no-realtime -n NAME -d dummy -r 44100 -p 512 &
//   JACK_DEFAULT_SERVER=NAME VEMRA_AUDIO=jack /usr/bin/time -v ./play28 [seconds] [tracks]
// and divide user + system time by the seconds played. Writing the song costs CPU of its own:
// `play28 --prepare DIR [tracks]` writes it into DIR once, and `play28 SECONDS TRACKS DIR` then
// plays that song without writing anything (DIR is left in place).
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/system.h"
#include "engine/engine.h"
#include "platform/app_loop.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/sound.h"
#include "platform/ui.h"
#include "shell/main_form.h"
#include "shell/shell.h"

namespace {

namespace fs = std::filesystem;
namespace ui = platform::ui;

constexpr int kTrackSeconds = 25;

// Any box would wait for a click nobody makes: print it and answer OK.
struct PrintResponder : ui::Responder {
  int answerBox(const ui::BoxRecord& b) override {
    std::fprintf(stderr, "box: %s: %s\n", b.title.c_str(), b.text.c_str());
    return ui::kOk;
  }
  std::optional<std::string> answerInput(const ui::BoxRecord&) override { return std::nullopt; }
  std::optional<std::string> answerMenu(const ui::BoxRecord&) override { return std::nullopt; }
};

void writeTrack(const fs::path& p, int n) {
  std::ofstream out(p, std::ios::binary);
  std::vector<char> header(44, 0);
  out.write(header.data(), std::streamsize(header.size()));
  std::vector<int16_t> data(size_t(44100) * kTrackSeconds);
  const double hz = 110.0 * (1 + n % 7);
  for (size_t i = 0; i < data.size(); ++i)
    data[i] = int16_t(600 * std::sin(2 * M_PI * hz * double(i) / 44100.0));
  out.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size() * 2));
}

void writeSong(const fs::path& root, int tracks) {
  fs::create_directories(root / "Vemracd" / "Mysong");
  for (int n = 1; n <= tracks && n <= 28; ++n)
    writeTrack(root / "Vemracd" / "Mysong" / ((n < 10 ? "T0" : "T") + std::to_string(n) + ".wav"), n);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 && std::string(argv[1]) == "--prepare") {
    writeSong(argv[2], argc > 3 ? std::atoi(argv[3]) : 28);
    return 0;
  }
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 20;
  const int tracks = argc > 2 ? std::atoi(argv[2]) : 28;
  setenv("QT_QPA_PLATFORM", "offscreen", 0);

  fs::path root;
  const bool own = argc <= 3;
  if (own) {
    char tmpl[] = "/tmp/vemra-play28-XXXXXX";
    if (!mkdtemp(tmpl)) return 2;
    root = tmpl;
    writeSong(root, tracks);
  } else {
    root = argv[3];
  }
  platform::setDriveRoot(root.string());
  fs::current_path(root);

  platform::initApplication(argc, argv);
  PrintResponder responder;
  ui::setResponder(&responder);
  int rc = 0;
  {
    app::Application program;
    shell::MainForm& f = program.mainForm();
    engine::Engine& e = *program.system().engine;
    ui::Timer& stopper = f.addTimer("benchStop", seconds * 1000, false);
    stopper.onTimer = [&] {
      stopper.setEnabled(false);
      f.PLAY->setForeColor(ui::colour::kYellow);
      f.RPSTOP->setForeColor(ui::colour::kRed);
      e.stopdsound();
    };

    f.PLAY->setForeColor(ui::colour::kRed);
    f.RPSTOP->setForeColor(ui::colour::kYellow);
    e.dsoundinit();
    e.getmixvals();
    e.chktrkfiles();
    e.opentracks(program.system().shell->trkvals, 0);
    e.preloadtracks();
    if (e.startFailed) {
      rc = 1;
    } else {
      int buffers = 0;
      for (auto* b : e.trkbuf) buffers += b != nullptr;
      std::printf("backend %s, %d track buffers, latency %ld frames\n",
                  platform::backendName().c_str(), buffers, platform::outputLatencyFrames());
      const int64_t t0 = platform::nowMs();
      stopper.setEnabled(true);
      e.playloop();
      std::printf("played %.3f s\n", double(platform::nowMs() - t0) / 1000.0);
    }
  }
  ui::setResponder(nullptr);
  platform::shutdownAudio();
  platform::shutdownApplication();
  fs::current_path("/");
  if (own) fs::remove_all(root);
  return rc;
}

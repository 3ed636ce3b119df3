// One refill of the streaming loop: for each of 28 tracks, one read of 88,200 bytes from its
// file into the transfer area and one copy into its sound buffer (target: under 5 ms). The
// files are fresh, so they are read from the page cache, as the steady read-ahead of a
// playback would have them.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "app/application.h"
#include "app/system.h"
#include "engine/engine.h"
#include "platform/app_loop.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/sound.h"
#include "shell/main_form.h"
#include "shell/shell.h"

namespace {

namespace fs = std::filesystem;
constexpr int kSeconds = 60;

void writeTrack(const fs::path& p, int n) {
  std::ofstream out(p, std::ios::binary);
  std::vector<char> header(44, 0);
  out.write(header.data(), std::streamsize(header.size()));
  std::vector<int16_t> second(44100);
  for (size_t i = 0; i < second.size(); ++i) second[i] = int16_t((i * 7 + size_t(n)) % 2000);
  for (int s = 0; s < kSeconds; ++s)
    out.write(reinterpret_cast<const char*>(second.data()), std::streamsize(second.size() * 2));
}

void BM_Refill28Tracks(benchmark::State& state) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  platform::ensureApplication();
  char tmpl[] = "/tmp/vemra-bench-refill-XXXXXX";
  if (!mkdtemp(tmpl)) {
    state.SkipWithError("no temporary directory");
    return;
  }
  const fs::path root = tmpl;
  fs::create_directories(root / "Vemracd" / "Mysong");
  for (int n = 1; n <= 28; ++n)
    writeTrack(root / "Vemracd" / "Mysong" / ((n < 10 ? "T0" : "T") + std::to_string(n) + ".wav"), n);
  const fs::path oldCwd = fs::current_path();
  platform::setDriveRoot(root.string());
  fs::current_path(root);
  platform::selectBackend(platform::AudioBackendKind::Offline);
  platform::configureOffline({});
  {
    app::Application program;
    engine::Engine& e = *program.system().engine;
    e.dsoundinit();
    e.getmixvals();
    e.chktrkfiles();
    e.opentracks(program.system().shell->trkvals, 0);
    e.preloadtracks();
    if (e.startFailed) state.SkipWithError("the start failed");
    int64_t k = 0;
    for (auto _ : state) {
      if (++k % (kSeconds - 2) == 0)  // back to the start before the files run out
        for (int n = 1; n <= 28; ++n) platform::seek(n, 45);
      for (int n = 1; n <= 28; ++n) e.fillhalf(n, k % 2 == 0);
      benchmark::ClobberMemory();
    }
    e.stopdsound();
  }
  platform::shutdownAudio();
  fs::current_path(oldCwd);
  platform::setDriveRoot("");
  fs::remove_all(root);
}
BENCHMARK(BM_Refill28Tracks)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

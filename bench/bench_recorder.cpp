// Memory of a long recording: 10 simulated minutes through the offline backend, with the
// program's own command strings. The recorder keeps a fixed ring and streams to its scratch
// file, so resident memory must stay flat (target: under 16 MB of growth).
//
// Counters (kB): rss_before (before the device is opened), rss_peak_growth (highest reading,
// sampled every simulated second, minus rss_before), rss_growth (after stop, save and close).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/clock.h"
#include "platform/mci.h"
#include "platform/paths.h"
#include "platform/sound.h"

namespace {

using namespace platform;

long rssKb() {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  return -1;
}

void BM_Record10Minutes(benchmark::State& state) {
  const int channels = static_cast<int>(state.range(0));
  const int seconds = 600;
  char tmpl[] = "/tmp/vemra-bench-rec-XXXXXX";
  if (!mkdtemp(tmpl)) {
    state.SkipWithError("no temporary directory");
    return;
  }
  const std::string root = tmpl;
  std::filesystem::create_directories(root + "/Vemracd/Mysong");
  setDriveRoot(root);
  selectBackend(AudioBackendKind::Offline);
  OfflineConfig cfg;
  cfg.outputWav = "/dev/null";  // the mixer's output is not what is measured here
  configureOffline(cfg);
  SimClock clock(0);
  ScriptedYield driver(clock);
  setYieldDriver(&driver);

  long before = 0, peak = 0, after = 0;
  for (auto _ : state) {
    before = peak = rssKb();
    bool ok = mciExecute("open new type waveaudio alias cap44 ");
    ok &= mciExecute(channels == 1
                         ? "set cap44 bitspersample 16 channels 1 samplespersec 44100 "
                         : "set cap44 bitspersample 16 channels 2 samplespersec 44100 ");
    ok &= mciExecute("Cue cap44 input  ");
    ok &= mciExecute("record cap44 From 0 ");
    for (int s = 0; s < seconds; ++s) {
      clock.advanceBy(1000);
      peak = std::max(peak, rssKb());
    }
    ok &= mciExecute("stop cap44 ");
    ok &= mciExecute("save cap44 C:\\Vemracd\\Mysong\\T02.wav");
    ok &= mciExecute("close cap44 ");
    after = rssKb();
    if (!ok) state.SkipWithError(mciLastError().c_str());
  }
  const auto saved = std::filesystem::file_size(root + "/Vemracd/Mysong/T02.wav");
  state.counters["rss_before_kB"] = static_cast<double>(before);
  state.counters["rss_peak_growth_kB"] = static_cast<double>(peak - before);
  state.counters["rss_growth_kB"] = static_cast<double>(after - before);
  state.counters["take_MB"] = static_cast<double>(saved) / 1e6;

  mciReset();
  shutdownAudio();
  setYieldDriver(nullptr);
  setDriveRoot("");
  std::filesystem::remove_all(root);
}

BENCHMARK(BM_Record10Minutes)
    ->ArgName("channels")
    ->Arg(1)
    ->Arg(2)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

// The waveform views: one redraw of the 3-second page of 14 tracks (target: under 16 ms, one
// frame at 60 Hz, on one core) and one 1-second view, read from track files in the page cache.
// The "Painted" variants also paint the shown window (offscreen) after the drawing.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "app/application.h"
#include "app/system.h"
#include "platform/app_loop.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "shell/main_form.h"
#include "shell/shell.h"
#include "waveform/waveform.h"

namespace {

namespace fs = std::filesystem;
namespace colour = platform::ui::colour;

void writeTrack(const fs::path& p, int n) {
  std::ofstream out(p, std::ios::binary);
  std::vector<char> header(44, 0);
  out.write(header.data(), std::streamsize(header.size()));
  std::vector<int16_t> s(44100 * 6);
  uint32_t x = 12345u + uint32_t(n);
  for (auto& v : s) {
    x = x * 1664525u + 1013904223u;
    v = int16_t(x >> 16);
  }
  out.write(reinterpret_cast<const char*>(s.data()), std::streamsize(s.size() * 2));
}

// The program with tracks 01-14 recorded and marked, on a temporary drive.
class Song {
 public:
  Song() {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    platform::ensureApplication();
    char tmpl[] = "/tmp/vemra-bench-views-XXXXXX";
    if (!mkdtemp(tmpl)) return;
    root_ = tmpl;
    fs::create_directories(root_ / "Vemracd" / "Mysong");
    for (int n = 1; n <= 14; ++n) {
      const std::string name = std::string("T").append(platform::twoDigits(n)).append(".wav");
      writeTrack(root_ / "Vemracd" / "Mysong" / name, n);
    }
    oldCwd_ = fs::current_path();
    platform::setDriveRoot(root_.string());
    fs::current_path(root_);
    program_ = std::make_unique<app::Application>();
    shell::Shell& sh = *program_->system().shell;
    shell::MainForm& f = program_->mainForm();
    for (int t = 1; t <= 28; ++t)
      sh.tkfname[t - 1] = "C:\\Vemracd\\Mysong\\T" + platform::twoDigits(t) + ".wav";
    f.t0114->setForeColor(colour::kWhite);
    f.PLAY->setForeColor(colour::kYellow);
    for (auto* r : f.R) r->setForeColor(colour::kBlue);
  }
  ~Song() {
    program_.reset();
    if (root_.empty()) return;
    fs::current_path(oldCwd_);
    platform::setDriveRoot("");
    fs::remove_all(root_);
  }
  bool ok() const { return program_ != nullptr; }
  waveform::Waveform& wv() { return *program_->system().waveform; }
  shell::MainForm& form() { return program_->mainForm(); }

 private:
  fs::path root_, oldCwd_;
  std::unique_ptr<app::Application> program_;
};

void BM_Page14(benchmark::State& state) {
  Song song;
  if (!song.ok()) return state.SkipWithError("no temporary directory");
  const bool painted = state.range(0) != 0;
  if (painted) song.form().show();
  song.wv().wavpage = 2;  // the redraw of page 1: minus_Click
  for (auto _ : state) {
    song.wv().minus_Click();
    if (painted) song.form().refresh();
  }
  state.counters["lines"] = double(song.form().lines().size());
}
BENCHMARK(BM_Page14)->Arg(0)->Arg(1)->ArgName("painted")->Unit(benchmark::kMillisecond);

void BM_OneSecond(benchmark::State& state) {
  Song song;
  if (!song.ok()) return state.SkipWithError("no temporary directory");
  const bool painted = state.range(0) != 0;
  if (painted) song.form().show();
  waveform::Waveform& wv = song.wv();
  wv.minus_Click();
  wv.curtrkfile = "C:\\Vemracd\\Mysong\\T07.wav";
  for (auto _ : state) {
    wv.onesecstart = 44100;
    wv.wavdisponesec();
    if (painted) song.form().refresh();
  }
  state.counters["lines"] = double(song.form().lines().size());
}
BENCHMARK(BM_OneSecond)->Arg(0)->Arg(1)->ArgName("painted")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

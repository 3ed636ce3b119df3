// The range editor on a 5-minute track (13,230,000 samples, 26.5 MB): a range delete (DR of one
// second in the middle, through the deletion device and the rename) and a range paste of one
// second 100 times (PR, copies two seconds apart), each against copying the same track file with
// `cp`, in the same run. The track is put back (untimed) before every edit.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/system.h"
#include "platform/app_loop.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "platform/wav.h"
#include "shell/main_form.h"
#include "shell/shell.h"
#include "waveform/waveform.h"

namespace {

namespace fs = std::filesystem;
namespace colour = platform::ui::colour;
constexpr int64_t kSamples = 5LL * 60 * 44100;

class Song {
 public:
  Song() {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    platform::ensureApplication();
    char tmpl[] = "/tmp/vemra-bench-editing-XXXXXX";
    if (!mkdtemp(tmpl)) return;
    root_ = tmpl;
    song_ = root_ / "Vemracd" / "Mysong";
    fs::create_directories(song_);
    {
      std::ofstream out(master(), std::ios::binary);
      const auto h = platform::wavHeader(1, static_cast<uint32_t>(kSamples * 2));
      out.write(reinterpret_cast<const char*>(h.data()), std::streamsize(h.size()));
      std::vector<int16_t> s(static_cast<size_t>(kSamples));
      uint32_t x = 12345u;
      for (auto& v : s) {
        x = x * 1664525u + 1013904223u;
        v = int16_t(x >> 16);
      }
      out.write(reinterpret_cast<const char*>(s.data()), std::streamsize(s.size() * 2));
    }
    restore();
    oldCwd_ = fs::current_path();
    platform::setDriveRoot(root_.string());
    fs::current_path(root_);
    program_ = std::make_unique<app::Application>();
    shell::Shell& sh = *program_->system().shell;
    shell::MainForm& f = program_->mainForm();
    sh.MVinitialise();
    f.t0114->setForeColor(colour::kWhite);
    f.PLAY->setForeColor(colour::kYellow);
    f.R[2]->setForeColor(colour::kBlue);
  }
  ~Song() {
    program_.reset();
    if (root_.empty()) return;
    fs::current_path(oldCwd_);
    platform::setDriveRoot("");
    fs::remove_all(root_);
  }
  bool ok() const { return program_ != nullptr; }
  fs::path master() const { return song_ / "master.wav"; }
  fs::path t03() const { return song_ / "T03.wav"; }
  void restore() { fs::copy_file(master(), t03(), fs::copy_options::overwrite_existing); }
  shell::MainForm& form() { return program_->mainForm(); }

 private:
  fs::path root_, song_, oldCwd_;
  std::unique_ptr<app::Application> program_;
};

Song& song() {
  static Song s;
  return s;
}

void BM_RangeDelete(benchmark::State& state) {
  Song& s = song();
  if (!s.ok()) return state.SkipWithError("no song");
  shell::MainForm& f = s.form();
  for (auto _ : state) {
    state.PauseTiming();
    s.restore();
    f.siv->setText("6615000");
    f.sov->setText("6659100");
    f.srct->setText("3");
    state.ResumeTiming();
    f.rgedrl->click();
  }
  if (fs::file_size(s.t03()) != 44 + 2 * static_cast<uint64_t>(kSamples - 44100))
    state.SkipWithError("the delete did not shorten the track");
}
BENCHMARK(BM_RangeDelete)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RangePaste100(benchmark::State& state) {
  Song& s = song();
  if (!s.ok()) return state.SkipWithError("no song");
  shell::MainForm& f = s.form();
  for (auto _ : state) {
    state.PauseTiming();
    s.restore();
    f.siv->setText("0");
    f.sov->setText("44100");
    f.ptv->setText("44100");
    f.srct->setText("3");
    f.tov->setText("3");
    f.intervalval->setText("88200");
    f.repeatval->setText("100");
    state.ResumeTiming();
    f.rgepdl->click();
  }
  if (f.Umsg->caption() != " Paste range of samples done. Ready.")
    state.SkipWithError(("the paste did not run: " + f.Umsg->caption()).c_str());
}
BENCHMARK(BM_RangePaste100)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CpTrack(benchmark::State& state) {
  Song& s = song();
  if (!s.ok()) return state.SkipWithError("no song");
  const std::string cmd = "cp '" + s.t03().string() + "' '" + (s.t03().string() + ".copy") + "'";
  for (auto _ : state) {
    if (std::system(cmd.c_str()) != 0) state.SkipWithError("cp failed");
  }
}
BENCHMARK(BM_CpTrack)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

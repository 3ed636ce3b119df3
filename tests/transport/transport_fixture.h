// The whole program on a temporary drive, under the simulated clock with the offline sound
// device, for the tests of PLAY and the record buttons. Track files carry "stamped" samples
// (each tells its track and its place) and the recorder hears a WAV whose samples tell their
// place, so output and takes can be checked sample for sample.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/system.h"
#include "engine/engine.h"
#include "platform/app_loop.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/mci.h"
#include "platform/paths.h"
#include "platform/sound.h"
#include "platform/ui.h"
#include "platform/wav.h"
#include "shell/main_form.h"
#include "shell/shell.h"
#include "transport/transport.h"
#include "waveform/waveform.h"

namespace transport_test {

namespace fs = std::filesystem;
namespace ui = platform::ui;
namespace colour = ui::colour;
using Bytes = std::vector<uint8_t>;

constexpr int64_t kRate = 44100;

// Sample j of what the recorder hears: never 0 and not repeating within a second.
inline int16_t heard(int64_t j) { return int16_t(-1 - j % 29989); }
// Sample j of track n's file: never 0, different from track to track.
inline int16_t stamp(int n, int64_t j) { return int16_t(1 + j % 1021 + 37 * n); }

inline Bytes readAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline Bytes wavFile(int channels, const std::vector<int16_t>& samples) {
  const auto h = platform::wavHeader(channels, uint32_t(samples.size() * 2));
  Bytes b(h.begin(), h.end());
  b.resize(b.size() + samples.size() * 2);
  if (!samples.empty()) std::memcpy(b.data() + 44, samples.data(), samples.size() * 2);
  return b;
}

inline void writeAll(const fs::path& p, const Bytes& b) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

// The first `n` samples the recorder hears, as a track file holds them.
inline Bytes heardTake(int64_t n) {
  std::vector<int16_t> s(static_cast<size_t>(n));
  for (int64_t j = 0; j < n; ++j) s[size_t(j)] = heard(j);
  return wavFile(1, s);
}

// What the mixer makes of one sample at a gain (float, rounded half away from zero).
inline int16_t mixed(float sum) {
  sum = std::min(32767.0f, std::max(-32768.0f, sum));
  return int16_t(int(sum + std::copysign(0.5f, sum)));
}

// Absolute index (frames since the device was configured) of the next frame to render.
inline int64_t nextFrame() {
  return platform::offlineOutputFirstFrame() + int64_t(platform::offlineOutput().size() / 2);
}
// Output frame at absolute index `f` as (left, right); (0, 0) where nothing was rendered.
inline std::pair<int16_t, int16_t> frame(int64_t f) {
  const auto& out = platform::offlineOutput();
  const int64_t i = f - platform::offlineOutputFirstFrame();
  if (i < 0 || size_t(2 * i + 1) >= out.size()) return {0, 0};
  return {out[size_t(2 * i)], out[size_t(2 * i + 1)]};
}

struct OkResponder : ui::Responder {
  int answerBox(const ui::BoxRecord&) override { return ui::kOk; }
  std::optional<std::string> answerInput(const ui::BoxRecord&) override { return std::nullopt; }
  std::optional<std::string> answerMenu(const ui::BoxRecord&) override { return std::nullopt; }
};

class TransportRun : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { platform::ensureApplication(); }

  void SetUp() override {
    static int serial = 0;
    root_ = fs::temp_directory_path() /
            ("vemra_transport_" + std::to_string(::getpid()) + "_" + std::to_string(++serial));
    fs::create_directories(song());
    oldCwd_ = fs::current_path();
    platform::setDriveRoot(root_.string());
    fs::current_path(root_);
    clock_ = std::make_unique<platform::SimClock>(0);
    driver_ = std::make_unique<platform::ScriptedYield>(*clock_, 10);
    platform::setYieldDriver(driver_.get());
    std::vector<int16_t> in(size_t(30 * kRate));
    for (size_t j = 0; j < in.size(); ++j) in[j] = heard(int64_t(j));
    writeAll(root_ / "heard.wav", wavFile(1, in));
    devices(1, 1);
    ui::setResponder(&responder_);
    ui::clearShownBoxes();
    ui::setScreenSizeOverride(std::make_pair(1024, 768));
    // The program folder, so that start-up shows no box.
    writeAll(root_ / "Vemracd" / "def", wavFile(1, {}));
    writeAll(root_ / "Vemracd" / "def1", wavFile(2, {}));
    writeAll(root_ / "Vemracd" / "Mv01.exe", Bytes(16, 1));
    writeAll(root_ / "Vemracd" / "Parms", Bytes(300, 0));
  }

  void TearDown() override {
    program_.reset();
    ui::setInputBlocked(false);
    ui::setResponder(nullptr);
    ui::clearShownBoxes();
    ui::setScreenSizeOverride(std::nullopt);
    platform::mciReset();
    platform::setYieldDriver(nullptr);
    platform::setEnding(false);
    platform::closeAll();
    platform::clearFailHooks();
    platform::shutdownAudio();
    fs::current_path(oldCwd_);
    platform::setDriveRoot("");
    fs::remove_all(root_);
  }

  // The offline device: input and output device counts; the recorder hears heard.wav.
  void devices(int in, int out) {
    platform::selectBackend(platform::AudioBackendKind::Offline);
    platform::OfflineConfig cfg;
    cfg.inputDevices = in;
    cfg.outputDevices = out;
    cfg.inputWav = (root_ / "heard.wav").string();
    platform::configureOffline(cfg);
  }

  // The program, started as the user starts it (tracks written before are marked recorded).
  void startProgram() {
    program_ = std::make_unique<app::Application>();
    program_->start();
    ui::clearShownBoxes();
  }

  fs::path song() const { return root_ / "Vemracd" / "Mysong"; }
  fs::path track(int n) const {
    return song() / ((n < 10 ? "T0" : "T") + std::to_string(n) + ".wav");
  }
  // Tnn.wav with `samples` stamped samples.
  void writeTrack(int n, int64_t samples) {
    std::vector<int16_t> s(static_cast<size_t>(samples));
    for (int64_t j = 0; j < samples; ++j) s[size_t(j)] = stamp(n, j);
    writeAll(track(n), wavFile(1, s));
  }

  shell::MainForm& form() { return program_->mainForm(); }
  transport::Transport& tp() { return *program_->system().transport; }
  shell::Shell& sh() { return *program_->system().shell; }
  waveform::Waveform& wv() { return *program_->system().waveform; }
  engine::Engine& eng() { return *program_->system().engine; }
  platform::SimClock& clock() { return *clock_; }
  platform::ScriptedYield& driver() { return *driver_; }
  std::string var(const std::string& name) { return program_->var(name).value_or("?"); }

  // Runs `fn` inside a yield once the clock reaches `ms`.
  void at(int64_t ms, std::function<void()> fn) { driver().post(ms, std::move(fn)); }
  // Lets `ms` of simulated time pass, running what falls due (a running window timer keeps
  // posting ticks, so this stops at the time, not when nothing is left).
  void runFor(int64_t ms) {
    const int64_t until = clock().now() + ms;
    while (clock().now() < until) driver().yield(until);
  }
  // STOP, clicked at `ms`, and the finishing of a take run to its end.
  void stopAt(int64_t ms) { at(ms, [this] { form().RPSTOP->click(); }); }
  void finish() { runFor(3000); }

  fs::path root_, oldCwd_;
  std::unique_ptr<platform::SimClock> clock_;
  std::unique_ptr<platform::ScriptedYield> driver_;
  OkResponder responder_;
  std::unique_ptr<app::Application> program_;
};

}  // namespace transport_test

// What the tests of the whole program share: a responder that answers and keeps every box, the
// `ProgramTest` fixture (the program on a temporary drive C: with the offline sound device and,
// by choice, the simulated clock), and the `EngineDeviceTest` fixture (the program object and
// the engine's own sound device, without start-up).
#pragma once
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/application.h"
#include "app/system.h"
#include "engine/engine.h"
#include "platform/app_loop.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/mci.h"
#include "platform/sound.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "shell/main_form.h"
#include "shell/shell.h"
#include "tests/support/temp_drive.h"
#include "transport/transport.h"
#include "waveform/waveform.h"

namespace test_support {

// Two digits: 1 -> "01".
inline std::string nn(int n) { return platform::twoDigits(n); }

// Answers every box, input box and menu the program shows and keeps each one in `shown`.
// Boxes take the answers in `queue` first; with none left, the first button: `yesNo` (Yes
// unless a test says otherwise) to a Yes/No question, OK to the others. Input boxes and menus
// take `texts` first; with none left they are cancelled or dismissed. `during`, when set, runs
// once while the next box is open, as events that the window system delivers meanwhile would.
class LoggingResponder : public platform::ui::Responder {
 public:
  std::vector<platform::ui::BoxRecord> shown;
  std::deque<int> queue;
  std::deque<std::string> texts;
  int yesNo = platform::ui::kYes;
  std::function<void(const platform::ui::BoxRecord&)> during;

  int answerBox(const platform::ui::BoxRecord& box) override {
    shown.push_back(box);
    if (during) {
      auto d = during;  // once: a nested box does not run it again
      during = nullptr;
      d(box);
    }
    if (queue.empty()) return box.buttons == platform::ui::kYesNo ? yesNo : platform::ui::kOk;
    const int a = queue.front();
    queue.pop_front();
    return a;
  }
  std::optional<std::string> answerInput(const platform::ui::BoxRecord& box) override {
    shown.push_back(box);
    return nextText();
  }
  std::optional<std::string> answerMenu(const platform::ui::BoxRecord& menu) override {
    shown.push_back(menu);
    return nextText();
  }
  std::vector<std::string> titles() const {
    std::vector<std::string> t;
    for (const auto& b : shown) t.push_back(b.title);
    return t;
  }

 private:
  std::optional<std::string> nextText() {
    if (texts.empty()) return std::nullopt;
    std::string a = texts.front();
    texts.pop_front();
    return a;
  }
};

// What start-up sets up for the two pages of tracks, for tests that do not run it: the track
// paths on drive C:, and the names and fader state of tracks 15-28 from the rows as designed.
inline void setUpTrackPages(shell::Shell& sh) {
  for (int t = 1; t <= 28; ++t) sh.tkfname[t - 1] = "C:\\Vemracd\\Mysong\\T" + nn(t) + ".wav";
  for (int k = 0; k < 14; ++k) {
    sh.trknames[14 + k] = platform::fixedLen("Track" + nn(15 + k), 9);
    const int b = shell::Shell::kPage2Base + 4 * k;
    sh.layouttab[b] = 168;
    sh.layouttab[b + 1] = 168;
    sh.layouttab[b + 2] = 0;
    sh.layouttab[b + 3] = -1500;
  }
}

// The program's world for one test: a temporary drive C: holding the song folder
// Vemracd\Mysong (and the current directory), the offline sound device with one input and one
// output device, `answers` as the responder, a 1024 x 768 screen and, unless a derived fixture
// says otherwise, the simulated clock. The test or a derived fixture makes the program itself
// (`program`). TearDown puts back every global that a test may have changed; it may be called
// more than once, and SetUp again after it.
class ProgramTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { platform::ensureApplication(); }

  void SetUp() override {
    answers = {};
    drive_.emplace("vemra-test-");
    root = drive_->path().string();
    std::filesystem::create_directories(song());
    if (simulatedClock_) {
      clock_ = std::make_unique<platform::SimClock>(0);
      driver_ = std::make_unique<platform::ScriptedYield>(*clock_, 10);
      platform::setYieldDriver(driver_.get());
    }
    devices(1, 1);
    platform::ui::setResponder(&answers);
    platform::ui::clearShownBoxes();
    platform::ui::setScreenSizeOverride(std::make_pair(1024, 768));
  }

  void TearDown() override {
    program.reset();
    platform::ui::setInputBlocked(false);
    platform::ui::setResponder(nullptr);
    platform::ui::clearShownBoxes();
    platform::ui::setScreenSizeOverride(std::nullopt);
    platform::mciReset();
    platform::setMciScratchDir("");
    platform::setYieldDriver(nullptr);
    platform::setEnding(false);
    platform::closeAll();
    platform::clearFailHooks();
    platform::shutdownAudio();
    driver_.reset();
    clock_.reset();
    drive_.reset();
  }

  // The offline device: input and output device counts; the recorder hears `heard_`.
  void devices(int in, int out) {
    platform::selectBackend(platform::AudioBackendKind::Offline);
    platform::OfflineConfig cfg;
    cfg.inputDevices = in;
    cfg.outputDevices = out;
    if (!heard_.empty()) cfg.inputWav = (std::filesystem::path(root) / heard_).string();
    platform::configureOffline(cfg);
  }

  std::filesystem::path song() const {
    return std::filesystem::path(root) / "Vemracd" / "Mysong";
  }

  // The program, started as the user starts it (tracks written before are marked recorded).
  void startProgram() {
    program = std::make_unique<app::Application>();
    program->start();
    platform::ui::clearShownBoxes();
  }
  // The host path of track n's file.
  std::filesystem::path track(int n) const {
    return song() / ((n < 10 ? "T0" : "T") + std::to_string(n) + ".wav");
  }

  shell::MainForm& form() { return program->mainForm(); }
  transport::Transport& tp() { return *program->system().transport; }
  shell::Shell& sh() { return *program->system().shell; }
  waveform::Waveform& wv() { return *program->system().waveform; }
  engine::Engine& eng() { return *program->system().engine; }
  platform::SimClock& clock() { return *clock_; }
  platform::ScriptedYield& driver() { return *driver_; }
  std::string var(const std::string& name) { return program->var(name).value_or("?"); }

  // Runs `fn` inside a yield once the clock reaches `ms`.
  void at(int64_t ms, std::function<void()> fn) { driver().post(ms, std::move(fn)); }
  // Lets `ms` of simulated time pass, running what falls due (a running window timer keeps
  // posting ticks, so this stops at the time, not when nothing is left).
  void runFor(int64_t ms) {
    const int64_t until = clock().now() + ms;
    while (clock().now() < until) driver().yield(until);
  }

  // Choices a derived fixture makes in its constructor: a simulated clock from 0 and a scripted
  // yield driver (10 ms steps) for the test, and what the recorder hears (a WAV file under the
  // drive root; "" silence).
  bool simulatedClock_ = true;
  std::string heard_;

  // In this order, so that the program goes first and the drive last.
  std::optional<TempDrive> drive_;
  std::unique_ptr<platform::SimClock> clock_;
  std::unique_ptr<platform::ScriptedYield> driver_;
  std::string root;  // the drive root's host path
  LoggingResponder answers;
  std::unique_ptr<app::Application> program;
};

// The program object, made with the fixture and never started, with a sound device of the
// engine's own on the offline backend: for tests that drive the mixer controls and the track
// buffers directly. `clockStart`, when given, installs a simulated clock at that time first.
class EngineDeviceTest : public ::testing::Test {
 protected:
  explicit EngineDeviceTest(std::optional<int64_t> clockStart = std::nullopt)
      : clockStart_(clockStart) {}

  static void SetUpTestSuite() { platform::ensureApplication(); }

  void SetUp() override {
    platform::selectBackend(platform::AudioBackendKind::Offline);
    platform::configureOffline({});
    if (clockStart_) {
      clock_ = std::make_unique<platform::SimClock>(*clockStart_);
      driver_ = std::make_unique<platform::ScriptedYield>(*clock_, 10);
      platform::setYieldDriver(driver_.get());
    }
    eng.dsound = platform::SoundDevice::create();
    ASSERT_TRUE(eng.dsound);
  }
  void TearDown() override {
    eng.trkbuf.fill(nullptr);
    eng.dsound.reset();
    platform::setYieldDriver(nullptr);
    platform::shutdownAudio();
    platform::setEnding(false);
  }

  int32_t pan(int n) const { return eng.dsound->pan(eng.trkbuf[n - 1]); }
  int32_t vol(int n) const { return eng.dsound->volume(eng.trkbuf[n - 1]); }
  void showPage1528(bool on) {
    f.t1528->setForeColor(on ? platform::ui::colour::kWhite : platform::ui::colour::kBlack);
    f.t0114->setForeColor(on ? platform::ui::colour::kBlack : platform::ui::colour::kWhite);
  }
  void setMono(bool on) {
    f.monolbl->setForeColor(on ? platform::ui::colour::kRed : platform::ui::colour::kBlack);
  }

  std::optional<int64_t> clockStart_;
  std::unique_ptr<platform::SimClock> clock_;
  std::unique_ptr<platform::ScriptedYield> driver_;
  app::Application program;
  shell::MainForm& f = program.mainForm();
  engine::Engine& eng = *program.system().engine;
};

}  // namespace test_support

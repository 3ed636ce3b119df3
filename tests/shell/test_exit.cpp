// Exit: QUIT and the window's close box, their questions, the settings save, the end of the
// program through the ending flag, and requests to leave that arrive while an exit is handled.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/program_fixture.h"

namespace {

namespace ui = platform::ui;
namespace fs = std::filesystem;

constexpr const char* kLeaveQuit =
    "Click Ok to leave or Cancel to stay; - all (undeleted) recorded audio saved in Mysong "
    "folder - Please use explorer to delete unwanted audio.";
constexpr const char* kLeaveClose =
    " Please click Ok to leave or Cancel to stay; - all recorded audio saved in Mysong folder - "
    "use explorer to delete unwanted audio.";
constexpr const char* kSave = " Do you want pans, volumes, and track names saved in vsets file ?";
constexpr const char* kWelcome =
    "WELCOME - IF A FIRST TIME USER - PLEASE READ QUICKSTART AT BOTTOM OF DISPLAY AND HELP.";

// The program started and shown, with its program folder in place; no simulated clock.
class ExitTest : public test_support::ProgramTest {
 protected:
  ExitTest() { simulatedClock_ = false; }

  void SetUp() override {
    ProgramTest::SetUp();
    for (const char* f : {"def", "def1", "Parms", "Mv01.exe"})
      std::ofstream(root + "/Vemracd/" + f, std::ios::binary) << std::string(44, 'x');
    program = std::make_unique<app::Application>();
    program->start();
    program->show();
    ASSERT_TRUE(answers.shown.empty());
  }

  std::string vsets() const { return root + "/Vemracd/Mysong/vsets"; }
  // An element device that stays open until "close all".
  void openDevice() {
    const std::string wav = root + "/Vemracd/Mysong/T01.wav";
    std::ofstream f(wav, std::ios::binary);
    f << std::string(44 + 200, '\0');
    f.close();
    ASSERT_TRUE(platform::mciExecute("play C:\\Vemracd\\Mysong\\T01.wav"));
    ASSERT_FALSE(platform::mciOpenDevices().empty());
  }
  std::vector<std::string> titles() const { return answers.titles(); }
};

TEST_F(ExitTest, CancelLeavesEverythingRunning) {
  // QUIT: the button is red only while its question is open; nothing else changes.
  openDevice();
  int32_t colourDuring = -1;
  answers.during = [&](const ui::BoxRecord&) { colourDuring = form().QUIT->foreColor(); };
  answers.queue = {ui::kCancel};
  form().QUIT->click();
  ASSERT_EQ(answers.shown.size(), 1u);
  EXPECT_EQ(answers.shown[0].title, "QUIT.");
  EXPECT_EQ(answers.shown[0].text, kLeaveQuit);
  EXPECT_EQ(answers.shown[0].buttons, ui::kOkCancel);
  EXPECT_EQ(colourDuring, 255);
  EXPECT_EQ(form().QUIT->foreColor(), 0);
  EXPECT_EQ(form().Umsg->caption(), kWelcome);

  // The close box: the window stays and the message line says so.
  answers.queue = {ui::kCancel};
  EXPECT_FALSE(form().requestClose());
  ASSERT_EQ(answers.shown.size(), 2u);
  EXPECT_EQ(answers.shown[1].title, "QUIT ");
  EXPECT_EQ(answers.shown[1].text, kLeaveClose);
  EXPECT_EQ(answers.shown[1].buttons, ui::kOkCancel);
  EXPECT_EQ(form().Umsg->caption(), " Staying to make more Hit songs ! - Ready.");

  EXPECT_TRUE(form().visible());
  EXPECT_FALSE(program->finished());
  EXPECT_FALSE(platform::ending());
  EXPECT_FALSE(platform::mciOpenDevices().empty());  // nothing was closed
  EXPECT_FALSE(fs::exists(vsets()));
}

TEST_F(ExitTest, QuitConfirmedClosesTheDevicesSavesOnRequestAndEndsTheProgram) {
  for (int save : {ui::kCancel, ui::kOk}) {
    if (save == ui::kOk) SetUp();
    openDevice();
    answers.queue = {ui::kOk, save};
    form().QUIT->click();
    ASSERT_EQ(titles(), (std::vector<std::string>{"QUIT.", "QUIT "}));
    EXPECT_EQ(answers.shown[1].text, kSave);
    EXPECT_EQ(answers.shown[1].buttons, ui::kOkCancel);
    EXPECT_TRUE(platform::mciOpenDevices().empty());
    EXPECT_EQ(fs::exists(vsets()) ? fs::file_size(vsets()) : 0u, save == ui::kOk ? 532u : 0u);
    EXPECT_TRUE(program->finished());
    EXPECT_TRUE(platform::ending());
    // Nothing asks again once the program is ending; the window is not unloaded by QUIT.
    answers.shown.clear();
    form().QUIT->click();
    EXPECT_FALSE(form().requestClose());
    EXPECT_TRUE(answers.shown.empty());
    TearDown();
  }
}

TEST_F(ExitTest, CloseConfirmedUnloadsTheWindowAndEndsTheProgram) {
  openDevice();
  std::string unsaved = "old";
  std::ofstream(vsets(), std::ios::binary) << unsaved;
  answers.queue = {ui::kOk, ui::kCancel};
  EXPECT_TRUE(form().requestClose());
  EXPECT_EQ(titles(), (std::vector<std::string>{"QUIT ", "QUIT "}));
  EXPECT_EQ(answers.shown[1].text, kSave);
  EXPECT_FALSE(form().visible());
  EXPECT_TRUE(program->finished());
  EXPECT_TRUE(platform::mciOpenDevices().empty());
  EXPECT_EQ(fs::file_size(vsets()), unsaved.size());  // Cancel at the save question: untouched
}

TEST_F(ExitTest, ARequestToLeaveWhileAnExitIsHandledIsIgnored) {
  // A second close while the close question is open: ignored, and the first exit goes on.
  bool secondClosed = true;
  answers.during = [&](const ui::BoxRecord&) {
    secondClosed = form().requestClose();
    form().QUIT->click();
  };
  answers.queue = {ui::kCancel};
  EXPECT_FALSE(form().requestClose());
  EXPECT_FALSE(secondClosed);
  EXPECT_EQ(titles(), std::vector<std::string>{"QUIT "});  // one question only
  EXPECT_EQ(form().QUIT->foreColor(), 0);
  EXPECT_EQ(form().Umsg->caption(), " Staying to make more Hit songs ! - Ready.");

  // A close while QUIT's question is open, then OK: the close changed nothing, QUIT ends it.
  answers.shown.clear();
  answers.during = [&](const ui::BoxRecord&) { secondClosed = form().requestClose(); };
  answers.queue = {ui::kOk, ui::kCancel};
  form().QUIT->click();
  EXPECT_FALSE(secondClosed);
  EXPECT_EQ(titles(), (std::vector<std::string>{"QUIT.", "QUIT "}));
  EXPECT_TRUE(program->finished());
  EXPECT_TRUE(form().visible());

  // A close while the save question of a confirmed close is open.
  TearDown();
  SetUp();
  answers.queue = {ui::kOk, ui::kOk};
  answers.during = [&](const ui::BoxRecord&) {
    answers.during = [&](const ui::BoxRecord&) { secondClosed = form().requestClose(); };
  };
  EXPECT_TRUE(form().requestClose());
  EXPECT_FALSE(secondClosed);
  EXPECT_EQ(titles(), (std::vector<std::string>{"QUIT ", "QUIT "}));
  EXPECT_TRUE(fs::exists(vsets()));
  EXPECT_TRUE(program->finished());
}

// A loop that yields once a second until the program ends, as playback does.
struct RunningLoop {
  int seconds = 0, depthInside = 0;
  bool ended = false;
  void run() {
    while (platform::waitFor(1000)) ++seconds;
    ended = true;
  }
};

TEST_F(ExitTest, LeavingFromInsideARunningLoopEndsTheLoopAndDeletesNoWindow) {
  for (bool viaQuit : {false, true}) {
    platform::SimClock clock;
    platform::ScriptedYield driver(clock);
    platform::setYieldDriver(&driver);
    RunningLoop loop;
    form().PLAY->onClick = [&] { loop.run(); };
    driver.post(2500, [&] {
      loop.depthInside = ui::handlerDepth();
      answers.queue = {ui::kOk, ui::kCancel};
      if (viaQuit) form().QUIT->click();
      else form().requestClose();
    });
    form().PLAY->click();  // returns once the loop has ended
    EXPECT_TRUE(loop.ended);
    EXPECT_EQ(loop.seconds, 2);
    EXPECT_GE(loop.depthInside, 1);  // the exit ran under the loop's handler
    EXPECT_TRUE(program->finished());
    EXPECT_EQ(program->form("FormMV2000"), &form());  // still there for main() to delete
    EXPECT_EQ(form().visible(), viaQuit);             // the close box unloads it, QUIT does not
    EXPECT_EQ(titles(), (std::vector<std::string>{viaQuit ? "QUIT." : "QUIT ", "QUIT "}));
    form().PLAY->onClick = nullptr;
    TearDown();
    if (!viaQuit) SetUp();
  }
}

}  // namespace

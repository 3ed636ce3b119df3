// The log of program starts: every start through the shell layer, made or simulated, with the
// host program and arguments it resolved to.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "platform/clock.h"
#include "platform/shell.h"
#include "tests/support/temp_drive.h"

using namespace platform;
namespace fs = std::filesystem;

namespace {

class ProgramLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    drive.emplace("vemra-programs-");
    root = drive->path().string();
    fs::create_directories(root + "/Vemracd");
    // The "text editor" leaves a mark naming the file it was given.
    editor = root + "/bin/editor";
    fs::create_directories(root + "/bin");
    std::ofstream(editor) << "#!/bin/sh\necho \"$1\" > " << root << "/opened\n";
    chmod(editor.c_str(), 0755);
    setDesktopPrograms({editor, "", "", ""});
    clearProgramStarts();
  }
  void TearDown() override {
    setDetachedStartsSimulated(false);
    resetDesktopPrograms();
    clearProgramStarts();
    drive.reset();
  }
  bool opened() {
    return waitUntil([&] { return fs::exists(root + "/opened"); }, nowMs() + 10000);
  }

  std::optional<test_support::TempDrive> drive;
  std::string root, editor;
};

TEST_F(ProgramLogTest, EveryStartIsLoggedWithWhatItResolvedTo) {
  EXPECT_TRUE(shellExecute("Notepad.exe C:\\Vemracd\\MVTIPS.TXT"));
  EXPECT_FALSE(shellExecute("explorer.exe", WindowMode::Hidden));  // no file manager here
  ASSERT_EQ(programStarts().size(), 2u);
  const ProgramStart& a = programStarts()[0];
  EXPECT_EQ(a.commandLine, "Notepad.exe C:\\Vemracd\\MVTIPS.TXT");
  EXPECT_EQ(a.program, editor);
  ASSERT_EQ(a.args.size(), 1u);
  EXPECT_EQ(a.args[0], root + "/Vemracd/MVTIPS.TXT");
  EXPECT_TRUE(a.started);
  EXPECT_FALSE(a.attached);
  const ProgramStart& b = programStarts()[1];
  EXPECT_EQ(b.program, "");
  EXPECT_FALSE(b.started);
  EXPECT_EQ(b.mode, WindowMode::Hidden);
  EXPECT_TRUE(opened());  // really started
  clearProgramStarts();
  EXPECT_TRUE(programStarts().empty());
}

TEST_F(ProgramLogTest, SimulatedStartsAreLoggedButNothingRuns) {
  setDetachedStartsSimulated(true);
  EXPECT_TRUE(shellExecute("Notepad.exe C:\\Vemracd\\TROUBLE.TXT"));
  EXPECT_FALSE(shellExecute("C:\\Vemracd\\nothing.exe"));
  ASSERT_EQ(programStarts().size(), 2u);
  EXPECT_TRUE(programStarts()[0].started);
  EXPECT_EQ(programStarts()[0].args.at(0), root + "/Vemracd/TROUBLE.TXT");
  EXPECT_FALSE(programStarts()[1].started);
  // An attached start (the sibling mixdown) still runs.
  bool ended = false;
  ASSERT_TRUE(shellExecuteAttached("Notepad.exe C:\\Vemracd\\Parms", WindowMode::Hidden,
                                   [&](int) { ended = true; }));
  EXPECT_TRUE(waitUntil([&] { return ended; }, nowMs() + 10000));
  ASSERT_EQ(programStarts().size(), 3u);
  EXPECT_TRUE(programStarts()[2].attached);
  std::ifstream mark(root + "/opened");
  std::string line;
  std::getline(mark, line);
  EXPECT_EQ(line, root + "/Vemracd/Parms");  // only the attached start ran
}

}  // namespace

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>

#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/shell.h"
#include "tests/support/temp_drive.h"

using namespace platform;
namespace fs = std::filesystem;

namespace {

// A scratch drive C: with helper scripts, and the desktop programs pointed at them.
class ShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    drive.emplace("vemra-shell-");
    root = drive->path().string();
    fs::create_directories(root + "/Vemracd");
    editor = script("bin/editor", "exit 0");
    fileManager = script("bin/files", "exit 0");
    mixer = script("bin/mixer", "exit 0");
    opener = script("bin/opener", "exit 0");
    setDesktopPrograms({editor, fileManager, mixer, opener});
  }
  void TearDown() override {
    // Let every started child finish and be reaped before the files go.
    waitUntil([] { return attachedChildren() == 0; }, nowMs() + 20000);
    resetDesktopPrograms();
    drive.reset();
  }

  // Writes an executable shell script under the drive root; returns its host path.
  std::string script(const std::string& rel, const std::string& body, bool executable = true) {
    std::string path = root + "/" + rel;
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    chmod(path.c_str(), executable ? 0755 : 0644);
    return path;
  }

  static std::string slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }

  // Starts attached and waits for the exit code (-2 if none came in time).
  int runAttached(const std::string& line, WindowMode mode = WindowMode::Hidden) {
    auto code = std::make_shared<int>(-2);  // outlives a wait that gives up
    if (!shellExecuteAttached(line, mode, [code](int c) { *code = c; })) return -3;
    waitUntil([&] { return *code != -2; }, nowMs() + 20000);
    return *code;
  }

  std::optional<test_support::TempDrive> drive;
  std::string root, editor, fileManager, mixer, opener;
};

// Zombie processes whose parent is this process.
int zombieChildren() {
  int n = 0;
  DIR* d = opendir("/proc");
  if (!d) return 0;
  while (dirent* e = readdir(d)) {
    std::ifstream in(std::string("/proc/") + e->d_name + "/stat");
    std::string text;
    if (!std::getline(in, text)) continue;
    size_t close = text.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream rest(text.substr(close + 2));
    char state = 0;
    long ppid = 0;
    rest >> state >> ppid;
    n += state == 'Z' && ppid == getpid();
  }
  closedir(d);
  return n;
}

using Args = std::vector<std::string>;

}  // namespace

TEST_F(ShellTest, DocumentedProgramsMapToTheDesktop) {
  struct Case {
    const char* line;
    std::string program;
    Args args;
  };
  const Case cases[] = {
      {"C:\\Windows\\notepad.exe", editor, {}},
      {"Notepad.exe C:\\Vemracd\\TROUBLE.TXT", editor, {root + "/Vemracd/TROUBLE.TXT"}},
      {"NOTEPAD c:\\My Notes\\a b.txt   ", editor, {root + "/My Notes/a b.txt"}},
      {"c:\\windows\\EXPLORER.EXE", fileManager, {root}},
      {"C:\\Windows\\explorer.exe C:\\Vemracd\\Mysong", fileManager, {root + "/Vemracd/Mysong"}},
      {"C:\\Windows\\sndvol32.exe", mixer, {}},
      {"start.exe file:///C|/Vemracd/Tips.htm", opener, {"file://" + root + "/Vemracd/Tips.htm"}},
      {"start.exe file:///C|/My%20Song/a b.htm",
       opener,
       {"file://" + root + "/My%20Song/a%20b.htm"}},
      {"start.exe https://example.org/a?b=1", opener, {"https://example.org/a?b=1"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    ResolvedCommand r = resolveCommand(c.line);
    EXPECT_EQ(r.program, c.program);
    EXPECT_EQ(r.args, c.args);
    EXPECT_TRUE(programExists(c.line));
  }
}

TEST_F(ShellTest, OtherProgramsAreLogicalOrHostPaths) {
  std::string mixdown = script("Vemracd/Mv01.exe", "exit 0");
  std::string spaced = script("Wave Editor/ed it.sh", "exit 0");
  script("Vemracd/plain.txt", "", false);
  EXPECT_EQ(resolveCommand("C:\\Vemracd\\Mv01.exe").program, mixdown);
  EXPECT_EQ(resolveCommand("c:/Vemracd/Mv01.exe").program, mixdown);
  EXPECT_EQ(resolveCommand(mixdown).program, mixdown);  // a host path passes through
  // A user's path with blanks, as read from a padded field.
  for (std::string line : {std::string("C:\\Wave Editor\\ed it.sh      "), spaced}) {
    ResolvedCommand r = resolveCommand(line);
    EXPECT_EQ(r.program, spaced) << line;
    EXPECT_TRUE(r.args.empty()) << line;
  }
  // The argument: a logical path is mapped, anything else passes as one argument.
  EXPECT_EQ(resolveCommand(mixdown + " C:\\Vemracd\\Parms").args, Args{root + "/Vemracd/Parms"});
  EXPECT_EQ(resolveCommand(mixdown + "  -x  y ").args, Args{"-x  y"});
  // Missing, not executable, a directory, nothing at all.
  for (const char* line : {"C:\\Vemracd\\Gone.exe", "C:\\Vemracd\\plain.txt", "C:\\Vemracd",
                           "C:\\Wave Editor\\missing.exe", "", "    "}) {
    EXPECT_EQ(resolveCommand(line).program, "") << line;
    EXPECT_FALSE(programExists(line)) << line;
    EXPECT_FALSE(shellExecute(line)) << line;
  }
}

TEST_F(ShellTest, MissingDesktopProgramsDoNothing) {
  setDesktopPrograms({"", root + "/bin/none", "no-such-program-here", ""});
  for (const char* line : {"C:\\Windows\\notepad.exe x.txt", "C:\\Windows\\explorer.exe",
                           "C:\\Windows\\sndvol32.exe", "start.exe file:///C|/Vemracd/Tips.htm"}) {
    ResolvedCommand r = resolveCommand(line);
    EXPECT_EQ(r.program, "") << line;
    EXPECT_TRUE(r.args.empty()) << line;
    EXPECT_FALSE(programExists(line)) << line;
    EXPECT_FALSE(shellExecute(line, WindowMode::Normal)) << line;
    EXPECT_FALSE(shellExecuteAttached(line, WindowMode::Hidden, [](int) { FAIL(); })) << line;
  }
  EXPECT_EQ(attachedChildren(), 0);
}

TEST_F(ShellTest, DesktopProgramsAreFoundOnPath) {
  std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
  std::string bin = root + "/path";
  for (const char* name : {"kate", "gedit", "nemo", "sensible-browser", "qpwgraph"})
    script(std::string("path/") + name, "exit 0");
  setenv("PATH", bin.c_str(), 1);
  resetDesktopPrograms();
  EXPECT_EQ(resolveCommand("notepad").program, bin + "/gedit");  // gedit before kate
  EXPECT_EQ(resolveCommand("explorer.exe").program, bin + "/nemo");
  EXPECT_EQ(resolveCommand("sndvol32.exe").program, bin + "/qpwgraph");
  EXPECT_EQ(resolveCommand("start.exe file:///C|/x.htm").program, bin + "/sensible-browser");
  // Without an editor, a file is handed to the desktop's opener; no file, no editor.
  fs::remove(bin + "/gedit");
  fs::remove(bin + "/kate");
  script("path/xdg-open", "exit 0");
  EXPECT_EQ(resolveCommand("notepad C:\\a.txt").program, bin + "/xdg-open");
  EXPECT_EQ(resolveCommand("notepad").program, "");
  EXPECT_EQ(resolveCommand("explorer.exe").program, bin + "/xdg-open");
  setenv("PATH", oldPath.c_str(), 1);
}

TEST_F(ShellTest, AttachedChildReportsItsExitCode) {
  std::string three = script("Vemracd/three.sh", "sleep 0.05; exit 3");
  std::string killed = script("Vemracd/killed.sh", "kill -9 $$");
  int code = -2;
  ASSERT_TRUE(
      shellExecuteAttached("C:\\Vemracd\\three.sh", WindowMode::Hidden, [&](int c) { code = c; }));
  EXPECT_EQ(attachedChildren(), 1);
  EXPECT_EQ(code, -2);  // never called from inside the start
  EXPECT_TRUE(waitUntil([&] { return code != -2; }, nowMs() + 20000));
  EXPECT_EQ(code, 3);
  EXPECT_EQ(attachedChildren(), 0);
  EXPECT_EQ(runAttached(killed), -1);  // died by a signal
}

TEST_F(ShellTest, ArgumentsReachTheProgramUninterpreted) {
  std::string rec =
      script("Vemracd/rec.sh", "printf '%s|' \"$#\" \"$@\" > \"$(dirname \"$0\")/out\"");
  std::string pwned = root + "/pwned";
  for (const std::string& arg :
       Args{"a;touch " + pwned, "$(touch " + pwned + ")", "`touch " + pwned + "` &&",
            "x > " + pwned, "two  words 'quoted' \"too\""}) {
    ASSERT_EQ(runAttached("C:\\Vemracd\\rec.sh " + arg), 0) << arg;
    EXPECT_EQ(slurp(root + "/Vemracd/out"), "1|" + arg + "|") << arg;
    EXPECT_FALSE(fs::exists(pwned)) << arg;
  }
}

TEST_F(ShellTest, DetachedChildrenAreReapedInTheirOwnGroupHoldingOnlyTheStandardStreams) {
  // The script records its process group and what ls holds (3 is its own listing), then ends.
  std::string marker = root + "/Vemracd/group";
  script("Wave Editor/grp.sh", "cut -d' ' -f5 /proc/$$/stat > \"" + marker + ".tmp\"; ls /dev/fd" +
                                   " >> \"" + marker + ".tmp\"; mv \"" + marker + ".tmp\" \"" +
                                   marker + "\"");
  const int held = dup(STDIN_FILENO);  // open across exec: not for the program
  ASSERT_TRUE(shellExecute("C:\\Wave Editor\\grp.sh", WindowMode::Normal));
  close(held);
  ASSERT_TRUE(waitUntil([&] { return fs::exists(marker); }, nowMs() + 20000));
  long group = std::atol(slurp(marker).c_str());
  EXPECT_EQ(slurp(marker), std::to_string(group) + "\n0\n1\n2\n3\n");
  EXPECT_GT(group, 0);
  EXPECT_NE(group, static_cast<long>(getpgrp()));
  // The yields of a wait reap it: no zombie stays behind.
  EXPECT_TRUE(waitUntil([] { return zombieChildren() == 0; }, nowMs() + 20000));
}

TEST_F(ShellTest, CallbacksArriveWhileTheEventLoopIdles) {
  static int argc = 1;
  static char name[] = "platform_tests";
  static char* argv[] = {name, nullptr};
  QCoreApplication* own = QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
  std::string three = script("Vemracd/three.sh", "exit 3");
  int code = -2;
  QEventLoop loop;
  ASSERT_TRUE(shellExecuteAttached(three, WindowMode::Normal, [&](int c) {
    code = c;
    loop.quit();
  }));
  QTimer::singleShot(20000, &loop, &QEventLoop::quit);  // a safety net, not a timing check
  loop.exec();  // no yield of ours runs here: only the application's timers
  int seen = code;
  waitUntil([] { return attachedChildren() == 0; }, nowMs() + 20000);
  EXPECT_EQ(seen, 3);
  delete own;
}

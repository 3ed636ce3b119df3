#include "platform/paths.h"

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using platform::curDir;
using platform::driveRoot;
using platform::hostPath;
using platform::setDriveRoot;

std::string cwd() {
  char buf[PATH_MAX];
  return getcwd(buf, sizeof buf) ? buf : "";
}

// Sets or removes an environment variable for one test and puts it back afterwards.
class EnvVar {
 public:
  EnvVar(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    value ? setenv(name, value, 1) : unsetenv(name);
  }
  ~EnvVar() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// A fresh directory as the drive root; the working directory is restored at the end.
class PathsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vemra-paths-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root_ = fs::canonical(tmpl).string();
    oldCwd_ = cwd();
    setDriveRoot(root_);
  }
  void TearDown() override {
    EXPECT_EQ(chdir(oldCwd_.c_str()), 0);
    setDriveRoot("");
    fs::remove_all(root_);
  }
  std::string root_, oldCwd_;
};

TEST_F(PathsTest, DriveRootPrecedence) {
  EXPECT_EQ(driveRoot(), root_);
  setDriveRoot("");
  fs::create_directory(root_ + "/env");
  fs::create_directory(root_ + "/home");
  {
    EnvVar drive("VEMRA_DRIVE", (root_ + "/env/").c_str());  // a trailing slash is tolerated
    EnvVar home("HOME", (root_ + "/home").c_str());
    EXPECT_EQ(driveRoot(), root_ + "/env");
    EnvVar emptyDrive("VEMRA_DRIVE", "");  // set but empty: ignored
    EXPECT_EQ(driveRoot(), root_ + "/home");
    EnvVar noHome("HOME", nullptr);
    EXPECT_EQ(driveRoot(), "/");
  }
  // The override wins over the environment.
  EnvVar drive("VEMRA_DRIVE", (root_ + "/env").c_str());
  setDriveRoot(root_ + "/home");
  EXPECT_EQ(driveRoot(), root_ + "/home");
}

TEST_F(PathsTest, LogicalPathsMapUnderTheDriveRoot) {
  const std::string want = root_ + "/Vemracd/Mysong/T01.wav";
  EXPECT_EQ(hostPath("C:\\Vemracd\\Mysong\\T01.wav"), want);
  // A 25-character fixed-length field with its padding blank, any drive letter, mixed slashes.
  EXPECT_EQ(hostPath("D:\\Vemracd\\Mysong\\T01.wav "), want);
  EXPECT_EQ(hostPath("e:/Vemracd\\Mysong/T01.wav      "), want);
  EXPECT_EQ(hostPath("C:\\\\Vemracd\\Mysong\\\\T01.wav"), want);
  EXPECT_EQ(hostPath("\\Vemracd\\Mysong\\T01.wav"), want);
  EXPECT_EQ(hostPath("C:\\"), root_);
  // Blanks inside a path are part of it.
  EXPECT_EQ(hostPath("C:\\My Songs\\take one.wav  "), root_ + "/My Songs/take one.wav");
  // A zero-filled field read from a file loses its padding too.
  EXPECT_EQ(hostPath(std::string("C:\\Vemracd\\Parms") + std::string(3, '\0')), root_ + "/Vemracd/Parms");
}

TEST_F(PathsTest, HostAbsoluteRelativeAndEmpty) {
  EXPECT_EQ(hostPath("/usr/bin/gedit"), "/usr/bin/gedit");
  EXPECT_EQ(hostPath("/usr/bin/gedit   "), "/usr/bin/gedit");
  ASSERT_EQ(chdir(root_.c_str()), 0);
  EXPECT_EQ(hostPath("Mysong\\T01.wav"), root_ + "/Mysong/T01.wav");
  EXPECT_EQ(hostPath("C:temp"), root_ + "/temp");  // drive-relative: the working directory
  // Nothing to name, or a NUL inside: no host path at all (every file call then fails).
  EXPECT_EQ(hostPath(""), "");
  EXPECT_EQ(hostPath("     "), "");
  EXPECT_EQ(hostPath(std::string("C:\\a\0b", 6)), "");
}

TEST_F(PathsTest, CurDirIsRelativeToTheDriveRoot) {
  fs::create_directories(root_ + "/Vemracd/My song");
  ASSERT_EQ(chdir((root_ + "/Vemracd/My song").c_str()), 0);
  EXPECT_EQ(curDir(), "C:\\Vemracd\\My song");
  // What the program builds from it leads back to the same directory.
  EXPECT_EQ(hostPath(curDir() + "\\T01.wav"), root_ + "/Vemracd/My song/T01.wav");
  ASSERT_EQ(chdir(root_.c_str()), 0);
  EXPECT_EQ(curDir(), "C:\\");
  // Outside the drive root, and in a sibling whose name merely starts like the root.
  ASSERT_EQ(chdir("/"), 0);
  EXPECT_EQ(curDir(), "C:\\");
  fs::create_directory(root_ + "x");
  ASSERT_EQ(chdir((root_ + "x").c_str()), 0);
  EXPECT_EQ(curDir(), "C:\\");
  EXPECT_EQ(curDir().front(), 'C');
  fs::remove(root_ + "x");
  // With "/" as the root every directory is inside it.
  setDriveRoot("/");
  ASSERT_EQ(chdir(root_.c_str()), 0);
  std::string want = "C:" + root_;
  for (char& c : want)
    if (c == '/') c = '\\';
  EXPECT_EQ(curDir(), want);
}

}  // namespace

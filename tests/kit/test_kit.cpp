#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "kit/kit.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes readAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void writeAll(const fs::path& p, const std::string& text) {
  std::ofstream(p, std::ios::binary | std::ios::trunc) << text;
}

std::string text(const Bytes& b) { return std::string(b.begin(), b.end()); }

class KitInstall : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "vemra-kit-XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    root = tmpl;
    folder = root / "Vemracd";
    build = root / "build";
    fs::create_directory(build);
    mv01 = build / "Mv01.exe";
    writeAll(mv01, "#!/bin/sh\necho built 1\n");
  }
  void TearDown() override { fs::remove_all(root); }

  kit::InstallResult install(const std::string& program) { return kit::install(root.string(), program); }
  kit::Outcome outcome(const kit::InstallResult& r, const std::string& name) {
    const kit::Entry* e = r.find(name);
    EXPECT_NE(e, nullptr) << name;
    return e ? e->outcome : kit::Outcome::Failed;
  }
  bool leftovers() {  // temporaries of an install left in the program folder
    for (const auto& e : fs::directory_iterator(folder))
      if (e.path().filename().string().front() == '.') return true;
    return false;
  }

  fs::path root, folder, build, mv01;
};

}  // namespace

TEST(KitTemplates, BytesAreExact) {
  const Bytes mono = {'R', 'I', 'F', 'F', 36, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
                      16,  0,   0,   0,   1,  0, 1, 0, 0x44, 0xAC, 0, 0, 0x88, 0x58, 0x01, 0,
                      2,   0,   16,  0,   'd', 'a', 't', 'a', 0, 0, 0, 0};
  EXPECT_EQ(kit::templateWav(1), mono);

  Bytes stereo = mono;
  stereo[22] = 2;                                           // channels
  stereo[28] = 0x10, stereo[29] = 0xB1, stereo[30] = 0x02;  // 176400 bytes a second
  stereo[32] = 4;                                           // block align
  EXPECT_EQ(kit::templateWav(2), stereo);

  const Bytes parms = kit::blankParms();
  ASSERT_EQ(parms.size(), 284u);
  for (size_t i = 0; i < parms.size(); ++i)
    EXPECT_EQ(parms[i], i >= 192 && i <= 216 ? ' ' : 0) << "byte " << i;
}

TEST_F(KitInstall, EmptyRootGetsEverything) {
  const kit::InstallResult r = install(mv01.string());
  EXPECT_TRUE(r.ok());
  EXPECT_EQ(r.folder, folder.string());
  for (const char* name : {"Vemracd", "Vemracd/Mysong", "Vemracd/def", "Vemracd/def1", "Vemracd/Parms",
                           "Vemracd/TROUBLE.TXT", "Vemracd/MVTIPS.TXT", "Vemracd/Tips.htm"})
    EXPECT_EQ(outcome(r, name), kit::Outcome::Created) << name;
  EXPECT_EQ(outcome(r, "Vemracd/Mv01.exe"), kit::Outcome::Refreshed);

  EXPECT_TRUE(fs::is_directory(folder / "Mysong"));
  EXPECT_EQ(readAll(folder / "def"), kit::templateWav(1));
  EXPECT_EQ(readAll(folder / "def1"), kit::templateWav(2));
  EXPECT_EQ(readAll(folder / "Parms"), kit::blankParms());
  for (const char* name : {"TROUBLE.TXT", "MVTIPS.TXT", "Tips.htm"}) {
    const Bytes installed = readAll(folder / name);
    EXPECT_GT(installed.size(), 1000u) << name;
    EXPECT_EQ(installed, readAll(fs::path(kit::filesFolder()) / name)) << name;
  }
  EXPECT_EQ(text(readAll(folder / "Mv01.exe")), "#!/bin/sh\necho built 1\n");
  EXPECT_NE(fs::status(folder / "Mv01.exe").permissions() & fs::perms::owner_exec, fs::perms::none);
  EXPECT_FALSE(leftovers());
}

TEST_F(KitInstall, KeepsUserFilesAndRefreshesTheProgram) {
  ASSERT_TRUE(install(mv01.string()).ok());

  // The user sets an editor path in Parms (as the settings button does) and edits the texts.
  {
    std::fstream parms(folder / "Parms", std::ios::in | std::ios::out | std::ios::binary);
    parms.seekp(192);
    parms << "/usr/bin/myeditor";
  }
  const Bytes parms = readAll(folder / "Parms");
  writeAll(folder / "TROUBLE.TXT", "my notes\n");
  writeAll(folder / "def", "not a template, but the user's");
  writeAll(mv01, "#!/bin/sh\necho built 2\n");

  const kit::InstallResult r = install(mv01.string());
  EXPECT_TRUE(r.ok());
  for (const char* name : {"Vemracd", "Vemracd/Mysong", "Vemracd/def", "Vemracd/def1", "Vemracd/Parms",
                           "Vemracd/TROUBLE.TXT", "Vemracd/MVTIPS.TXT", "Vemracd/Tips.htm"})
    EXPECT_EQ(outcome(r, name), kit::Outcome::Kept) << name;
  EXPECT_EQ(readAll(folder / "Parms"), parms);
  EXPECT_EQ(text(Bytes(parms.begin() + 192, parms.begin() + 217)), "/usr/bin/myeditor        ");
  EXPECT_EQ(text(readAll(folder / "TROUBLE.TXT")), "my notes\n");
  EXPECT_EQ(text(readAll(folder / "def")), "not a template, but the user's");

  EXPECT_EQ(outcome(r, "Vemracd/Mv01.exe"), kit::Outcome::Refreshed);
  EXPECT_EQ(text(readAll(folder / "Mv01.exe")), "#!/bin/sh\necho built 2\n");
  EXPECT_NE(fs::status(folder / "Mv01.exe").permissions() & fs::perms::owner_exec, fs::perms::none);
  EXPECT_FALSE(leftovers());
}

TEST_F(KitInstall, MissingProgramIsReportedAndTheRestInstalls) {
  kit::InstallResult r = install("");
  EXPECT_TRUE(r.ok());
  EXPECT_EQ(outcome(r, "Vemracd/Mv01.exe"), kit::Outcome::NoSource);
  EXPECT_FALSE(r.find("Vemracd/Mv01.exe")->message.empty());
  EXPECT_FALSE(fs::exists(folder / "Mv01.exe"));
  EXPECT_EQ(readAll(folder / "Parms"), kit::blankParms());
  EXPECT_TRUE(fs::exists(folder / "Tips.htm"));

  // An installed program stays when the build's copy has gone away.
  ASSERT_TRUE(install(mv01.string()).ok());
  fs::remove(mv01);
  r = install(mv01.string());
  EXPECT_EQ(outcome(r, "Vemracd/Mv01.exe"), kit::Outcome::NoSource);
  EXPECT_NE(r.find("Vemracd/Mv01.exe")->message.find(mv01.string()), std::string::npos);
  EXPECT_EQ(text(readAll(folder / "Mv01.exe")), "#!/bin/sh\necho built 1\n");
}

TEST_F(KitInstall, EmptyFilesCountAsMissing) {
  fs::create_directories(folder);
  writeAll(folder / "def1", "");
  writeAll(folder / "MVTIPS.TXT", "");
  const kit::InstallResult r = install(mv01.string());
  EXPECT_EQ(outcome(r, "Vemracd"), kit::Outcome::Kept);
  EXPECT_EQ(outcome(r, "Vemracd/def1"), kit::Outcome::Created);
  EXPECT_EQ(readAll(folder / "def1"), kit::templateWav(2));
  EXPECT_EQ(outcome(r, "Vemracd/MVTIPS.TXT"), kit::Outcome::Created);
  EXPECT_GT(fs::file_size(folder / "MVTIPS.TXT"), 1000u);
}

TEST_F(KitInstall, FailuresAreReportedWithoutHarm) {
  // A folder where a file belongs is left alone; the rest still installs.
  fs::create_directories(folder / "Parms");
  writeAll(folder / "Parms" / "keep", "x");
  kit::InstallResult r = install(mv01.string());
  EXPECT_FALSE(r.ok());
  EXPECT_EQ(outcome(r, "Vemracd/Parms"), kit::Outcome::Failed);
  EXPECT_TRUE(fs::exists(folder / "Parms" / "keep"));
  EXPECT_EQ(outcome(r, "Vemracd/def"), kit::Outcome::Created);
  EXPECT_EQ(outcome(r, "Vemracd/Mv01.exe"), kit::Outcome::Refreshed);

  // The kit's own text files missing from the source tree.
  fs::remove_all(folder);
  r = kit::install(root.string(), mv01.string(), (root / "nowhere").string());
  EXPECT_FALSE(r.ok());
  EXPECT_EQ(outcome(r, "Vemracd/Tips.htm"), kit::Outcome::Failed);
  EXPECT_FALSE(fs::exists(folder / "Tips.htm"));
  EXPECT_EQ(readAll(folder / "Parms"), kit::blankParms());

  // No usable drive root or program folder: nothing is created.
  r = kit::install((root / "absent").string(), mv01.string());
  EXPECT_FALSE(r.ok());
  EXPECT_FALSE(fs::exists(root / "absent"));
  EXPECT_FALSE(kit::install("", "").ok());
  fs::remove_all(folder);
  writeAll(folder, "a file, not a folder");
  r = install(mv01.string());
  EXPECT_FALSE(r.ok());
  EXPECT_EQ(r.entries.size(), 1u);
  EXPECT_EQ(text(readAll(folder)), "a file, not a folder");
}

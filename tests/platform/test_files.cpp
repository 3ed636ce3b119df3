#include "platform/files.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

#include <gtest/gtest.h>

#include "platform/paths.h"
#include "platform/wav.h"
#include "tests/support/temp_drive.h"

namespace {

namespace fs = std::filesystem;
using namespace platform;

// Each test gets a fresh directory as the drive root, so "C:\x" is a file of its own.
class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    drive_.emplace("vemra-files-");
    root_ = drive_->path().string();
  }
  void TearDown() override {
    closeAll();
    clearFailHooks();
    drive_.reset();
  }
  std::string host(const std::string& name) const { return root_ + "/" + name; }
  void write(const std::string& name, const std::string& bytes) const {
    std::ofstream(host(name), std::ios::binary) << bytes;
  }
  std::string read(const std::string& name) const {
    std::ifstream in(host(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  std::vector<std::string> listing() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(root_)) names.push_back(e.path().filename());
    return names;
  }
  std::optional<test_support::TempDrive> drive_;
  std::string root_;
};

TEST_F(FilesTest, OpenModesNeverTruncateAndOnlyReadWriteCreates) {
  EXPECT_FALSE(fileOpen(1, "C:\\missing", OpenMode::Read));
  EXPECT_FALSE(fileOpen(1, "C:\\missing", OpenMode::ReadWriteExisting));
  EXPECT_FALSE(fs::exists(host("missing")));
  EXPECT_FALSE(isOpen(1));

  ASSERT_TRUE(fileOpen(1, "C:\\vsets", OpenMode::ReadWrite));
  EXPECT_TRUE(fs::exists(host("vsets")));
  EXPECT_EQ(lof(1), 0);
  EXPECT_TRUE(putString(1, 1, "abcdef"));
  fileClose(1);
  EXPECT_FALSE(isOpen(1));

  // Opening again for writing keeps every byte; a patch changes only its own bytes.
  ASSERT_TRUE(fileOpen(2, "C:\\vsets", OpenMode::ReadWrite));
  EXPECT_EQ(lof(2), 6);
  EXPECT_TRUE(putString(2, 2, "X"));
  fileClose(2);
  ASSERT_TRUE(fileOpen(3, "C:\\vsets", OpenMode::ReadWriteExisting));
  EXPECT_TRUE(putString(3, 6, "Y"));
  fileClose(3);
  EXPECT_EQ(read("vsets"), "aXcdeY");

  // Read only: writes fail and change nothing.
  ASSERT_TRUE(fileOpen(4, "C:\\vsets", OpenMode::Read));
  EXPECT_FALSE(putString(4, 1, "Z"));
  EXPECT_EQ(read("vsets"), "aXcdeY");

  // A number in use or out of range, a directory, an empty path.
  EXPECT_FALSE(fileOpen(4, "C:\\vsets", OpenMode::Read));
  EXPECT_FALSE(fileOpen(0, "C:\\vsets", OpenMode::Read));
  EXPECT_FALSE(fileOpen(kMaxFileNumber + 1, "C:\\vsets", OpenMode::Read));
  EXPECT_TRUE(fileOpen(kMaxFileNumber, "C:\\vsets", OpenMode::Read));
  EXPECT_FALSE(fileOpen(5, "C:\\", OpenMode::Read));
  EXPECT_FALSE(fileOpen(5, "", OpenMode::ReadWrite));
}

TEST_F(FilesTest, FreeFileNumbers) {
  write("f", "x");
  EXPECT_EQ(freeFile(), 1);
  ASSERT_TRUE(fileOpen(1, "C:\\f", OpenMode::Read));
  ASSERT_TRUE(fileOpen(2, "C:\\f", OpenMode::Read));
  EXPECT_EQ(freeFile(), 3);
  fileClose(1);
  EXPECT_EQ(freeFile(), 1);
  for (int fn = freeFile(); fn != 0; fn = freeFile()) ASSERT_TRUE(fileOpen(fn, "C:\\f", OpenMode::Read));
  EXPECT_TRUE(isOpen(kMaxFileNumber));
  closeAll();
  EXPECT_EQ(freeFile(), 1);
  EXPECT_FALSE(isOpen(2));
  fileClose(7);  // closing what is not open is harmless
  fileClose(-1);
}

TEST_F(FilesTest, PositionsCountFromOneAndIntegersAreLittleEndian) {
  ASSERT_TRUE(fileOpen(1, "C:\\t.wav", OpenMode::ReadWrite));
  EXPECT_EQ(seekPos(1), 1);
  const auto hdr = wavHeader(1, 4);
  ASSERT_TRUE(putBytes(1, 1, hdr));
  EXPECT_EQ(seekPos(1), 45);
  // The first sample of a track sits at byte offset 44, its position 45.
  ASSERT_TRUE(putInt16(1, 45, 0x1234));
  ASSERT_TRUE(putInt16(1, 0, -2));  // the current position follows on
  EXPECT_EQ(seekPos(1), 49);
  ASSERT_TRUE(putUInt32(1, 41, 4));  // the data size field
  EXPECT_EQ(seekPos(1), 45);
  fileClose(1);
  const std::string bytes = read("t.wav");
  ASSERT_EQ(bytes.size(), 48u);
  EXPECT_EQ(bytes.substr(0, 4), "RIFF");
  EXPECT_EQ(bytes.substr(40), std::string("\x04\x00\x00\x00\x34\x12\xFE\xFF", 8));

  ASSERT_TRUE(fileOpen(2, "C:\\t.wav", OpenMode::Read));
  int16_t v = 0;
  ASSERT_TRUE(getInt16(2, 47, v));
  EXPECT_EQ(v, -2);
  ASSERT_TRUE(seek(2, 45));
  ASSERT_TRUE(getInt16(2, 0, v));
  EXPECT_EQ(v, 0x1234);
  uint32_t u = 0;
  ASSERT_TRUE(getUInt32(2, 5, u));
  EXPECT_EQ(u, 40u);  // the RIFF size, 36 + 4
  std::array<int16_t, 2> s{};
  EXPECT_EQ(getInt16s(2, 45, s), 2u);
  EXPECT_EQ(s[0], 0x1234);
  EXPECT_EQ(s[1], -2);

  // Invalid positions and numbers fail without moving anything.
  EXPECT_FALSE(seek(2, 0));
  EXPECT_FALSE(seek(2, -5));
  EXPECT_FALSE(getInt16(2, -1, v));
  EXPECT_EQ(seekPos(2), 49);
  EXPECT_FALSE(seek(9, 1));
  EXPECT_EQ(seekPos(9), 0);
  EXPECT_EQ(lof(9), -1);
  EXPECT_FALSE(putInt16(9, 1, 1));
  EXPECT_FALSE(putInt16(2, INT64_MAX, 1));
}

TEST_F(FilesTest, EofOnlyAfterAShortRead) {
  write("f", std::string("\x01\x00\x02\x00\x03", 5));
  ASSERT_TRUE(fileOpen(1, "C:\\f", OpenMode::Read));
  EXPECT_FALSE(eof(1));
  int16_t v = 0;
  ASSERT_TRUE(getInt16(1, 3, v));  // bytes 3-4: ends one byte before the end
  EXPECT_EQ(v, 2);
  std::string s;
  ASSERT_TRUE(getString(1, 0, 1, s));  // ends exactly at the end: not yet eof
  EXPECT_EQ(s, "\x03");
  EXPECT_FALSE(eof(1));
  v = 77;
  EXPECT_FALSE(getInt16(1, 0, v));  // nothing left
  EXPECT_EQ(v, 0);
  EXPECT_TRUE(eof(1));
  ASSERT_TRUE(seek(1, 1));
  EXPECT_FALSE(eof(1));
  // A read that gets one of its two bytes: short, the value zero, the position past that byte.
  v = 77;
  EXPECT_FALSE(getInt16(1, 5, v));
  EXPECT_EQ(v, 0);
  EXPECT_TRUE(eof(1));
  EXPECT_EQ(seekPos(1), 6);
  // A full read at a given position is a fresh start.
  ASSERT_TRUE(getInt16(1, 1, v));
  EXPECT_FALSE(eof(1));
  // A number that is not open has nothing more to give.
  EXPECT_TRUE(eof(8));
}

TEST_F(FilesTest, ShortReadsLeaveNoStaleData) {
  write("f", std::string("\x01\x00\x02\x00\x03", 5));
  ASSERT_TRUE(fileOpen(1, "C:\\f", OpenMode::Read));
  std::array<int16_t, 4> a;
  a.fill(0x7777);
  EXPECT_EQ(getInt16s(1, 1, a), 2u);  // the half element read counts as not read
  EXPECT_EQ(a, (std::array<int16_t, 4>{1, 2, 0, 0}));
  EXPECT_TRUE(eof(1));

  std::string s = "stale";
  EXPECT_FALSE(getString(1, 4, 4, s));
  EXPECT_EQ(s, std::string("\x00\x03  ", 4));
  EXPECT_FALSE(getString(1, 100, 3, s));
  EXPECT_EQ(s, "   ");

  std::array<uint8_t, 4> b;
  b.fill(0xEE);
  EXPECT_EQ(getBytes(1, 3, b), 3u);
  EXPECT_EQ(b, (std::array<uint8_t, 4>{2, 0, 3, 0}));

  // Reads on a number that is not open clear their outputs too.
  a.fill(0x7777);
  EXPECT_EQ(getInt16s(2, 1, a), 0u);
  EXPECT_EQ(a, (std::array<int16_t, 4>{}));
  s = "stale";
  EXPECT_FALSE(getString(2, 1, 0, s));
  EXPECT_EQ(s, "");
  uint32_t u = 9;
  EXPECT_FALSE(getUInt32(2, 1, u));
  EXPECT_EQ(u, 0u);
}

TEST_F(FilesTest, OffsetsBeyondFourGigabytes) {
  constexpr int64_t kFar = 5'000'000'000;  // a sparse file: no disk space is used
  ASSERT_TRUE(fileOpen(1, "C:\\big", OpenMode::ReadWrite));
  ASSERT_TRUE(putInt16(1, kFar + 1, 0x5A5A));
  EXPECT_EQ(lof(1), kFar + 2);
  EXPECT_EQ(seekPos(1), kFar + 3);
  int16_t v = 0;
  ASSERT_TRUE(getInt16(1, kFar + 1, v));
  EXPECT_EQ(v, 0x5A5A);
  ASSERT_TRUE(seek(1, kFar + 1 + (int64_t{1} << 32)));  // past the end is allowed
  EXPECT_FALSE(getInt16(1, 0, v));
  EXPECT_TRUE(eof(1));
  EXPECT_EQ(fileLen("C:\\big"), kFar + 2);
  ASSERT_TRUE(truncateTo(1, 4));
  EXPECT_EQ(lof(1), 4);
}

TEST_F(FilesTest, TruncateAndFlush) {
  write("f", "abcdef");
  ASSERT_TRUE(fileOpen(1, "C:\\f", OpenMode::ReadWriteExisting));
  ASSERT_TRUE(truncateTo(1, 3));
  EXPECT_EQ(lof(1), 3);
  ASSERT_TRUE(truncateTo(1, 5));  // lengthens with zeros
  EXPECT_TRUE(flush(1));
  EXPECT_EQ(read("f"), std::string("abc\0\0", 5));
  EXPECT_FALSE(truncateTo(1, -1));
  EXPECT_FALSE(truncateTo(2, 0));
  EXPECT_FALSE(flush(2));
}

TEST_F(FilesTest, FailHookBlocksOpenCopyAndRenameOfOnePath) {
  write("T01.wav", "data");
  failOpenFor("C:\\T01.wav");
  // The same file however the program spells it, in every mode.
  for (auto mode : {OpenMode::Read, OpenMode::ReadWrite, OpenMode::ReadWriteExisting}) {
    EXPECT_FALSE(fileOpen(1, "c:/T01.wav    ", mode));
  }
  EXPECT_FALSE(fileCopy("C:\\T01.wav", "C:\\copy"));
  EXPECT_FALSE(renameReplace("C:\\T01.wav", "C:\\moved"));
  EXPECT_EQ(read("T01.wav"), "data");
  // Other paths, and the path as a target, are unaffected.
  write("T02.wav", "other");
  EXPECT_TRUE(fileOpen(2, "C:\\T02.wav", OpenMode::Read));
  EXPECT_TRUE(fileCopy("C:\\T02.wav", "C:\\T01.wav"));
  EXPECT_EQ(read("T01.wav"), "other");
  clearFailHooks();
  EXPECT_TRUE(fileOpen(1, "C:\\T01.wav", OpenMode::Read));
}

TEST_F(FilesTest, DirOneReturnsTheStoredNameOfOrdinaryFiles) {
  fs::create_directories(host("Vemracd/Mysong"));
  write("Vemracd/Mysong/T01.wav", "x");
  write("Vemracd/Mysong/t02.WAV", "x");
  write("Vemracd/Mysong/.T03.wav", "x");
  fs::create_directory(host("Vemracd/Mysong/T04.wav"));
  write("Vemracd/Mysong/T05.wav", "");  // empty, but listed
  EXPECT_EQ(dirOne("C:\\Vemracd\\Mysong\\T01.wav "), "T01.wav");
  // Found whatever the case asked for; the caller compares the stored name exactly.
  EXPECT_EQ(dirOne("C:\\Vemracd\\Mysong\\T02.wav"), "t02.WAV");
  EXPECT_EQ(dirOne("C:\\Vemracd\\Mysong\\t01.WAV"), "T01.wav");
  EXPECT_EQ(dirOne("C:\\Vemracd\\Mysong\\.T03.wav"), std::nullopt);
  EXPECT_EQ(dirOne("C:\\Vemracd\\Mysong\\.t03.wav"), std::nullopt);
  EXPECT_EQ(dirOne("C:\\Vemracd\\Mysong\\T04.wav"), std::nullopt);
  EXPECT_EQ(dirOne("C:\\Vemracd\\Mysong\\T05.wav"), "T05.wav");
  EXPECT_EQ(dirOne("C:\\Vemracd\\Mysong\\T06.wav"), std::nullopt);
  EXPECT_EQ(dirOne("C:\\Vemracd\\Nosuch\\T01.wav"), std::nullopt);
  EXPECT_EQ(dirOne("C:\\Vemracd\\Mysong\\"), std::nullopt);
  EXPECT_EQ(dirOne(""), std::nullopt);
}

TEST_F(FilesTest, LengthDateAndExistence) {
  write("empty", "");
  write("ten", "0123456789");
  fs::create_directory(host("dir"));
  EXPECT_EQ(fileLen("C:\\ten"), 10);
  EXPECT_EQ(fileLen("C:\\empty"), 0);
  EXPECT_EQ(fileLen("C:\\missing"), -1);
  EXPECT_EQ(fileLen("C:\\dir"), -1);
  EXPECT_TRUE(fileExists("C:\\ten"));
  EXPECT_FALSE(fileExists("C:\\empty"));
  EXPECT_FALSE(fileExists("C:\\missing"));
  EXPECT_FALSE(fileExists("C:\\dir"));

  const struct timespec times[2] = {{1'000'000'000, 0}, {1'234'567'890, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, host("ten").c_str(), times, 0), 0);
  EXPECT_EQ(fileDateTime("C:\\ten"), std::time_t{1'234'567'890});
  EXPECT_EQ(fileDateTime("C:\\missing"), std::nullopt);
  EXPECT_EQ(fileDateTime("C:\\dir"), std::nullopt);

  EXPECT_TRUE(dirExists("C:\\dir"));
  EXPECT_FALSE(dirExists("C:\\ten"));
  EXPECT_FALSE(dirExists("C:\\missing"));
}

TEST_F(FilesTest, CopyReplacesTheWholeTarget) {
  write("def", "template");
  write("T01.wav", "a much longer old recording");
  chmod(host("def").c_str(), 0640);
  ASSERT_TRUE(fileCopy("C:\\def", "C:\\T01.wav"));
  EXPECT_EQ(read("T01.wav"), "template");
  EXPECT_EQ(fs::status(host("T01.wav")).permissions(), fs::status(host("def")).permissions());
  ASSERT_TRUE(fileCopy("C:\\def", "C:\\new"));
  EXPECT_EQ(read("new"), "template");
  ASSERT_TRUE(fileCopy("C:\\new", "C:\\new"));  // onto itself: unchanged
  EXPECT_EQ(read("new"), "template");

  // Failures leave the target as it was and no temporary behind.
  fs::create_directory(host("dir"));
  EXPECT_FALSE(fileCopy("C:\\missing", "C:\\T01.wav"));
  EXPECT_FALSE(fileCopy("C:\\dir", "C:\\T01.wav"));
  EXPECT_FALSE(fileCopy("C:\\def", "C:\\dir"));
  EXPECT_FALSE(fileCopy("C:\\def", "C:\\nosuch\\x"));
  EXPECT_FALSE(fileCopy("C:\\def", ""));
  EXPECT_EQ(read("T01.wav"), "template");
  auto names = listing();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"T01.wav", "def", "dir", "new"}));
}

TEST_F(FilesTest, RenameReplacesAtomicallyAndKillDeletes) {
  write("temp", "new contents");
  write("T03.wav", "old");
  // A reader that has the old file open keeps reading the old file: the name moved over
  // to the new one, nothing was rewritten in place.
  ASSERT_TRUE(fileOpen(1, "C:\\T03.wav", OpenMode::Read));
  ASSERT_TRUE(renameReplace("C:\\temp", "C:\\T03.wav"));
  std::string s;
  ASSERT_TRUE(getString(1, 1, 3, s));
  EXPECT_EQ(s, "old");
  EXPECT_EQ(read("T03.wav"), "new contents");
  EXPECT_FALSE(fs::exists(host("temp")));
  EXPECT_FALSE(renameReplace("C:\\temp", "C:\\T04.wav"));
  EXPECT_FALSE(renameReplace("", "C:\\T04.wav"));

  EXPECT_TRUE(kill("C:\\T03.wav"));
  EXPECT_FALSE(fs::exists(host("T03.wav")));
  EXPECT_FALSE(kill("C:\\T03.wav"));
  fs::create_directory(host("dir"));
  EXPECT_FALSE(kill("C:\\dir"));
  EXPECT_TRUE(fs::exists(host("dir")));
}

TEST_F(FilesTest, ScratchFilesAreFreshOrdinaryAndHeld) {
  write("left", "an earlier run's");
  fs::create_symlink(host("left"), host("link"));
  EXPECT_EQ(createScratch("C:\\link"), -1);  // never followed, never removed
  EXPECT_FALSE(secondName("C:\\left", "C:\\link"));
  fs::create_hard_link(host("left"), host("hard"));  // a link or a file of two names gets no other
  for (const char* p : {"C:\\link", "C:\\hard"}) EXPECT_FALSE(secondName(p, "C:\\two") || fs::exists(host("two")));
  ASSERT_TRUE(fileOpen(1, "C:\\left", OpenMode::Scratch));  // an unheld leftover goes
  EXPECT_EQ(createScratch("C:\\left"), -1);  // held while open
}

TEST_F(FilesTest, MkDirMakesOneLevel) {
  EXPECT_TRUE(mkDir("C:\\Vemracd"));
  EXPECT_TRUE(mkDir("C:\\Vemracd\\Mysong  "));
  EXPECT_TRUE(fs::is_directory(host("Vemracd/Mysong")));
  EXPECT_TRUE(mkDir("C:\\Vemracd\\Mysong"));  // already there
  EXPECT_FALSE(mkDir("C:\\A\\B"));
  EXPECT_FALSE(fs::exists(host("A")));
  write("file", "x");
  EXPECT_FALSE(mkDir("C:\\file"));
  EXPECT_FALSE(mkDir(""));
}

TEST(WavHeader, CanonicalBytes) {
  const auto mono = wavHeader(1, 88200);
  const uint8_t want[kWavHeaderBytes] = {
      'R', 'I', 'F', 'F', 0xAC, 0x58, 0x01, 0x00, 'W', 'A', 'V', 'E',  // 36 + 88200
      'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0, 1, 0,                     // PCM, mono
      0x44, 0xAC, 0, 0, 0x88, 0x58, 0x01, 0x00, 2, 0, 16, 0,           // 44100, 88200 B/s
      'd', 'a', 't', 'a', 0x88, 0x58, 0x01, 0x00};
  EXPECT_EQ(std::memcmp(mono.data(), want, kWavHeaderBytes), 0);

  const auto stereo = wavHeader(2, 0);
  EXPECT_EQ(stereo[22], 2);
  EXPECT_EQ(stereo[4], 36);
  EXPECT_EQ(stereo[28] | stereo[29] << 8 | stereo[30] << 16, 176400);
  EXPECT_EQ(stereo[32], 4);
  EXPECT_EQ(stereo[40], 0);
  EXPECT_EQ(wavChannels(mono.data()), 1);
  EXPECT_EQ(wavChannels(stereo.data()), 2);
  // A header that does not say 1 or 2 reads as mono.
  auto odd = stereo;
  odd[22] = 0;
  EXPECT_EQ(wavChannels(odd.data()), 1);
  odd[22] = 2;
  odd[23] = 1;
  EXPECT_EQ(wavChannels(odd.data()), 1);
  EXPECT_EQ(wavChannels(nullptr), 1);
  // A size that would overflow the RIFF field saturates instead of wrapping.
  const auto huge = wavHeader(1, 0xFFFFFFF0u);
  EXPECT_EQ(huge[4] & huge[5] & huge[6] & huge[7], 0xFF);
}

}  // namespace

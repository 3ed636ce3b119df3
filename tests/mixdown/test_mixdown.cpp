#include "mixdown/mixdown.h"

#include <array>
#include <cmath>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace mixdown;

std::string readAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void writeAll(const fs::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
}

void putLe(std::string& b, size_t at, uint32_t v, int size) {
  for (int i = 0; i < size; ++i) b[at + size_t(i)] = char(v >> (8 * i));
}

std::string samplesBytes(const std::vector<int16_t>& s) {
  return std::string(reinterpret_cast<const char*>(s.data()), 2 * s.size());
}

// Linear gain of a level in hundredths of a decibel.
double gain(double level) { return std::pow(10.0, level / 2000.0); }

// A program folder of its own: `Parms` and `Mysong/` with the tracks.
class MixdownFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vemra-mix-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    fs::create_directory(song());
  }
  void TearDown() override { fs::remove_all(root_); }

  fs::path song() const { return root_ / "Mysong"; }
  fs::path track(int n) const {
    return song() / ((n < 10 ? "T0" : "T") + std::to_string(n) + ".wav");
  }

  // A request as the main program writes it: 284 bytes, an editor path at 192.
  void writeParms(const std::map<int, std::pair<int16_t, int16_t>>& volPan, int16_t code = 99,
                  size_t size = 284) {
    std::string b(std::max<size_t>(size, 284), '\0');
    putLe(b, 11, uint16_t(code), 2);
    for (const auto& [n, vp] : volPan) {
      putLe(b, 15 + 4 * size_t(n - 1), uint16_t(vp.first), 2);
      putLe(b, 17 + 4 * size_t(n - 1), uint16_t(vp.second), 2);
    }
    b.replace(192, 9, "/bin/true");
    b.resize(size);
    writeAll(root_ / "Parms", b);
  }
  // A mono track: a header whose sizes are wrong on purpose (only the file length counts).
  void writeTrack(int n, const std::vector<int16_t>& samples, const std::string& tail = "") {
    std::string h(44, '\0');
    h.replace(0, 4, "RIFF");
    h.replace(8, 8, "WAVEfmt ");
    h.replace(36, 4, "data");
    putLe(h, 40, 12345, 4);
    writeAll(track(n), h + samplesBytes(samples) + tail);
  }
  std::string master() const { return readAll(song() / "Mix.wav"); }
  static std::vector<int16_t> samplesOf(const std::string& wav) {
    std::vector<int16_t> s(wav.size() > 44 ? (wav.size() - 44) / 2 : 0);
    if (!s.empty()) std::memcpy(s.data(), wav.data() + 44, 2 * s.size());
    return s;
  }
  // The master's (left, right) at a frame.
  std::pair<int, int> frame(const std::string& wav, size_t i) const {
    auto s = samplesOf(wav);
    return {s.at(2 * i), s.at(2 * i + 1)};
  }

  fs::path root_;
};

// ---- the live curves ----

TEST(MixdownLevels, VolumeAndPanFollowTheLiveCurves) {
  // Request volume = 2 x mixer scale, 30 per pixel of travel; pan 348 per pixel from the left.
  const std::pair<int, double> volumes[] = {
      {0, kSilent},     {-1, kSilent},
      {2, kSilent},                       // knobs 120..123 write 1: silent here
      {119, kSilent},                     // travel just under 2
      {120, -2944},     {240, -2880},     // knobs 122 and 124
      {2760, -1536},                      // knob 166
      {2880, -1536},    {2999, -1536},    // the detent
      {3000, -1408},    {-3000, -1408},   // the design values 1500 and -1500, knob 170
      {5520, -64},                        // knob 212
      {5521, 0},        {5700, 0},        // past travel 92, knob 215
      {32767, 0},       {-32768, 0},
      {3440, -32 * (94 - 3440 / 60.0)},   // a split's 1720: between pixels
  };
  for (auto [v, level] : volumes) EXPECT_DOUBLE_EQ(volumeLevel(v), level) << v;
  const std::pair<int, double> pans[] = {
      {16383, 0},       {46 * 348, 0},    {48 * 348, 0},   // design centre, the detent's edges
      {15660, -50},     {17052, 390},     {348, -4890},    // knobs 166, 170, 122
      {90 * 348, 4900}, {500, 110 * 500 / 348.0 - 5000},   // between pixels
      {0, -5000},       {-348, -5000},    {-32768, -5000},
      {32272, 5000},    {32364, 5000},    {32712, 5000},   {32767, 5000},
  };
  for (auto [p, level] : pans) EXPECT_DOUBLE_EQ(panLevel(p), level) << p;
}

TEST(MixdownLevels, BlockSumsRoundsHalvesToEvenAndSaturates) {
  const size_t n = 2500;  // more than one inner pass, with a ragged end
  std::vector<int16_t> a(n), b(n, 0);
  const std::array<int16_t, 8> values{1, 3, -1, -3, 5, 32767, -32768, 7};
  for (size_t i = 0; i < n; ++i) a[i] = values[i % values.size()];
  a[n - 1] = 32767;
  b[n - 1] = 1;
  const std::array<const int16_t*, 3> tracks{a.data(), nullptr, b.data()};
  const std::array<Gains, 3> gains{Gains{0.5, 2.0}, Gains{1, 1}, Gains{1, -1}};
  std::vector<int16_t> out(2 * n, 1234);
  mixBlock(tracks, gains, n, out.data());
  // left: 0.5 x a (halves to even); right: 2 x a, saturated
  const std::array<int, 8> left{0, 2, 0, -2, 2, 16384, -16384, 4};
  const std::array<int, 8> right{2, 6, -2, -6, 10, 32767, -32768, 14};
  for (size_t i = 0; i + 1 < n; ++i) {
    ASSERT_EQ(out[2 * i], left[i % 8]) << i;
    ASSERT_EQ(out[2 * i + 1], right[i % 8]) << i;
  }
  EXPECT_EQ(out[2 * (n - 1)], 16384);      // 16383.5 + 1 = 16384.5: to the even 16384
  EXPECT_EQ(out[2 * (n - 1) + 1], 32767);  // 65534 - 1, saturated
}

// ---- the whole mixdown ----

TEST_F(MixdownFolder, MixesLikeTheLiveMixWithTheLengthOfTrack01) {
  writeParms({{1, {5700, 16383}},    // 0 dB, centre
              {2, {-3000, 0}},       // design volume, hard left
              {3, {2880, 32272}},    // detent, hard right (a split's right)
              {4, {2, 16383}},       // knob 120..123: silent
              {5, {5520, 17052}},    // -0.64 dB, just right of the detent
              {6, {4000, 16383}}});  // not recorded
  const size_t len = 100000;         // over two blocks
  std::vector<int16_t> t[6];
  uint32_t x = 12345;
  for (int k : {1, 2, 3, 4, 5}) {
    t[k].resize(k == 2 ? 50000 : k == 3 ? 150000 : len);  // 02 shorter, 03 longer
    for (auto& s : t[k]) s = int16_t((x = x * 1664525u + 1013904223u) >> 16);
  }
  // Frame 0 by hand; frames 1 and 2 saturate.
  for (int k : {1, 2, 3, 4, 5}) {
    t[k][0] = std::array<int16_t, 6>{0, 10000, 20000, -20000, 32767, 1000}[size_t(k)];
    t[k][1] = k == 1 ? 30000 : k == 3 ? -32768 : 32767;
    t[k][2] = k == 1 ? -30000 : k == 3 ? 32767 : -32768;
  }
  for (int k : {1, 2, 3, 4, 5}) writeTrack(k, t[k], k == 1 ? "x" : "");  // an odd byte is no frame
  writeAll(song() / "Mix.wav", "an earlier master");
  const auto inputs = [&] {  // what the mixdown must leave alone
    std::vector<std::pair<std::string, fs::file_time_type>> v;
    for (const fs::path& p : {root_ / "Parms", track(1), track(2), track(3), track(4), track(5)})
      v.emplace_back(readAll(p), fs::last_write_time(p));
    return v;
  };
  const auto before = inputs();

  const Result r = run(root_.string());
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(inputs(), before);
  const std::string wav = master();
  ASSERT_EQ(wav.size(), 44 + 4 * len);
  EXPECT_FALSE(fs::exists(song() / "Copymix.wav"));

  // The canonical stereo header.
  std::string header(44, '\0');
  header.replace(0, 16, "RIFF\0\0\0\0WAVEfmt ", 16);
  putLe(header, 4, 36 + 4 * len, 4);
  putLe(header, 16, 16, 4);
  putLe(header, 20, 1, 2);
  putLe(header, 22, 2, 2);
  putLe(header, 24, 44100, 4);
  putLe(header, 28, 176400, 4);
  putLe(header, 32, 4, 2);
  putLe(header, 34, 16, 2);
  header.replace(36, 4, "data");
  putLe(header, 40, 4 * len, 4);
  EXPECT_EQ(wav.substr(0, 44), header);

  EXPECT_EQ(frame(wav, 0), std::make_pair(14536, 7529));
  EXPECT_EQ(frame(wav, 1), std::make_pair(32767, 32767));
  EXPECT_EQ(frame(wav, 2), std::make_pair(-32768, -32768));

  // Every frame against a reference mix with the gains written out in decibels.
  const double levels[6][2] = {{}, {0, 0}, {-1408, -6408}, {-6536, -1536}, {}, {-454, -64}};
  const auto out = samplesOf(wav);
  for (size_t i = 0; i < len; ++i) {
    for (int side = 0; side < 2; ++side) {
      double sum = 0;
      for (int k : {1, 2, 3, 5})
        if (i < t[k].size()) sum += t[k][i] * gain(levels[k][side]);
      const int want = int(std::nearbyint(std::clamp(sum, -32768.0, 32767.0)));
      ASSERT_EQ(out[2 * i + size_t(side)], want) << "frame " << i << " side " << side;
    }
  }
}

TEST_F(MixdownFolder, HardLeftAndRightLeaveTheOtherSideFiftyDecibelsDown) {
  writeParms({{1, {5700, 0}}, {2, {5700, 32272}}, {3, {5700, 16383}}});
  writeTrack(1, {32767, 0, 0, -20000});
  writeTrack(2, {0, 32767, 0});
  writeTrack(3, {0, 0, -10000, 10000, 5});  // longer than T01: cut
  ASSERT_TRUE(run(root_.string()).ok);
  const std::string wav = master();
  ASSERT_EQ(wav.size(), 44u + 16);
  EXPECT_EQ(frame(wav, 0), std::make_pair(32767, 104));  // 32767 x 10^-2.5 = 103.6
  EXPECT_EQ(frame(wav, 1), std::make_pair(104, 32767));
  EXPECT_EQ(frame(wav, 2), std::make_pair(-10000, -10000));
  EXPECT_EQ(frame(wav, 3), std::make_pair(-10000, 10000 - 63));  // -20000 x 10^-2.5 = -63.2
}

TEST_F(MixdownFolder, SilentTrack01StillSetsTheLengthAndEmptyTrack01GivesAnEmptyMaster) {
  writeParms({{1, {0, 16383}}, {2, {3000, 16383}}});
  writeTrack(1, std::vector<int16_t>(5, 32767));
  writeTrack(2, {10000, 10000});
  ASSERT_TRUE(run(root_.string()).ok);
  std::string wav = master();
  ASSERT_EQ(wav.size(), 44u + 20);
  EXPECT_EQ(frame(wav, 1), std::make_pair(1977, 1977));  // 10000 at -14.08 dB
  EXPECT_EQ(frame(wav, 2), std::make_pair(0, 0));
  writeTrack(1, std::vector<int16_t>(6172, 1), std::string("\0\0LIST\4\0\0\0INFO", 14));  // 12,345 bytes of sound, a pad, a tag
  ASSERT_TRUE(run(root_.string()).ok);
  EXPECT_EQ(master().size(), 44u + 4 * 6172);

  writeTrack(1, {});
  ASSERT_TRUE(run(root_.string()).ok);
  wav = master();
  ASSERT_EQ(wav.size(), 44u);
  EXPECT_EQ(wav.substr(40), std::string(4, '\0'));
  writeAll(track(1), "RIFF");  // shorter than a header
  ASSERT_TRUE(run(root_.string()).ok);
  EXPECT_EQ(master().size(), 44u);
}

TEST_F(MixdownFolder, JunkValuesMixWithoutFailing) {
  // Any 16-bit number has a meaning: the extremes are full volume / a hard side.
  std::string b(284, '\x80');
  putLe(b, 11, 99, 2);
  writeAll(root_ / "Parms", b);
  writeTrack(1, {1000, -1000});
  writeTrack(2, {1000, -1000});
  ASSERT_TRUE(run(root_.string()).ok);
  EXPECT_EQ(frame(master(), 0), std::make_pair(2000, 6));  // 0x8080: 0 dB, hard left

  b.assign(71, '\xff');  // exactly the request's bytes, every value -1: silent
  putLe(b, 11, 99, 2);
  writeAll(root_ / "Parms", b);
  ASSERT_TRUE(run(root_.string()).ok);
  EXPECT_EQ(frame(master(), 1), std::make_pair(0, 0));
}

TEST_F(MixdownFolder, BadRequestsFailWithTheReasonAndLeaveTheMasterAlone) {
  writeTrack(1, {1, 2, 3});
  writeAll(song() / "Mix.wav", "an earlier master");
  auto fails = [&](const std::string& why) {
    const Result r = run(root_.string());
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find(why), std::string::npos) << r.error;
    EXPECT_EQ(r.error.find('\n'), std::string::npos);
    EXPECT_EQ(master(), "an earlier master");
    EXPECT_FALSE(fs::exists(song() / "Copymix.wav"));
  };
  fails("no Parms");
  writeParms({}, 99, 70);
  fails("too short: 70 bytes");
  writeAll(root_ / "Parms", "");
  fails("too short: 0 bytes");
  writeParms({}, 98);
  fails("code 98, not 99");
  writeParms({}, int16_t(99 + 256));  // only the whole 16-bit number counts
  fails("code 355");
  fs::remove(root_ / "Parms");
  fs::create_directory(root_ / "Parms");
  fails("cannot read");
  fs::remove(root_ / "Parms");
  writeParms({{1, {5700, 16383}}});
  ASSERT_EQ(::mkfifo(track(3).c_str(), 0644), 0);  // never waited on
  fails("T03.wav: not an ordinary file");
  fs::remove(track(3));
  fs::remove(track(1));
  writeTrack(2, {1, 2, 3});
  fails("no T01.wav");
}

TEST_F(MixdownFolder, WriteFailuresLeaveTheMasterAndRemoveTheCopy) {
  writeParms({{1, {5700, 16383}}});
  writeTrack(1, std::vector<int16_t>(3 * kBlockFrames, 7));
  writeAll(song() / "Mix.wav", "an earlier master");

  fs::create_directory(song() / "Copymix.wav");  // cannot be opened for writing
  Result r = run(root_.string());
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("cannot write"), std::string::npos) << r.error;
  EXPECT_EQ(master(), "an earlier master");
  fs::remove(song() / "Copymix.wav");
  ASSERT_EQ(::mkfifo((song() / "Copymix.wav").c_str(), 0644), 0);  // never waited on, stays
  EXPECT_FALSE(run(root_.string()).ok);
  EXPECT_TRUE(fs::remove(song() / "Copymix.wav"));

  rlimit was{};
  ::getrlimit(RLIMIT_FSIZE, &was);
  const rlimit small{1 << 16, was.rlim_max};  // every write past 64 KiB fails: a full disk
  const auto handler = std::signal(SIGXFSZ, SIG_IGN);
  ::setrlimit(RLIMIT_FSIZE, &small);
  r = run(root_.string());
  ::setrlimit(RLIMIT_FSIZE, &was);
  std::signal(SIGXFSZ, handler);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("cannot write Copymix.wav: File too large"), std::string::npos) << r.error;
  EXPECT_EQ(master(), "an earlier master");
  EXPECT_FALSE(fs::exists(fs::symlink_status(song() / "Copymix.wav")));

  fs::remove(song() / "Mix.wav");  // a master that cannot be replaced
  fs::create_directories(song() / "Mix.wav" / "x");
  r = run(root_.string());
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("cannot replace"), std::string::npos) << r.error;
  EXPECT_FALSE(fs::exists(song() / "Copymix.wav"));
}

// ---- the program itself ----

// Runs a program with no arguments from `cwd`; its exit status and standard error.
std::pair<int, std::string> runProgram(const fs::path& exe, const fs::path& cwd,
                                       const fs::path& errFile) {
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addchdir_np(&fa, cwd.c_str());
  posix_spawn_file_actions_addopen(&fa, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::string arg0 = exe.string();
  char* argv[] = {arg0.data(), nullptr};
  pid_t pid = -1;
  int status = -1;
  if (posix_spawn(&pid, exe.c_str(), &fa, nullptr, argv, environ) == 0) waitpid(pid, &status, 0);
  posix_spawn_file_actions_destroy(&fa);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readAll(errFile)};
}

TEST_F(MixdownFolder, ProgramFindsItsFolderFromItsOwnLocation) {
  const fs::path built = MV01_EXE;
  ASSERT_TRUE(fs::exists(built)) << built;
  writeParms({{1, {5700, 16383}}});
  writeTrack(1, {1, -2, 3});
  const fs::path elsewhere = root_ / "elsewhere";  // the current directory holds another song
  fs::create_directories(elsewhere / "Mysong");
  writeAll(elsewhere / "Parms", readAll(root_ / "Parms"));
  writeAll(elsewhere / "Mysong" / "T01.wav", readAll(track(1)));

  fs::copy_file(built, root_ / "Mv01.exe");
  auto [code, err] = runProgram(root_ / "Mv01.exe", elsewhere, root_ / "err");
  EXPECT_EQ(code, 0) << err;
  EXPECT_EQ(err, "");
  EXPECT_EQ(samplesOf(master()), (std::vector<int16_t>{1, 1, -2, -2, 3, 3}));
  EXPECT_FALSE(fs::exists(elsewhere / "Mysong" / "Mix.wav"));

  // Started through a link, it works in the link's folder.
  fs::remove(song() / "Mix.wav");
  fs::remove(root_ / "Mv01.exe");
  fs::create_symlink(built, root_ / "Mv01.exe");
  std::tie(code, err) = runProgram(root_ / "Mv01.exe", elsewhere, root_ / "err");
  EXPECT_EQ(code, 0) << err;
  EXPECT_EQ(master().size(), 44u + 12);
  EXPECT_FALSE(fs::exists(elsewhere / "Mysong" / "Mix.wav"));
}

TEST_F(MixdownFolder, ProgramFailsWithOneLineAndANonZeroStatus) {
  fs::copy_file(MV01_EXE, root_ / "Mv01.exe");
  writeParms({}, 98);
  auto [code, err] = runProgram(root_ / "Mv01.exe", "/", root_ / "err");
  EXPECT_EQ(code, 1);
  EXPECT_EQ(err, "Mv01: Parms holds no mixdown request: code 98, not 99\n");
  writeParms({});
  std::tie(code, err) = runProgram(root_ / "Mv01.exe", "/", root_ / "err");
  EXPECT_EQ(code, 1);
  EXPECT_EQ(err, "Mv01: no T01.wav in " + song().string() + "/\n");
}

TEST_F(MixdownFolder, ProgramRefusesAMasterPastTheWavSizeLimitBeforeWritingAnything) {
  // T01 sparse: its length alone sets the master's. One frame more than a WAV file holds.
  fs::copy_file(MV01_EXE, root_ / "Mv01.exe");
  writeParms({{1, {5700, 16383}}});
  const uint64_t frames = kMaxWavDataBytes / 4 + 1;
  writeTrack(1, {1, 2});
  ASSERT_EQ(::truncate(track(1).c_str(), off_t(44 + 2 * frames)), 0);
  writeAll(song() / "Mix.wav", "an earlier master");
  // Opening the copy for writing would empty this file through the link.
  writeAll(root_ / "probe", "not written");
  fs::create_symlink(root_ / "probe", song() / "Copymix.wav");

  // Should the program write after all, it may not write gigabytes: past 1 MiB it is stopped.
  rlimit before{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
  const rlimit small{1 << 20, before.rlim_max};
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const auto linked = runProgram(root_ / "Mv01.exe", "/", root_ / "err");
  fs::remove(song() / "Copymix.wav");
  const auto plain = runProgram(root_ / "Mv01.exe", "/", root_ / "err");
  ::setrlimit(RLIMIT_FSIZE, &before);

  const std::string why = "Mv01: T01.wav is too long for a stereo master: its " +
                          std::to_string(4 * frames) +
                          " bytes of sound pass the 4294967259 a WAV file can hold\n";
  EXPECT_EQ(4 * frames + 36, uint64_t(UINT32_MAX) + 1);  // the first size past the limit
  EXPECT_EQ(linked, std::make_pair(1, why));
  EXPECT_TRUE(readAll(root_ / "probe") == "not written") << "Copymix.wav was written";
  EXPECT_EQ(plain, std::make_pair(1, why));
  EXPECT_FALSE(fs::exists(song() / "Copymix.wav"));
  EXPECT_EQ(master(), "an earlier master");
}

}  // namespace

#include "platform/mci.h"

#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/sound.h"
#include "platform/wav.h"
#include "tests/support/temp_drive.h"

namespace {

namespace fs = std::filesystem;
using namespace platform;
using test_support::Bytes;

// The program's own command strings, trailing blanks included.
constexpr const char* kOpenCap = "open new type waveaudio alias cap44 ";
constexpr const char* kSetMono = "set cap44 bitspersample 16 channels 1 samplespersec 44100 ";
constexpr const char* kSetStereo = "set cap44 bitspersample 16 channels 2 samplespersec 44100 ";
constexpr const char* kCue = "Cue cap44 input  ";
constexpr const char* kRecord = "record cap44 From 0 ";
constexpr const char* kStop = "stop cap44 ";
constexpr const char* kClose = "close cap44 ";

// A recognisable, never-silent sample pattern: sample i of channel c.
int16_t pattern(size_t i, int c = 0) {
  return static_cast<int16_t>(1 + (i * 37 + static_cast<size_t>(c) * 11111) % 30000);
}

Bytes readBytes(const std::string& host) { return test_support::readAll(host); }
Bytes wavBytes(int channels, const std::vector<int16_t>& samples) {
  return test_support::wavFile(channels, samples);
}

std::vector<int16_t> patternSamples(size_t frames, int channels) {
  std::vector<int16_t> s;
  for (size_t i = 0; i < frames; ++i)
    for (int c = 0; c < channels; ++c) s.push_back(pattern(i, c));
  return s;
}

class MciTest : public ::testing::Test {
 protected:
  void SetUp() override {
    drive_.emplace("vemra-mci-");
    root_ = drive_->path().string();
    fs::create_directories(root_ + "/Vemracd/Mysong");
    setMciErrorReporter([this](const std::string& m) { reports_.push_back(m); });
    selectBackend(AudioBackendKind::Offline);
    clock_ = std::make_unique<SimClock>(0);
    yield_ = std::make_unique<ScriptedYield>(*clock_);
    setYieldDriver(yield_.get());
  }
  void TearDown() override {
    mciReset();
    shutdownAudio();
    setYieldDriver(nullptr);
    setMciErrorReporter(nullptr);
    setMciScratchDir("");
    drive_.reset();
  }

  std::string host(const std::string& rel) const { return root_ + "/" + rel; }
  void writeWav(const std::string& rel, int channels, const std::vector<int16_t>& s) const {
    test_support::writeAll(host(rel), wavBytes(channels, s));
  }
  // Offline input: `seconds` of the pattern with `channels` channels.
  void useInput(int channels, int seconds) {
    writeWav("input.wav", channels, patternSamples(static_cast<size_t>(seconds) * 44100, channels));
    OfflineConfig cfg;
    cfg.inputWav = host("input.wav");
    configureOffline(cfg);
  }
  void record(int channels, int64_t ms) {
    ASSERT_TRUE(mciExecute(kOpenCap));
    ASSERT_TRUE(mciExecute(channels == 1 ? kSetMono : kSetStereo));
    if (channels == 1) {
      ASSERT_TRUE(mciExecute(kCue));  // the stereo button sends no cue
    }
    ASSERT_TRUE(mciExecute(kRecord));
    clock_->advanceBy(ms);
  }
  // Stereo frames rendered by the offline output from frame `from` on.
  std::vector<int16_t> output(size_t from = 0) const {
    const auto& o = offlineOutput();
    return {o.begin() + static_cast<std::ptrdiff_t>(std::min(o.size(), from * 2)), o.end()};
  }

  // The one file in a folder of the drive whose name starts with `prefix`.
  std::string onlyFile(const std::string& rel, const std::string& prefix = "") const {
    std::vector<std::string> found;
    for (const auto& e : fs::directory_iterator(host(rel)))
      if (e.is_regular_file() && e.path().filename().string().starts_with(prefix))
        found.push_back(e.path().string());
    EXPECT_EQ(found.size(), 1u) << rel;
    return found.empty() ? "" : found[0];
  }

  std::optional<test_support::TempDrive> drive_;
  std::string root_;
  std::vector<std::string> reports_;
  std::unique_ptr<SimClock> clock_;
  std::unique_ptr<ScriptedYield> yield_;
};

// ---- Recording -----------------------------------------------------------------------------

class MciRecord : public MciTest {};
class MciPlay : public MciTest {};
class MciDelete : public MciTest {};
class MciErrors : public MciTest {};
class MciRecordTake : public MciTest, public ::testing::WithParamInterface<int> {};

TEST_P(MciRecordTake, SavedTakeIsTheCanonicalHeaderAndExactlyTheInput) {
  const int ch = GetParam();
  useInput(ch, 4);
  record(ch, 2000);
  ASSERT_TRUE(mciExecute(kStop));
  const std::string path = "C:\\Vemracd\\Mysong\\T02.wav";
  ASSERT_TRUE(mciExecute("save cap44 " + path));
  ASSERT_TRUE(mciExecute(kClose));

  EXPECT_EQ(readBytes(hostPath(path)), wavBytes(ch, patternSamples(2 * 44100, ch)));
  EXPECT_TRUE(reports_.empty());
  EXPECT_TRUE(mciOpenDevices().empty());
  EXPECT_FALSE(captureOpen());
  // The scratch went with the device; no temporary was left beside the track.
  for (const auto& e : fs::directory_iterator(host("Vemracd")))
    EXPECT_FALSE(e.is_regular_file()) << e.path();
  EXPECT_EQ(std::vector<std::string>{"T02.wav"},
            [&] {
              std::vector<std::string> names;
              for (const auto& e : fs::directory_iterator(host("Vemracd/Mysong")))
                names.push_back(e.path().filename());
              return names;
            }());
}

INSTANTIATE_TEST_SUITE_P(Mci, MciRecordTake, ::testing::Values(1, 2));

TEST_F(MciRecord, ScratchHoldsTheTakeWhileRecording) {
  useInput(1, 8);
  record(1, 5000);
  EXPECT_TRUE(captureOpen());
  // A killed program leaves the scratch behind: it must already hold all but the last second,
  // as a WAV whose header covers at least that much. The writer runs on its own thread, so
  // give it (wall) time; nothing here asserts a speed.
  // Its hidden name carries the local time the take started.
  const std::string scratch = onlyFile("Vemracd");
  EXPECT_THAT(scratch, ::testing::MatchesRegex(".*/\\.cap44-take-[0-9]{8}-[0-9]{6}\\.wav"));
  const size_t want = 4 * 44100 * 2;
  Bytes b;
  auto headerBytes = [&] {
    uint32_t v = 0;
    std::memcpy(&v, b.data() + 40, 4);
    return v;
  };
  for (int i = 0; i < 400; ++i) {
    b = readBytes(scratch);
    if (b.size() >= 44 + want && headerBytes() >= want) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  ASSERT_GE(b.size(), 44 + want);
  ASSERT_GE(headerBytes(), want);
  EXPECT_LE(headerBytes(), b.size() - 44);
  Bytes expect = wavBytes(1, patternSamples((b.size() - 44) / 2, 1));
  EXPECT_TRUE(std::equal(b.begin() + 4, b.begin() + 40, expect.begin() + 4));  // format
  EXPECT_TRUE(std::equal(b.begin() + 44, b.end(), expect.begin() + 44));       // samples

  // "close all" (the program's exit) drops the take: no file, capture closed, no report.
  ASSERT_TRUE(mciExecute("close all"));
  EXPECT_FALSE(fs::exists(scratch));
  EXPECT_FALSE(captureOpen());
  EXPECT_TRUE(reports_.empty());
}

TEST_F(MciRecord, SaveStopsFirstRecordFromZeroRestartsAndFailuresKeepFiles) {
  useInput(1, 6);
  record(1, 1000);
  // Save while recording stops the take first.
  ASSERT_TRUE(mciExecute("SAVE cap44 C:\\Vemracd\\Mysong\\T03.wav"));
  EXPECT_FALSE(captureOpen());
  clock_->advanceBy(500);  // stopped: nothing more is taken
  ASSERT_TRUE(mciExecute("save CAP44 C:\\Vemracd\\Mysong\\T04.wav"));
  Bytes first = wavBytes(1, patternSamples(44100, 1));
  EXPECT_EQ(readBytes(host("Vemracd/Mysong/T03.wav")), first);
  EXPECT_EQ(readBytes(host("Vemracd/Mysong/T04.wav")), first);

  // A save that cannot write fails once and leaves what was there.
  EXPECT_FALSE(mciExecute("save cap44 C:\\No Such Folder\\T05.wav"));
  fs::create_directories(host("Vemracd/Mysong/T06.wav"));  // a folder where the file should go
  EXPECT_FALSE(mciExecute("save cap44 C:\\Vemracd\\Mysong\\T06.wav"));
  EXPECT_TRUE(fs::is_directory(host("Vemracd/Mysong/T06.wav")));
  EXPECT_EQ(reports_.size(), 2u);
  EXPECT_FALSE(fs::exists(host("Vemracd/Mysong/.T06.wav.saving")));

  // Record from 0 again on the same device: a fresh take of 250 ms (the offline input starts
  // over with every capture), then the program's stop/save/close.
  ASSERT_TRUE(mciExecute(kRecord));
  clock_->advanceBy(250);
  ASSERT_TRUE(mciExecute(kStop));
  ASSERT_TRUE(mciExecute("save cap44 C:\\Vemracd\\Mysong\\T03.wav"));
  EXPECT_EQ(readBytes(host("Vemracd/Mysong/T03.wav")), wavBytes(1, patternSamples(11025, 1)));
  ASSERT_TRUE(mciExecute(kClose));
  EXPECT_EQ(reports_.size(), 2u);
}

// Takes left behind by a program that died: each is kept as Recovered-<its start>.wav with a
// header that matches its whole frames; an empty scratch goes; a take that a running recorder
// holds is left alone; a name already taken gets "-2".
TEST_F(MciRecord, LeftoversOfADeadProgramAreRecoveredUnderTheirStartTime) {
  useInput(1, 2);
  setMciScratchDir(host("Vemracd/Mysong"));
  auto samples = patternSamples(3000, 2);
  Bytes stale = wavBytes(2, samples);
  stale[40] = 8;  // the header of the last sync, behind the data
  stale[41] = stale[42] = stale[43] = 0;
  stale.push_back(0x11);  // a cut write: not a whole frame
  test_support::writeAll(host("Vemracd/Mysong/.cap44-take-20260102-030405.wav"), stale);
  writeWav("Vemracd/Mysong/Recovered-20260102-030405.wav", 1, {1, 2, 3});  // taken
  writeWav("Vemracd/Mysong/.cap44-take-20260102-030406.wav", 1, {});        // no samples
  writeWav("Vemracd/.cap44-take.wav", 1, std::vector<int16_t>(44100, 9));   // an older program
  ASSERT_TRUE(mciExecute(kOpenCap));
  ASSERT_TRUE(mciExecute(kRecord));  // a live take: locked
  clock_->advanceBy(100);

  std::vector<std::string> names;
  for (const KeptTake& k : mciRecoverTakes()) {
    names.push_back(k.name);
    EXPECT_EQ(k.folder, k.path.find("/Mysong/") != std::string::npos ? "Mysong" : "?");
  }
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(names[0], "Recovered-20260102-030405-2.wav");
  EXPECT_THAT(names[1], ::testing::MatchesRegex("Recovered-[0-9]{8}-[0-9]{6}\\.wav"));
  EXPECT_EQ(readBytes(host("Vemracd/Mysong/" + names[0])), wavBytes(2, samples));
  EXPECT_EQ(readBytes(host("Vemracd/Mysong/" + names[1])),
            wavBytes(1, std::vector<int16_t>(44100, 9)));
  EXPECT_FALSE(fs::exists(host("Vemracd/Mysong/.cap44-take-20260102-030405.wav")));
  EXPECT_FALSE(fs::exists(host("Vemracd/Mysong/.cap44-take-20260102-030406.wav")));
  EXPECT_FALSE(fs::exists(host("Vemracd/.cap44-take.wav")));
  int live = 0;
  for (const auto& e : fs::directory_iterator(host("Vemracd/Mysong")))
    live += e.path().filename().string().starts_with(".cap44-take-");
  EXPECT_EQ(live, 1);
  ASSERT_TRUE(mciExecute(kStop));
  ASSERT_TRUE(mciExecute("save cap44 C:\\Vemracd\\Mysong\\T01.wav"));
  EXPECT_EQ(readBytes(host("Vemracd/Mysong/T01.wav")), wavBytes(1, patternSamples(4410, 1)));
  EXPECT_TRUE(reports_.empty());
}

// The save is a rename in the scratch folder: the take is never copied, so a disk that holds it
// once is enough. A save that cannot go where it should leaves the take for keeping, which moves
// it to its Recovered name; a take without samples is not kept.
TEST_F(MciRecord, SaveMovesTheTakeAndAFailedSaveKeepsIt) {
  useInput(1, 4);
  setMciScratchDir(host("Vemracd/Mysong"));
  record(1, 1000);
  ASSERT_TRUE(mciExecute(kStop));
  const std::string scratch = onlyFile("Vemracd/Mysong");
  struct stat before {};
  ASSERT_EQ(::stat(scratch.c_str(), &before), 0);
  ASSERT_TRUE(mciExecute("save cap44 C:\\Vemracd\\Mysong\\T01.wav"));
  struct stat after {};
  ASSERT_EQ(::stat(host("Vemracd/Mysong/T01.wav").c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);  // the same file, renamed
  EXPECT_FALSE(fs::exists(scratch));
  EXPECT_EQ(readBytes(host("Vemracd/Mysong/T01.wav")), wavBytes(1, patternSamples(44100, 1)));
  ASSERT_TRUE(mciExecute(kClose));
  EXPECT_TRUE(fs::exists(host("Vemracd/Mysong/T01.wav")));

  record(1, 500);
  const std::string stamp = onlyFile("Vemracd/Mysong", ".cap44").substr(
      host("Vemracd/Mysong/.cap44-take-").size(), 15);
  fs::create_directories(host("Vemracd/Mysong/T02.wav"));
  EXPECT_FALSE(mciExecuteQuiet("save cap44 C:\\Vemracd\\Mysong\\T02.wav"));
  EXPECT_THAT(mciLastError(), ::testing::HasSubstr("T02.wav"));
  std::optional<KeptTake> kept = mciKeepTake("cap44");
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->name, "Recovered-" + stamp + ".wav");
  EXPECT_EQ(kept->folder, "Mysong");
  EXPECT_EQ(readBytes(kept->path), wavBytes(1, patternSamples(22050, 1)));
  ASSERT_TRUE(mciExecute(kClose));
  EXPECT_TRUE(fs::exists(kept->path));
  EXPECT_TRUE(reports_.empty());

  ASSERT_TRUE(mciExecute(kOpenCap));
  EXPECT_FALSE(mciKeepTake("cap44"));  // nothing recorded
  EXPECT_FALSE(mciKeepTake("nobody"));
}

TEST_F(MciRecord, RefusesBadFormatsAndSecondCapture) {
  useInput(1, 1);
  ASSERT_TRUE(mciExecute(kOpenCap));
  for (const char* bad : {"set cap44 bitspersample 8 channels 1 samplespersec 44100",
                          "set cap44 bitspersample 16 channels 3 samplespersec 44100",
                          "set cap44 bitspersample 16 channels 1 samplespersec 22050",
                          "set cap44 channels", "set cap44 loudness 11", "set cap44",
                          "cue cap44 output", "record cap44 from 5", "record cap44 to 100",
                          kOpenCap, "open new type waveaudio alias CAP44",
                          "open new type midi alias x", "open new type waveaudio",
                          "open new alias all"})
    EXPECT_FALSE(mciExecute(bad)) << bad;
  EXPECT_EQ(reports_.size(), 14u);
  EXPECT_EQ(mciOpenDevices(), std::vector<std::string>{"cap44"});

  // Two recorders cannot share the capture.
  ASSERT_TRUE(mciExecute(kRecord));
  ASSERT_TRUE(mciExecute("open new type waveaudio alias cap2"));
  EXPECT_FALSE(mciExecute("record cap2 from 0"));
  EXPECT_FALSE(mciExecute("set cap44 channels 2"));  // not while recording
  EXPECT_EQ(reports_.size(), 16u);
  EXPECT_TRUE(mciExecute(kStop));
}

TEST_F(MciRecord, FailsCleanlyWithoutAnInput) {
  OfflineConfig cfg;
  cfg.inputDevices = 0;
  configureOffline(cfg);
  ASSERT_TRUE(mciExecute(kOpenCap));
  EXPECT_FALSE(mciExecute(kRecord));
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_THAT(reports_[0], ::testing::HasSubstr("input"));
  // The device is still there and stops, saves (an empty take) and closes.
  EXPECT_TRUE(mciExecute(kStop));
  EXPECT_TRUE(mciExecute("save cap44 C:\\Vemracd\\Mysong\\T02.wav"));
  EXPECT_EQ(readBytes(host("Vemracd/Mysong/T02.wav")), wavBytes(1, {}));
  EXPECT_TRUE(mciExecute(kClose));
}

// ---- Element devices -----------------------------------------------------------------------

TEST_F(MciPlay, RendersTheRangeClampedToTheData) {
  configureOffline({});
  fs::create_directories(host("My Songs"));
  auto mono = patternSamples(44100, 1);  // 1 s
  writeWav("My Songs/T01.wav", 1, mono);
  const std::string path = "C:\\My Songs\\T01.wav";

  // 100 .. 200 ms = frames 4410 .. 8820, then nothing more.
  ASSERT_TRUE(mciExecute("play " + path + " from 100 to 200"));
  offlineRender(10000);
  std::vector<int16_t> out = output();
  ASSERT_EQ(out.size(), 20000u);
  for (size_t i = 0; i < 10000; ++i) {
    int16_t want = i < 4410 ? mono[4410 + i] : 0;
    ASSERT_EQ(out[2 * i], want) << i;
    ASSERT_EQ(out[2 * i + 1], want) << i;
  }

  // 'to' past the end plays to the end; keywords in any case, blanks anywhere.
  ASSERT_TRUE(mciExecute("  PLAY   " + path + "   FROM 900   To 5000  "));
  offlineRender(5000);
  out = output(10000);
  for (size_t i = 0; i < 5000; ++i) ASSERT_EQ(out[2 * i], i < 4410 ? mono[39690 + i] : 0) << i;

  // from >= to, or past the end: succeeds and plays nothing.
  ASSERT_TRUE(mciExecute("play " + path + " from 300 to 300"));
  ASSERT_TRUE(mciExecute("play " + path + " from 7000"));
  offlineRender(1000);
  out = output(15000);
  EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](int16_t v) { return v == 0; }));
  EXPECT_TRUE(reports_.empty());
  EXPECT_EQ(mciOpenDevices(), std::vector<std::string>{path});  // one device for the path
}

TEST_F(MciPlay, StereoReadsFromByte44WhateverTheHeaderSays) {
  configureOffline({});
  auto st = patternSamples(4410, 2);
  Bytes b = wavBytes(2, st);
  b[40] = b[41] = b[42] = b[43] = 0;  // the header claims no data
  std::ofstream(host("Vemracd/Mix.wav"), std::ios::binary)
      .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
  ASSERT_TRUE(mciExecute("Play C:\\Vemracd\\Mix.wav From 50"));  // frame 2205 on
  offlineRender(3000);
  auto out = output();
  for (size_t i = 0; i < 3000; ++i) {
    ASSERT_EQ(out[2 * i], i < 2205 ? st[2 * (2205 + i)] : 0) << i;
    ASSERT_EQ(out[2 * i + 1], i < 2205 ? st[2 * (2205 + i) + 1] : 0) << i;
  }
}

TEST_F(MciPlay, StopCloseAndCloseAll) {
  configureOffline({});
  fs::create_directories(host("My Songs"));
  writeWav("My Songs/T01.wav", 1, patternSamples(44100, 1));
  writeWav("Vemracd/Mix.wav", 2, patternSamples(44100, 2));
  const std::string solo = "C:\\My Songs\\T01.wav", mix = "C:\\Vemracd\\Mix.wav";

  ASSERT_TRUE(mciExecute("Play " + solo + " From 0"));
  offlineRender(100);
  ASSERT_TRUE(mciExecute("Stop " + solo));
  offlineRender(100);
  auto out = output(100);
  EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](int16_t v) { return v == 0; }));
  EXPECT_TRUE(mciExecute("STOP c:\\My Songs\\T01.wav "));  // already stopped: fine
  EXPECT_EQ(mciOpenDevices().size(), 1u);                  // open until "close all"

  // The file is read at play time: a changed file plays its new content.
  writeWav("My Songs/T01.wav", 1, std::vector<int16_t>(100, 5));
  ASSERT_TRUE(mciExecute("play " + solo));
  offlineRender(1);
  EXPECT_EQ(offlineOutput()[400], 5);

  // close all stops every element device and forgets it.
  ASSERT_TRUE(mciExecute("Play " + mix + " From 0"));
  ASSERT_TRUE(mciExecute(" CLOSE  ALL "));
  EXPECT_TRUE(mciOpenDevices().empty());
  offlineRender(100);
  out = output(201);
  EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](int16_t v) { return v == 0; }));

  // close by path.
  ASSERT_TRUE(mciExecute("play " + mix + " from 0 to 10"));
  EXPECT_TRUE(mciExecute("close " + mix));
  EXPECT_TRUE(mciOpenDevices().empty());
  EXPECT_TRUE(reports_.empty());

  // Stopping or closing what was never opened fails; so does playing what is not there.
  EXPECT_FALSE(mciExecute("Stop " + solo));
  EXPECT_FALSE(mciExecute("close " + solo));
  EXPECT_FALSE(mciExecute("play C:\\My Songs\\T99.wav from 0"));
  EXPECT_EQ(reports_.size(), 3u);
  EXPECT_TRUE(mciOpenDevices().empty());
}

// ---- Deletion device -----------------------------------------------------------------------

TEST_F(MciDelete, RemovesHalfOpenRangesAndSavesThroughATemporary) {
  auto mono = patternSamples(44100, 1);
  writeWav("Vemracd/Mysong/T03.wav", 1, mono);
  const std::string track = "C:\\Vemracd\\Mysong\\T03.wav", temp = "C:\\Vemracd\\Mysong\\temp";

  // The program's sequence: 10 .. 20 ms removes samples [441, 882).
  ASSERT_TRUE(mciExecute("open " + track + " alias capdel "));
  ASSERT_TRUE(mciExecute(" delete capdel From 10 to 20"));
  ASSERT_TRUE(mciExecute("stop capdel "));
  ASSERT_TRUE(mciExecute(" save capdel " + temp));
  ASSERT_TRUE(mciExecute("close capdel "));
  std::vector<int16_t> want(mono.begin(), mono.begin() + 441);
  want.insert(want.end(), mono.begin() + 882, mono.end());
  EXPECT_EQ(readBytes(host("Vemracd/Mysong/temp")), wavBytes(1, want));
  EXPECT_EQ(readBytes(host("Vemracd/Mysong/T03.wav")), wavBytes(1, mono));  // source untouched

  // Several deletions compose in the shortened sound's times; 5 ms rounds 220.5 to 220; a
  // range past the end is clamped; saving over the source itself is safe.
  ASSERT_TRUE(mciExecute("OPEN " + track + " ALIAS capdel"));
  ASSERT_TRUE(mciExecute("delete capdel from 0 to 5"));        // [0, 220)
  ASSERT_TRUE(mciExecute("delete capdel from 10 to 20"));      // [441, 882) of what is left
  ASSERT_TRUE(mciExecute("delete capdel from 900 to 99999"));  // [39690, end)
  ASSERT_TRUE(mciExecute("delete capdel from 20 to 10"));      // nothing
  ASSERT_TRUE(mciExecute("save capdel " + track));
  ASSERT_TRUE(mciExecute("close capdel"));
  std::vector<int16_t> left(mono.begin() + 220, mono.end());
  left.erase(left.begin() + 441, left.begin() + 882);
  left.resize(39690);
  EXPECT_EQ(readBytes(host("Vemracd/Mysong/T03.wav")), wavBytes(1, left));
  EXPECT_TRUE(reports_.empty());
  EXPECT_TRUE(mciOpenDevices().empty());
}

TEST_F(MciDelete, StereoCountsFramesAndRefusesBadInput) {
  auto st = patternSamples(4410, 2);
  Bytes b = wavBytes(2, st);
  b.push_back(0x7F);  // a stray byte after the last whole frame is not a frame
  std::ofstream(host("Vemracd/St.wav"), std::ios::binary)
      .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
  ASSERT_TRUE(mciExecute("open C:\\Vemracd\\St.wav alias capdel"));
  ASSERT_TRUE(mciExecute("delete capdel from 0 to 10"));
  ASSERT_TRUE(mciExecute("save capdel C:\\Vemracd\\out.wav"));
  EXPECT_EQ(readBytes(host("Vemracd/out.wav")),
            wavBytes(2, std::vector<int16_t>(st.begin() + 2 * 441, st.end())));

  for (const char* bad :
       {"open C:\\Vemracd\\Mysong\\T03.wav alias capdel",  // alias already open (checked first)
        "delete capdel 10 20", "delete capdel from x to 20", "delete capdel from 1 from 2",
        "delete nobody from 0 to 10", "save capdel", "play capdel"})
    EXPECT_FALSE(mciExecute(bad)) << bad;
  ASSERT_TRUE(mciExecute("close capdel"));
  EXPECT_FALSE(mciExecute("open C:\\Vemracd\\Mysong\\T03.wav alias capdel"));  // missing file
  EXPECT_TRUE(mciOpenDevices().empty());
  EXPECT_EQ(reports_.size(), 8u);
}

// ---- Errors ----------------------------------------------------------------------------------

TEST_F(MciErrors, ReportOnceWithOneLineAndSuccessClearsIt) {
  configureOffline({});
  std::ofstream(host("short.wav")) << "RIFF";
  for (const char* bad : {"", "   ", "frobnicate cap44", "record nobody from 0", "close",
                          "close nothing", "stop", "save", "cue", "set", "delete", "open",
                          "play", "play C:\\short.wav", "open new type waveaudio alias x\ny"}) {
    reports_.clear();
    EXPECT_FALSE(mciExecute(bad)) << bad;
    ASSERT_EQ(reports_.size(), 1u) << bad;
    EXPECT_EQ(reports_[0], mciLastError());
    EXPECT_FALSE(mciLastError().empty());
    EXPECT_EQ(mciLastError().find('\n'), std::string::npos);
  }
  EXPECT_THAT(mciLastError(), ::testing::Not(::testing::IsEmpty()));
  EXPECT_TRUE(mciExecute("close all"));
  EXPECT_EQ(mciLastError(), "");

  // The default reporter writes one line to standard error.
  setMciErrorReporter(nullptr);
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(mciExecute("stop cap44"));
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(err.rfind("MCI error: ", 0), 0u) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1);
}

TEST_F(MciRecord, ScratchDirIsTheProgramFolderElseTemp) {
  EXPECT_EQ(mciScratchDir(), hostPath("C:\\Vemracd"));
  fs::remove_all(host("Vemracd"));
  EXPECT_EQ(mciScratchDir(), fs::temp_directory_path().string());
  setMciScratchDir(host("elsewhere"));
  EXPECT_EQ(mciScratchDir(), host("elsewhere"));
}

}  // namespace

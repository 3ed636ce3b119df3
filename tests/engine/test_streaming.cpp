// The engine's runs on the offline sound device and a simulated clock: "stamped" track files
// (every sample tells its track and its place in the file) are started, streamed, stalled,
// stopped and restarted, and every output frame is compared with what the files hold at that
// second of the song. Also the start positions, the abandoned starts and the recording device.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tests/support/program_fixture.h"

namespace {

namespace fs = std::filesystem;
namespace ui = platform::ui;
namespace colour = ui::colour;
using test_support::nn;

constexpr int64_t kRate = 44100;
constexpr int32_t kBps = engine::Engine::kBytesPerSec;

// Sample j of track n's file: never 0 (silence is told apart), different at every place within
// 1021 samples and from track to track. 28 tracks on one side stay far below clipping.
int16_t stamp(int n, int64_t j) { return int16_t(1 + j % 1021 + 37 * n); }

// A track of the song as the test wrote it: how many samples its file holds after the header
// and the side it is panned to (-1 left, +1 right).
struct Track {
  int n;
  int64_t samples;
  int side;
};

// The program made but not started, on the simulated clock and the offline device.
class EngineRunTest : public test_support::ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    program = std::make_unique<app::Application>();
    form().recd->setVisible(false);  // as start-up leaves it
  }

  void configureDevices(int in, int out) { devices(in, out); }
  transport::Transport& transport() { return tp(); }

  fs::path trackPath(const std::string& name) { return song() / name; }

  // Tnn.wav with a header and `samples` stamped samples; a negative count writes an empty file.
  void writeTrack(int n, int64_t samples, const std::string& name = "") {
    const std::string own = nn(n);
    std::ofstream out(trackPath(name.empty() ? "T" + own + ".wav" : name), std::ios::binary);
    if (samples < 0) return;
    const auto h = platform::wavHeader(1, uint32_t(samples * 2));
    out.write(reinterpret_cast<const char*>(h.data()), h.size());
    std::vector<int16_t> data(static_cast<size_t>(samples));
    for (int64_t j = 0; j < samples; ++j) data[size_t(j)] = stamp(n, j);
    out.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size() * 2));
  }
  void writeTracks(const std::vector<Track>& tracks) {
    for (const Track& t : tracks) writeTrack(t.n, t.samples);
  }

  // The transport's part of a start: the playing state, then the engine's start sequence with
  // every listed track hard left or right at full volume.
  void start(const std::vector<Track>& tracks, int32_t playfrom) {
    form().PLAY->setForeColor(colour::kRed);
    form().RPSTOP->setForeColor(colour::kYellow);
    form().QUIT->setEnabled(false);
    transport().setTpmode(1);
    engine::Engine& e = eng();
    e.dsoundinit();
    e.getmixvals();
    for (int i = 0; i < 28; ++i) {
      e.trkpan[i] = 0;
      e.trkvol[i] = -10000;  // a track the test did not list stays silent
    }
    for (const Track& t : tracks) {
      e.trkpan[t.n - 1] = int16_t(t.side * 10000);
      e.trkvol[t.n - 1] = 0;
    }
    e.chktrkfiles();
    e.opentracks(trkvals_, playfrom);
    e.preloadtracks();
  }
  // STOP as the transport makes it.
  void stop() {
    form().PLAY->setForeColor(colour::kYellow);
    form().RPSTOP->setForeColor(colour::kRed);
    eng().stopdsound();
  }
  void stopAt(int64_t ms, std::function<void()> before = {}) {
    driver().post(ms, [this, before] {
      if (before) before();
      stop();
    });
  }
  // Absolute index (frames since the device was configured) of the next frame to be rendered.
  static int64_t nextFrame() {
    return platform::offlineOutputFirstFrame() + int64_t(platform::offlineOutput().size() / 2);
  }
  // Runs the loop; returns the absolute frame at which the buffers started.
  int64_t playLoop() {
    const int64_t first = nextFrame();
    eng().playloop();
    return first;
  }

  // Compares `seconds` seconds of output from absolute frame `first` with the files of
  // `tracks`: run second r plays song second `songSecond` + r, or the song second that
  // `replayed` names for it. Returns the number of frames that differ; the first difference is
  // reported.
  int64_t mismatches(const std::vector<Track>& tracks, int64_t songSecond, int64_t first,
                     int64_t seconds, const std::map<int64_t, int64_t>& replayed = {}) {
    const auto& out = platform::offlineOutput();
    const int64_t base = platform::offlineOutputFirstFrame();
    int64_t bad = 0;
    for (int64_t i = 0; i < seconds * kRate; ++i) {
      const int64_t at = first + i - base;
      if (at < 0 || size_t(2 * at + 1) >= out.size()) {
        ADD_FAILURE() << "output ends at run second " << i / kRate;
        return bad + 1;
      }
      const auto r = replayed.find(i / kRate);
      const int64_t j =
          (r != replayed.end() ? r->second : songSecond + i / kRate) * kRate + i % kRate;
      int32_t want[2] = {0, 0};
      for (const Track& t : tracks)
        if (j < t.samples) want[t.side > 0] += stamp(t.n, j);
      const int32_t got[2] = {out[size_t(2 * at)], out[size_t(2 * at + 1)]};
      if (got[0] != want[0] || got[1] != want[1]) {
        if (bad++ == 0)
          ADD_FAILURE() << "run second " << i / kRate << " frame " << i % kRate << ": got ("
                        << got[0] << ", " << got[1] << ") want (" << want[0] << ", " << want[1]
                        << ")";
      }
    }
    return bad;
  }
  // Whether every frame from absolute frame `from` to the end of the output is silent.
  static bool silentFrom(int64_t from) {
    const auto& out = platform::offlineOutput();
    for (size_t i = size_t(std::max<int64_t>(0, 2 * (from - platform::offlineOutputFirstFrame())));
         i < out.size(); ++i)
      if (out[i] != 0) return false;
    return true;
  }
  std::vector<ui::BoxRecord> boxes() const { return ui::shownBoxes(); }

  std::array<int16_t, 14> trkvals_{};
};

// ---- Streaming ------------------------------------------------------------------------------

TEST_F(EngineRunTest, StampedTracksPlayTheirFilesInStepFromTheStartSecond) {
  // Different lengths: long, ending inside a half, ending one sample into a second, header
  // only, an empty file (not even a header), missing (04), a file whose name has another
  // case (07: it does not take part), and a 96 KiB tag chunk after the sound (10: not played).
  const std::vector<Track> tracks = {{1, 12 * kRate, -1},    {2, 3 * kRate + 22050, +1},
                                     {3, 7 * kRate + 1, -1}, {5, 0, +1},
                                     {6, 0, -1},             {9, 10 * kRate, +1},
                                     {10, 4 * kRate + 3, +1}, {28, 9 * kRate + 300, -1}};
  writeTracks(tracks);
  writeTrack(6, -1);
  std::ofstream(trackPath("T10.wav"), std::ios::app | std::ios::binary) << std::string("id3 \0\x80\1\0", 8) << std::string(98304, 'x');
  writeTrack(7, 5 * kRate, "t07.WAV");
  start(tracks, 2000);  // second 2 of the song
  engine::Engine& e = eng();
  ASSERT_FALSE(e.startFailed);
  EXPECT_EQ(var("trkbufs"), "01 02 03 05 06 09 10 28");
  EXPECT_EQ(e.trkfile[3], "noF");
  EXPECT_EQ(e.trkfile[6], "noF");
  EXPECT_EQ(e.trkfile[0], "C:\\Vemracd\\Mysong\\T01.wav");
  EXPECT_EQ(platform::timerPeriodRequests(), 1);

  int32_t idx = -1, clockSecs = -1;
  transport().setElapsecs(1);  // one second before the start, as PLAY sets it
  stopAt(8500, [&] {
    idx = e.autoidx;
    clockSecs = transport().elapsecs();
  });
  const int64_t first = playLoop();
  // The loop returns right after the yield in which the run was stopped.
  EXPECT_LE(clock().now(), 8500 + 50);
  EXPECT_EQ(mismatches(tracks, 2, first, 8), 0);
  // One automation step before the start and one for each second played; the song clock
  // shows the second being played.
  EXPECT_EQ(idx, 1 + 8);
  EXPECT_EQ(clockSecs, 2 + 8);

  // The stop released everything: the output falls silent at once.
  const int64_t stopped = nextFrame();
  driver().runUntil(clock().now() + 1500);
  EXPECT_TRUE(silentFrom(stopped));
  EXPECT_EQ(var("trkbufs"), "");
  EXPECT_FALSE(e.dsound);
  EXPECT_FALSE(platform::isOpen(1));
  EXPECT_EQ(platform::timerPeriodRequests(), 0);
  EXPECT_TRUE(boxes().empty());
}

TEST_F(EngineRunTest, TwentyEightTracksStayAlignedSampleForSample) {
  std::vector<Track> tracks;
  for (int n = 1; n <= 28; ++n) tracks.push_back({n, (4 + n % 5) * kRate + 7 * n, n % 2 ? -1 : 1});
  writeTracks(tracks);
  start(tracks, 1000);
  stopAt(5200);
  const int64_t first = playLoop();
  EXPECT_EQ(mismatches(tracks, 1, first, 5), 0);
}

TEST_F(EngineRunTest, AStallSkipsTheSecondsItMissedAndTheTracksComeBackInStep) {
  const std::vector<Track> tracks = {{1, 20 * kRate, -1}, {2, 20 * kRate, +1}, {14, 20 * kRate, +1}};
  writeTracks(tracks);
  struct Case {
    int64_t at, ms;
    // Seconds whose half was already playing when the loop got control back: they sound what
    // the half last held (the song second given), never anything written while it played.
    std::map<int64_t, int64_t> lost;
  };
  const Case cases[] = {
      {1200, 700, {}},   // wakes inside the same second: nothing is lost
      {2300, 1500, {}},  // wakes at 3.8 s, before the half it refills plays
      {2600, 1500, {{4, 2}}},  // wakes at 4.1 s
      {2600, 3500, {{4, 2}, {5, 3}, {6, 2}}},  // wakes at 6.1 s
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("stall at " + std::to_string(c.at) + " for " + std::to_string(c.ms));
    const int64_t t0 = clock().now();
    start(tracks, 0);
    // The loop is held up inside a yield while the device goes on playing.
    driver().post(t0 + c.at, [this, c] { clock().advanceBy(c.ms); });
    int32_t idx = -1, clockSecs = -1;
    transport().setElapsecs(-1);
    stopAt(t0 + 9200, [&] {
      idx = eng().autoidx;
      clockSecs = transport().elapsecs();
    });
    const int64_t first = playLoop();
    EXPECT_EQ(mismatches(tracks, 0, first, 9, c.lost), 0);
    // One clock and automation step for every second, the missed ones included: the song
    // clock is back in time with the tracks.
    EXPECT_EQ(idx, 1 + 9);
    EXPECT_EQ(clockSecs, 9);
    driver().runUntil(clock().now() + 100);
  }
}

TEST_F(EngineRunTest, StopInsideAYieldEndsTheRunForGood) {
  const std::vector<Track> tracks = {{1, 10 * kRate, -1}, {2, 10 * kRate, +1}};
  writeTracks(tracks);
  start(tracks, 0);
  engine::Engine& e = eng();
  // STOP while the loop waits for second 3, then a solo playback turns PLAY red again.
  stopAt(2500, [this] { form().late->setCaption("stopped"); });
  driver().post(2501, [this] { form().PLAY->setForeColor(colour::kRed); });
  const int64_t first = playLoop();
  EXPECT_LE(clock().now(), 2550);
  EXPECT_EQ(mismatches(tracks, 0, first, 2), 0);
  // Nothing of the interrupted second ran: no automation step (the stop set the index to 0),
  // no `late` text, no refill.
  EXPECT_EQ(e.autoidx, 0);
  EXPECT_EQ(form().late->caption(), "stopped");
  const int64_t after = nextFrame();
  driver().runUntil(6000);
  EXPECT_TRUE(silentFrom(after));

  // A second stop finds nothing to release and changes nothing.
  e.stopdsound();
  EXPECT_FALSE(e.dsound);
  EXPECT_EQ(platform::timerPeriodRequests(), 0);
}

TEST_F(EngineRunTest, ARestartInsideAYieldLeavesTheOuterLoopNothingToTouch) {
  const std::vector<Track> tracks = {{1, 30 * kRate, -1}, {2, 30 * kRate, +1}};
  writeTracks(tracks);
  start(tracks, 0);
  int64_t innerFirst = -1;
  int32_t innerIdx = -1;
  std::string cueAfterPreload;
  // Fast wind while playing: release, then a whole new run from the cue offset (second 5),
  // with a loop of its own inside this yield, ended by STOP at 6000.
  driver().post(2500, [&] {
    eng().stopdsound();
    form().ffwd->setTag(std::to_string(5 * kBps));
    start(tracks, 0);
    cueAfterPreload = form().ffwd->tag();
    innerIdx = eng().autoidx;
    stopAt(6000);
    innerFirst = playLoop();
  });
  const int64_t first = playLoop();
  EXPECT_LE(clock().now(), 6050);  // the outer loop returned as soon as it got control back
  EXPECT_EQ(innerIdx, 5);
  EXPECT_EQ(cueAfterPreload, "0");
  EXPECT_EQ(mismatches(tracks, 0, first, 2), 0);
  EXPECT_EQ(mismatches(tracks, 5, innerFirst, 3), 0);
  EXPECT_EQ(eng().autoidx, 0);  // no automation step of the outer loop after the stop
  EXPECT_FALSE(eng().dsound);
}

TEST_F(EngineRunTest, ARunWithoutTracksOrWithoutADeviceStillStepsOnceASecond) {
  start({}, 0);
  ASSERT_FALSE(eng().startFailed);
  int32_t idx = -1;
  stopAt(3500, [&] { idx = eng().autoidx; });
  const int64_t first = playLoop();
  EXPECT_EQ(idx, 1 + 3);
  EXPECT_TRUE(silentFrom(first));
  EXPECT_TRUE(boxes().empty());

  // A loop given no device (nothing opened it) keeps time by the clock.
  configureDevices(1, 0);
  eng().dsoundinit();
  ASSERT_FALSE(eng().dsound);
  const int64_t t0 = clock().now();
  stopAt(t0 + 2500, [&] { idx = eng().autoidx; });
  form().PLAY->setForeColor(colour::kRed);
  eng().playloop();
  EXPECT_EQ(idx, 1 + 2);
}

// ---- Start positions ------------------------------------------------------------------------

TEST_F(EngineRunTest, OpentracksPutsEveryFileAtItsStartSecond) {
  writeTrack(1, 10);
  writeTrack(3, 10);
  engine::Engine& e = eng();
  shell::MainForm& f = form();
  struct Case {
    const char* name;
    int32_t playfrom;
    const char* pfrom;
    const char* windofs;
    bool paused;
    const char* mins;
    const char* secs;
    int64_t offset;  // byte offset (from 0) of the first sample read
    int32_t autoidx;
    int32_t startms;
  };
  const Case cases[] = {
      {"P all from 1:00", 60000, "P all", "0", false, "", "", 44 + 5'292'000, 0, 0},
      {"S all from 1:00", 60000, "S all", "0", false, "", "", 44 + 5'292'000, 60, 0},
      {"cue to 2:05", 0, "P all", "11025000", false, "", "", 11'025'044, 125, 0},
      {"cue plus start point", 3000, "P all", "441000", false, "", "", 44 + 8 * kBps, 8, 0},
      {"pause at 0:00", 60000, "P all", "441000", true, "0", "0", 88'244, 0, 1000},
      {"pause at 3:10", 0, "P all", "0", true, "3", "10", 16'758'044, 190, 190000},
      {"pause tags rounded", 0, "P all", "0", true, "1.5", "2.5", 44 + 92 * kBps, 92, 92000},
      {"555 hours in: 64-bit offsets", 2'000'000'000, "P all", "0", false, "", "",
       44 + 2'000'000LL * kBps, 0, 0},
      {"odd texts read as numbers", 0, "S all", "junk", true, "x", "-7", 88'244, 0, 1000},
      {"a negative start never reads the header", -5000, "S all", "-9", false, "", "", 44, 0,
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    e.dsoundinit();
    e.chktrkfiles();
    f.pfrom->setCaption(c.pfrom);
    f.ffwd->setTag(c.windofs);
    f.prind->setVisible(c.paused);
    f.PLAY->setTag(c.mins);
    f.Elapset->setTag(c.secs);
    trkvals_.fill(9);
    e.opentracks(trkvals_, c.playfrom);
    ASSERT_FALSE(e.startFailed);
    for (int n : {1, 3}) EXPECT_EQ(platform::seekPos(n), c.offset + 1) << n;
    EXPECT_FALSE(platform::isOpen(2));  // a missing track's number stays free
    EXPECT_EQ(e.autoidx, c.autoidx);
    EXPECT_EQ(e.startms, c.startms);
    EXPECT_FALSE(f.prind->visible());  // a continued pause is consumed
    EXPECT_EQ(trkvals_[0], 9);
    for (int i = 1; i < 14; ++i) EXPECT_EQ(trkvals_[size_t(i)], 0);
    e.stopdsound();
  }
}

// ---- Failed starts --------------------------------------------------------------------------

class EngineFailTest : public EngineRunTest {
 protected:
  // The box, and the transport back in its stopped state.
  void expectAbandoned(const std::string& mentions) {
    engine::Engine& e = eng();
    shell::MainForm& f = form();
    EXPECT_TRUE(e.startFailed);
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_EQ(boxes()[0].title,
              mentions == "T02.wav" ? "PLAYBACK NOT STARTED" : "SOUND NOT CONFIGURED");
    EXPECT_NE(boxes()[0].text.find("Playback could not start"), std::string::npos);
    EXPECT_NE(boxes()[0].text.find(mentions), std::string::npos) << boxes()[0].text;
    EXPECT_TRUE(boxes()[0].text.ends_with("Please Re-try.")) << boxes()[0].text;
    EXPECT_EQ(f.PLAY->foreColor(), colour::kYellow);
    EXPECT_EQ(f.RPSTOP->foreColor(), colour::kRed);
    EXPECT_TRUE(f.QUIT->enabled());
    EXPECT_EQ(transport().tpmode(), 0);
    EXPECT_FALSE(transport().recbusy());
    EXPECT_EQ(f.ffwd->tag(), "0");
    EXPECT_FALSE(e.dsound);
    EXPECT_EQ(var("trkbufs"), "");
    for (int n = 1; n <= 28; ++n) EXPECT_FALSE(platform::isOpen(n)) << n;
    EXPECT_EQ(platform::timerPeriodRequests(), 0);
    // The rest of the sequence does nothing: the loop returns at once, without a sound.
    const int64_t t0 = clock().now();
    e.preloadtracks();
    form().PLAY->setForeColor(colour::kRed);
    e.playloop();
    EXPECT_EQ(clock().now(), t0);
    EXPECT_EQ(boxes().size(), 1u);
  }
  // A transport that was about to play or record.
  void enterPlayingState() {
    form().ffwd->setTag("441000");
    transport().setRecbusy(true);
  }
};

TEST_F(EngineFailTest, NoOutputDeviceAbandonsTheStart) {
  writeTrack(1, 5 * kRate);
  configureDevices(1, 0);
  enterPlayingState();
  start({{1, 5 * kRate, -1}}, 0);
  expectAbandoned("no sound output");
}

TEST_F(EngineFailTest, ATrackFileThatCannotBeOpenedAbandonsTheStart) {
  writeTrack(1, 5 * kRate);
  writeTrack(2, 5 * kRate);
  platform::failOpenFor("C:\\Vemracd\\Mysong\\T02.wav");
  enterPlayingState();
  start({{1, 5 * kRate, -1}, {2, 5 * kRate, +1}}, 0);
  expectAbandoned("T02.wav");
}

// The device has 64 voices in all: a second device holds all but a few, so the engine's device
// gets its own clock voice and then only some of the buffers it asks for.
class VoiceHog {
 public:
  explicit VoiceHog(int leaveFree) : dev_(platform::SoundDevice::create()) {
    while (platform::SoundBuffer* b = dev_->createBuffer(2)) held_.push_back(b);
    for (int i = 0; i < leaveFree && !held_.empty(); ++i) {
      dev_->releaseBuffer(held_.back());
      held_.pop_back();
    }
  }

 private:
  std::unique_ptr<platform::SoundDevice> dev_;
  std::vector<platform::SoundBuffer*> held_;
};

TEST_F(EngineFailTest, ARefusedBufferDropsOnlyItsTrack) {
  const std::vector<Track> tracks = {{1, 6 * kRate, -1}, {2, 6 * kRate, +1}, {3, 6 * kRate, -1}};
  writeTracks(tracks);
  VoiceHog hog(1 + 2);  // the device's clock and two buffers
  start(tracks, 1000);
  engine::Engine& e = eng();
  ASSERT_FALSE(e.startFailed);
  EXPECT_TRUE(boxes().empty());
  EXPECT_EQ(var("trkbufs"), "01 02");
  EXPECT_EQ(e.trkfile[2], "noF");
  EXPECT_FALSE(platform::isOpen(3));
  stopAt(4200);
  const int64_t first = playLoop();
  EXPECT_EQ(mismatches({tracks[0], tracks[1]}, 1, first, 4), 0);
}

TEST_F(EngineFailTest, NoBufferForAnyTrackAbandonsTheStart) {
  writeTrack(1, 5 * kRate);
  VoiceHog hog(1);  // the device's clock only
  enterPlayingState();
  start({{1, 5 * kRate, -1}}, 0);
  expectAbandoned("refused");
}

// ---- Recording device -----------------------------------------------------------------------

TEST_F(EngineRunTest, RecordingTrack01AloneNeedsNoOutput) {
  configureDevices(1, 0);
  clock().advanceTo(10000);
  engine::Engine& e = eng();
  e.dsoundinit();
  e.getmixvals();
  e.chktrkfiles();
  EXPECT_FALSE(e.startFailed);
  EXPECT_TRUE(boxes().empty());
  e.mcirecopen();
  EXPECT_EQ(e.mcistr, "Cue cap44 input  ");
  EXPECT_EQ(e.mciret, 0);
  e.mcirecstart();
  EXPECT_EQ(e.mcistr, "record cap44 From 0 ");
  EXPECT_EQ(e.mciret, 0);
  EXPECT_EQ(e.recstartms, 10000);
  const auto devices = platform::mciOpenDevices();
  EXPECT_NE(std::find(devices.begin(), devices.end(), "cap44"), devices.end());
  EXPECT_TRUE(platform::captureOpen());
  // STOP: the engine's part releases nothing and clears the pending start.
  driver().runUntil(11000);
  e.stopdsound();
  EXPECT_EQ(e.recstartms, 0);
  EXPECT_TRUE(platform::mciExecute("stop cap44"));
  EXPECT_TRUE(platform::mciExecute("close cap44"));
}

TEST_F(EngineRunTest, TheLoopShowsOnceHowLateTheBuffersStartedAfterTheRecording) {
  const std::vector<Track> tracks = {{1, 10 * kRate, -1}};
  writeTracks(tracks);
  clock().advanceTo(10000);
  start(tracks, 0);
  eng().mcirecopen();
  eng().mcirecstart();
  clock().advanceTo(10230);
  std::string shown;
  driver().post(10500, [&] { shown = form().late->caption(); });
  stopAt(10600);
  playLoop();
  EXPECT_EQ(shown, "230ms");
  EXPECT_EQ(eng().recstartms, 0);
  platform::mciExecute("stop cap44");
  platform::mciExecute("close cap44");

  // A plain run afterwards shows no latency.
  start(tracks, 0);
  form().late->setCaption("");
  driver().post(clock().now() + 300, [&] { shown = form().late->caption(); });
  stopAt(clock().now() + 400);
  playLoop();
  EXPECT_NE(shown, "230ms");
}

}  // namespace

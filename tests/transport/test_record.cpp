// The record buttons: the recording of track 01 alone, the overdub of any other track over the
// recorded ones, what a take remembers at its start, the page of tracks 15-28, and every
// refusal. Takes are finished by the real STOP.
#include "tests/transport/transport_fixture.h"

namespace transport_test {
namespace {

using RecordTest = TransportRun;

TEST_F(RecordTest, Track01RecordsAloneUnderTheWindowTimerAndHoldsWhatWasHeard) {
  startProgram();
  ASSERT_EQ(form().R[0]->foreColor(), colour::kRed);
  form().R[0]->click();  // returns at once: no loop runs
  EXPECT_EQ(clock().now(), 0);
  EXPECT_EQ(form().Umsg->caption(),
            "      RECORDING TRACK 01 - Click STOP to stop.   Click F01 button to display "
            "waveform for editing.");
  EXPECT_EQ(form().R[0]->foreColor(), colour::kBlue);
  EXPECT_EQ(form().PLAY->foreColor(), colour::kRed);
  EXPECT_EQ(form().RPSTOP->foreColor(), colour::kYellow);
  EXPECT_FALSE(form().HLPDOC->enabled());
  EXPECT_FALSE(form().QUIT->enabled());
  EXPECT_TRUE(form().Timer1->enabled());
  EXPECT_EQ(tp().armedtrk(), 1);
  EXPECT_EQ(tp().tpmode(), 2);
  EXPECT_TRUE(tp().recbusy());
  EXPECT_EQ(wv().tkwavhide[0], 1);
  EXPECT_EQ(platform::mciOpenDevices(), std::vector<std::string>{"cap44"});
  for (auto* b : eng().trkbuf) EXPECT_EQ(b, nullptr);  // nothing plays
  EXPECT_TRUE(tp().take.active);
  EXPECT_EQ(tp().take.file, sh().tkfname[0]);
  EXPECT_EQ(tp().take.armedtrk, 1);
  EXPECT_FALSE(tp().take.stereo);
  EXPECT_EQ(tp().take.startSecond, 0);

  runFor(2500);
  EXPECT_EQ(form().Elapset->caption(), "0:0:2");
  stopAt(3000);
  runFor(500);
  finish();
  EXPECT_FALSE(tp().recbusy());
  EXPECT_FALSE(form().Timer1->enabled());
  EXPECT_EQ(readAll(track(1)), heardTake(3 * kRate));
  EXPECT_TRUE(ui::shownBoxes().empty());
}

TEST_F(RecordTest, OverdubPlaysTheRecordedTracksAtTheirPanAndVolumeAndRecordsTheInput) {
  writeTrack(1, 6 * kRate);
  writeTrack(3, 2 * kRate + 500);  // ends while the take runs
  startProgram();
  // Track 01 half left and 6 dB down, track 03 hard right.
  form().P[0]->setTag("-2500");
  form().V[0]->setTag("-600");
  form().P[2]->setTag("10000");
  form().V[2]->setTag("0");
  bool checked = false;
  at(1500, [&] {
    EXPECT_EQ(form().Umsg->caption(),
              "      RECORDING TRACK 02 - Click STOP to stop.   Click F02 button to display "
              "waveform for editing.");
    EXPECT_EQ(form().R[1]->foreColor(), colour::kBlue);
    EXPECT_EQ(tp().armedtrk(), 2);
    EXPECT_EQ(wv().tkwavhide[1], 1);
    EXPECT_TRUE(tp().recbusy());
    EXPECT_FALSE(form().Timer1->enabled());  // the loop steps the clock
    EXPECT_EQ(var("trkbufs"), "01 03");      // no buffer for the track being recorded
    EXPECT_EQ(tp().take.file, sh().tkfname[1]);
    EXPECT_EQ(tp().take.startSecond, 0);
    checked = true;
  });
  stopAt(3000);
  const int64_t first = nextFrame();
  form().R[1]->click();  // returns when STOP has ended the loop
  finish();
  ASSERT_TRUE(checked);

  const auto g1 = platform::panVolumeGain(-2500, -600);
  int64_t bad = 0;
  ASSERT_GE(nextFrame(), first + 3 * kRate);
  for (int64_t k = 0; k < 3 * kRate; ++k) {
    const float t1 = stamp(1, k);
    const float t3 = k < 2 * kRate + 500 ? stamp(3, k) : 0;
    const auto [l, r] = frame(first + k);
    if (l != mixed(t1 * g1.left) || r != mixed(t1 * g1.right + t3)) {
      if (bad++ == 0) ADD_FAILURE() << "frame " << k << ": (" << l << ", " << r << ")";
    }
  }
  EXPECT_EQ(bad, 0);
  // Silent once STOP released the tracks.
  EXPECT_EQ(frame(first + 3 * kRate + 10), std::make_pair(int16_t(0), int16_t(0)));
  EXPECT_EQ(readAll(track(2)), heardTake(3 * kRate));
  EXPECT_EQ(form().R[1]->foreColor(), colour::kBlue);
  EXPECT_TRUE(ui::shownBoxes().empty());
}

// The second at which the engine positioned the tracks that play with the take: the start
// point, plus a cue offset left by a wind, or the point of a continued pause. A start point
// changed while the take runs changes nothing of it, and STOP pads the take with exactly
// that many seconds.
TEST_F(RecordTest, ATakeRemembersTheSecondItsTracksStartedAt) {
  writeTrack(1, 4 * kRate);
  startProgram();
  struct Case {
    const char* what;
    int track;
    int32_t playfromSecs;
    const char* cue;          // ffwd's Tag
    const char* pauseSecs;    // Elapset's Tag with the pause indicator shown; nullptr: none
    int32_t second;
  };
  const Case cases[] = {
      {"start point", 2, 7, "0", nullptr, 7},
      {"start point and a cue offset of 3 s", 3, 2, "264600", nullptr, 5},
      {"a continued pause", 4, 9, "0", "4", 64},
      {"a start point before the song", 5, -3, "0", nullptr, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    tp().setStartPoint(0, 0, c.playfromSecs);
    form().ffwd->setTag(c.cue);
    if (c.pauseSecs) {
      form().prind->setVisible(true);
      form().PLAY->setTag("1");  // minutes of the pause
      form().Elapset->setTag(c.pauseSecs);
    }
    const int64_t t0 = clock().now();
    transport::Transport::Take during;
    at(t0 + 1200, [&] {
      tp().setStartPoint(0, 0, 1);  // moved while recording
      tp().setPlayfrom(1000);
      during = tp().take;
    });
    stopAt(t0 + 2000);
    form().R[c.track - 1]->click();
    finish();
    EXPECT_TRUE(during.active);
    EXPECT_EQ(during.armedtrk, c.track);
    EXPECT_EQ(during.file, sh().tkfname[c.track - 1]);
    EXPECT_EQ(during.startSecond, c.second);
    EXPECT_EQ(form().ffwd->tag(), "0");
    EXPECT_FALSE(form().prind->visible());
    // The take, behind exactly that much silence.
    const Bytes b = readAll(track(c.track));
    ASSERT_GE(b.size(), size_t(44 + c.second * 2 * kRate + 2 * 2 * kRate));
    const int64_t lead = c.second * kRate;
    int64_t bad = 0;
    for (int64_t j = 0; j < lead + 2 * kRate; ++j) {
      int16_t v;
      std::memcpy(&v, b.data() + 44 + 2 * j, 2);
      if (v != (j < lead ? 0 : heard(j - lead))) ++bad;
    }
    EXPECT_EQ(bad, 0);
  }
}

TEST_F(RecordTest, Track01AloneRemembersTheStartPointSecond) {
  startProgram();
  tp().setStartPoint(0, 1, 5);
  form().R[0]->click();
  EXPECT_EQ(tp().take.startSecond, 65);
  EXPECT_EQ(var("take"), "1 mono 65 C:\\Vemracd\\Mysong\\T01.wav");
  stopAt(1000);
  finish();
  // 65 s of silence, then the second heard.
  const Bytes b = readAll(track(1));
  EXPECT_EQ(b.size(), size_t(44 + (65 + 2) * 2 * kRate));
}

TEST_F(RecordTest, OnThePageOfTracks15To28TheRowRecordsTrackRowPlus14WithPlayback) {
  writeTrack(1, 4 * kRate);
  startProgram();
  form().t1528->click();
  ASSERT_TRUE(sh().page1528());
  stopAt(1500);
  form().R[0]->click();  // track 15: not "alone", so it plays and the loop runs
  EXPECT_EQ(tp().armedtrk(), 15);
  EXPECT_EQ(wv().tkwavhide[14], 1);
  EXPECT_GE(clock().now(), 1500 + 2300);  // returned after STOP finished the take
  finish();
  EXPECT_FALSE(form().Timer1->enabled());
  EXPECT_EQ(form().R[0]->foreColor(), colour::kBlue);
  EXPECT_EQ(readAll(track(15)), heardTake(1500 * kRate / 1000));
  EXPECT_FALSE(fs::exists(track(2)));
  // The row button of track 01's page is coloured by that page again.
  form().t0114->click();
  EXPECT_EQ(form().R[0]->foreColor(), colour::kBlue);
}

TEST_F(RecordTest, RefusalsChangeNothing) {
  startProgram();
  shell::MainForm& f = form();
  f.Umsg->setCaption("before");

  // While the master plays, or anything runs, or a take is being finished: silently nothing.
  tp().setMixplaying(true);
  f.R[0]->click();
  f.R[4]->click();
  tp().setMixplaying(false);
  f.PLAY->setForeColor(colour::kRed);
  f.R[0]->click();
  f.PLAY->setForeColor(colour::kYellow);
  ui::setInputBlocked(true);
  f.R[0]->click();
  ui::setInputBlocked(false);
  EXPECT_EQ(f.Umsg->caption(), "before");
  EXPECT_TRUE(ui::shownBoxes().empty());
  EXPECT_EQ(tp().armedtrk(), 0);
  EXPECT_FALSE(tp().recbusy());
  EXPECT_TRUE(platform::mciOpenDevices().empty());

  // Without track 01: a box; the stopped colours and QUIT are put back.
  f.RPSTOP->setForeColor(colour::kYellow);
  f.QUIT->setEnabled(false);
  f.R[4]->click();
  ASSERT_EQ(ui::shownBoxes().size(), 1u);
  EXPECT_EQ(ui::shownBoxes()[0].title, "   ");
  EXPECT_EQ(ui::shownBoxes()[0].text, " Please record T01 first.");
  EXPECT_EQ(ui::shownBoxes()[0].buttons, ui::kOkOnly);
  EXPECT_EQ(f.PLAY->foreColor(), colour::kYellow);
  EXPECT_EQ(f.RPSTOP->foreColor(), colour::kRed);
  EXPECT_TRUE(f.QUIT->enabled());
  EXPECT_EQ(f.R[4]->foreColor(), colour::kRed);
  EXPECT_EQ(wv().tkwavhide[4], 0);
  EXPECT_EQ(f.Umsg->caption(), "before");
  EXPECT_TRUE(platform::mciOpenDevices().empty());

  // A file that exists, even an empty one, is never recorded over.
  writeAll(track(1), {});
  f.R[0]->click();
  EXPECT_EQ(f.R[0]->foreColor(), colour::kBlue);
  EXPECT_EQ(f.Umsg->caption(), "TRACK 01 already recorded on. Please delete first. Ready.");
  writeTrack(9, 10);
  f.R[8]->click();
  EXPECT_EQ(f.R[8]->foreColor(), colour::kBlue);
  EXPECT_EQ(f.Umsg->caption(), "TRACK 09 already recorded on. Please delete first. Ready.");
  EXPECT_EQ(fs::file_size(track(1)), 0u);
  EXPECT_EQ(fs::file_size(track(9)), 44u + 20u);
  EXPECT_EQ(tp().armedtrk(), 0);
  EXPECT_FALSE(tp().recbusy());
  EXPECT_FALSE(tp().take.active);
  EXPECT_EQ(f.PLAY->foreColor(), colour::kYellow);
  EXPECT_TRUE(platform::mciOpenDevices().empty());
  EXPECT_EQ(ui::shownBoxes().size(), 1u);

  // Out-of-range rows and tracks: nothing.
  tp().R_Click(0);
  tp().R_Click(15);
  tp().R1528_Click(29);
  tp().R1528_Click(-1);
  EXPECT_EQ(tp().armedtrk(), 0);
}

TEST_F(RecordTest, AStartTheEngineAbandonsLeavesNoTakeAndNoOpenRecorder) {
  writeTrack(1, 2 * kRate);
  devices(1, 0);  // no output device: the overdub cannot play
  startProgram();
  form().Umsg->setCaption("before");
  form().R[1]->click();  // returns at once
  ASSERT_EQ(ui::shownBoxes().size(), 1u);
  EXPECT_EQ(form().Umsg->caption(), "before");
  EXPECT_EQ(tp().armedtrk(), 0);
  EXPECT_EQ(wv().tkwavhide[1], 0);
  EXPECT_EQ(ui::shownBoxes()[0].title, "SOUND NOT CONFIGURED");
  EXPECT_TRUE(eng().startFailed);
  EXPECT_FALSE(tp().take.active);
  EXPECT_FALSE(tp().recbusy());
  EXPECT_TRUE(platform::mciOpenDevices().empty());
  EXPECT_EQ(form().R[1]->foreColor(), colour::kRed);
  EXPECT_EQ(form().PLAY->foreColor(), colour::kYellow);
  EXPECT_EQ(form().RPSTOP->foreColor(), colour::kRed);
  EXPECT_TRUE(form().QUIT->enabled());
  EXPECT_TRUE(form().HLPDOC->enabled());
  runFor(3000);
  EXPECT_FALSE(fs::exists(track(2)));
  // Track 01 alone needs no output device.
  fs::remove(track(1));
  form().R[0]->setForeColor(colour::kRed);  // as the deletion of the track leaves it
  form().R[0]->click();
  EXPECT_TRUE(tp().take.active);
  EXPECT_TRUE(form().Timer1->enabled());
  stopAt(clock().now() + 1000);
  finish();
  EXPECT_EQ(readAll(track(1)), heardTake(kRate));
}

}  // namespace
}  // namespace transport_test

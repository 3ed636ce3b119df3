// PLAY: the start of real-time playback from the start point or a continued pause, what it
// sets, what the output carries, and its refusals.
#include "tests/transport/transport_fixture.h"

namespace transport_test {
namespace {

using PlayTest = TransportRun;

constexpr const char* kPlaying =
    "  REAL TIME MIX PLAYBACK - recorded and not muted tracks. Click on STOP to stop playback.";

// Counts the frames from absolute frame `first` that differ from tracks 01 (hard left) and
// 02 (hard right) played from song second `from`, for `seconds` seconds.
int64_t mismatches(int64_t first, int64_t from, int64_t seconds, int64_t len1, int64_t len2) {
  int64_t bad = 0;
  for (int64_t k = 0; k < seconds * kRate; ++k) {
    const int64_t j = from * kRate + k;
    const auto [l, r] = frame(first + k);
    if (l != (j < len1 ? stamp(1, j) : 0) || r != (j < len2 ? stamp(2, j) : 0)) {
      if (bad++ == 0) ADD_FAILURE() << "frame " << k << ": (" << l << ", " << r << ")";
    }
  }
  return bad;
}

TEST_F(PlayTest, PlayPlaysEveryRecordedTrackFromTheStartPoint) {
  writeTrack(1, 6 * kRate);
  writeTrack(2, 4 * kRate + 100);
  for (const char* p : {"T04.wav", "St.wav", "Mix.wav", "SP01.wav"})  // FIFOs: no track, no wait
    ASSERT_EQ(::mkfifo((song() / p).c_str(), 0644), 0);
  startProgram();
  form().P[0]->setTag("-10000");
  form().V[0]->setTag("0");
  form().P[1]->setTag("10000");
  form().V[1]->setTag("0");
  tp().setStartPoint(0, 0, 2);
  bool checked = false;
  at(500, [&] {
    EXPECT_EQ(form().Umsg->caption(), kPlaying);
    EXPECT_EQ(form().PLAY->foreColor(), colour::kRed);
    EXPECT_EQ(form().RPSTOP->foreColor(), colour::kYellow);
    EXPECT_FALSE(form().QUIT->enabled());
    EXPECT_EQ(tp().tpmode(), 1);
    EXPECT_EQ(tp().kbplay(), 1);  // also when PLAY was clicked with the mouse
    EXPECT_EQ(form().Elapset->caption(), "0:0:2");  // the first step shows the start point
    EXPECT_FALSE(tp().recbusy());
    EXPECT_TRUE(platform::mciOpenDevices().empty());
    // A second PLAY, or a record button, while it plays: nothing (not even late cleared).
    form().late->setCaption("5ms");
    form().PLAY->click();
    form().R[2]->click();
    EXPECT_EQ(form().late->caption(), "5ms");
    EXPECT_EQ(tp().armedtrk(), 0);
    checked = true;
  });
  stopAt(3000);
  const int64_t first = nextFrame();
  form().PLAY->click();  // returns when STOP has ended the loop
  ASSERT_TRUE(checked);
  EXPECT_LE(clock().now(), 3000 + 50);  // the loop notices STOP within its wait slice
  EXPECT_EQ(form().Elapset->caption(), "0:0:5");
  ASSERT_GE(nextFrame(), first + 3 * kRate);
  EXPECT_EQ(mismatches(first, 2, 3, 6 * kRate, 4 * kRate + 100), 0);
  EXPECT_EQ(tp().tpmode(), 0);
  EXPECT_FALSE(fs::exists(track(3)));
  EXPECT_TRUE(ui::shownBoxes().empty());
}

TEST_F(PlayTest, TheClockStartsOneSecondBeforeTheStartPointUnlessAPauseIsContinued) {
  writeTrack(1, 8 * kRate);
  startProgram();
  form().P[0]->setTag("-10000");
  form().V[0]->setTag("0");
  tp().setStartPoint(0, 1, 30);
  at(100, [&] {
    EXPECT_EQ(form().Elapset->caption(), "0:1:30");
    EXPECT_EQ(tp().elapmins(), 1);
    EXPECT_EQ(tp().elapsecs(), 30);
  });
  stopAt(200);
  form().PLAY->click();

  // A paused playback continued: the clock keeps what the pause left, the tracks resume at
  // the pause point (0:5), the indicator goes.
  tp().setStartPoint(0, 0, 0);
  tp().setClock(0, 0, 4);
  form().prind->setVisible(true);
  form().PLAY->setTag("0");
  form().Elapset->setTag("5");
  const int64_t t0 = clock().now();
  at(t0 + 100, [&] { EXPECT_EQ(form().Elapset->caption(), "0:0:5"); });
  stopAt(t0 + 2000);
  const int64_t first = nextFrame();
  form().PLAY->click();
  EXPECT_FALSE(form().prind->visible());
  ASSERT_GE(nextFrame(), first + 2 * kRate);
  EXPECT_EQ(mismatches(first, 5, 2, 8 * kRate, 0), 0);
}

TEST_F(PlayTest, RefusalsChangeNothingButTheLatencyText) {
  startProgram();
  shell::MainForm& f = form();
  f.Umsg->setCaption("before");
  f.late->setCaption("3ms");

  // Something runs (a solo track sets PLAY red), or a take is being finished: nothing at all.
  f.PLAY->setForeColor(colour::kRed);
  f.PLAY->click();
  f.PLAY->setForeColor(colour::kYellow);
  ui::setInputBlocked(true);
  f.PLAY->click();
  ui::setInputBlocked(false);
  EXPECT_EQ(f.late->caption(), "3ms");

  // A solo waveform or the master plays: only the latency text goes.
  wv().solowav = 1;
  f.PLAY->click();
  EXPECT_EQ(f.late->caption(), "");
  wv().solowav = 0;
  f.late->setCaption("3ms");
  tp().setMixplaying(true);
  f.PLAY->click();
  EXPECT_EQ(f.late->caption(), "");
  tp().setMixplaying(false);
  EXPECT_EQ(f.Umsg->caption(), "before");

  // No track 01 on the first page: the message line says so.
  f.PLAY->click();
  EXPECT_EQ(f.Umsg->caption(), " Please record T01 first - by clicking R01. Ready.");

  EXPECT_EQ(f.PLAY->foreColor(), colour::kYellow);
  EXPECT_EQ(f.RPSTOP->foreColor(), colour::kRed);
  EXPECT_TRUE(f.QUIT->enabled());
  EXPECT_EQ(tp().tpmode(), 0);
  EXPECT_EQ(tp().kbplay(), 0);
  EXPECT_EQ(clock().now(), 0);
  EXPECT_TRUE(ui::shownBoxes().empty());
}

// While STOP finishes a take (its waits yield, the transport already shows "stopped") neither
// PLAY nor a record button starts anything, even when called from code rather than input.
TEST_F(PlayTest, PlayAndTheRecordButtonsAreRefusedWhileATakeIsFinished) {
  startProgram();
  form().R[0]->click();  // track 01 alone
  stopAt(1000);
  bool tried = false;
  at(1500, [&] {
    ASSERT_TRUE(tp().finishing());
    ASSERT_EQ(form().PLAY->foreColor(), colour::kYellow);
    form().late->setCaption("1ms");
    tp().PLAY_Click();
    tp().R_Click(2);
    EXPECT_EQ(form().PLAY->foreColor(), colour::kYellow);
    EXPECT_EQ(form().late->caption(), "1ms");
    EXPECT_EQ(tp().armedtrk(), 1);
    tried = true;
  });
  finish();
  ASSERT_TRUE(tried);
  EXPECT_FALSE(tp().finishing());
  EXPECT_EQ(readAll(track(1)), heardTake(kRate));
  EXPECT_EQ(tp().tpmode(), 2);
  // Once the take is saved PLAY works again.
  stopAt(clock().now() + 1000);
  form().PLAY->click();
  EXPECT_EQ(tp().tpmode(), 0);
  EXPECT_EQ(tp().kbplay(), 1);
}

TEST_F(PlayTest, OnThePageOfTracks15To28ThereIsNoTrack01Test) {
  startProgram();
  // The rows show tracks 15-28 (reachable only with a track 01; R01 now shows track 15).
  form().t0114->setForeColor(colour::kBlack);
  form().t1528->setForeColor(colour::kWhite);
  stopAt(1000);
  form().PLAY->click();
  EXPECT_GE(clock().now(), 1000);
  EXPECT_EQ(form().Umsg->caption(), transport::Transport::kStoppedText);
}

TEST_F(PlayTest, AStartTheEngineAbandonsReturnsAtOnceWithTheTransportStopped) {
  writeTrack(1, kRate);
  devices(1, 0);
  startProgram();
  form().Umsg->setCaption("before");
  form().PLAY->click();
  EXPECT_EQ(clock().now(), 0);
  EXPECT_EQ(form().Umsg->caption(), "before");
  ASSERT_EQ(ui::shownBoxes().size(), 1u);
  EXPECT_EQ(ui::shownBoxes()[0].title, "SOUND NOT CONFIGURED");
  EXPECT_EQ(form().PLAY->foreColor(), colour::kYellow);
  EXPECT_EQ(form().RPSTOP->foreColor(), colour::kRed);
  EXPECT_TRUE(form().QUIT->enabled());
  EXPECT_EQ(tp().tpmode(), 0);
}

}  // namespace
}  // namespace transport_test

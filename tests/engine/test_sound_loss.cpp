// The sound system going away under a run (the offline device's simulated loss): the run ends as
// STOP ends it, a take keeps what was captured up to the loss, one "SOUND STOPPED" box says so,
// and the next PLAY plays again.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/transport/transport_fixture.h"

namespace {

using namespace transport_test;
using transport::Transport;

class SoundLossTest : public TransportRun {
 protected:
  int soundStoppedBoxes() const {
    const auto t = answers.titles();
    return int(std::count(t.begin(), t.end(), Transport::kSoundStoppedTitle));
  }
  // Samples of track n's file that are what the recorder heard, from its first sample on.
  int64_t heardSamples(int n) {
    const Bytes b = readAll(track(n));
    int64_t k = 0;
    for (size_t i = 44; i + 1 < b.size(); i += 2, ++k)
      if (int16_t(uint16_t(b[i]) | uint16_t(b[i + 1]) << 8) != heard(k)) break;
    EXPECT_EQ(int64_t(b.size()), 44 + 2 * k) << "the take holds only what was heard";
    return k;
  }
  void expectStopped() {
    EXPECT_EQ(form().PLAY->foreColor(), colour::kYellow);
    EXPECT_EQ(form().RPSTOP->foreColor(), colour::kRed);
    EXPECT_FALSE(tp().recbusy());
    EXPECT_TRUE(form().QUIT->enabled());
    EXPECT_FALSE(form().Timer1->enabled());
  }
};

// Track 01 alone (the window timer's clock notices) and an overdub of track 02 (the streaming
// loop notices): the take ends where the sound stopped.
TEST_F(SoundLossTest, ARecordingIsStoppedAndSavedUpToTheLoss) {
  struct Case { int track; int64_t lossMs; };
  for (const Case c : {Case{1, 2000}, Case{2, 2500}}) {
    SCOPED_TRACE("track " + std::to_string(c.track));
    if (c.track > 1) writeTrack(1, 10 * kRate);
    startProgram();
    const int64_t start = clock().now();
    at(start + c.lossMs, [] { platform::simulateSoundLoss(); });
    form().R[c.track - 1]->click();
    if (c.track == 1) runFor(c.lossMs + 1500);  // the timer's clock runs the recording
    runFor(3000);                              // STOP's finishing
    expectStopped();
    ASSERT_EQ(soundStoppedBoxes(), 1);
    EXPECT_EQ(answers.shown.back().text, Transport::kSoundStoppedText);
    EXPECT_EQ(answers.shown.back().buttons, ui::kOkOnly);
    // What was captured up to the loss: the frames of the whole milliseconds before it.
    const int64_t n = heardSamples(c.track);
    EXPECT_GE(n, (c.lossMs - 20) * kRate / 1000);
    EXPECT_LE(n, c.lossMs * kRate / 1000 + 1);
    EXPECT_EQ(form().R[c.track - 1]->foreColor(), colour::kBlue);
    TearDown();
    SetUp();
  }
}

TEST_F(SoundLossTest, PlaybackStopsWithOneBoxAndTheNextPlayPlays) {
  writeTrack(1, 20 * kRate);
  startProgram();
  at(1500, [] { platform::simulateSoundLoss(); });
  form().PLAY->click();  // returns once the loop has ended
  expectStopped();
  EXPECT_EQ(tp().tpmode(), 0);
  EXPECT_EQ(form().Umsg->caption(), Transport::kStoppedText);
  EXPECT_EQ(soundStoppedBoxes(), 1);
  EXPECT_LT(clock().now(), 1500 + 200) << "noticed within the loop's slices";
  runFor(2000);
  EXPECT_EQ(soundStoppedBoxes(), 1) << "one box for one loss";

  // The next run opens the sound system again: the output moves on and no box shows.
  const int64_t before = nextFrame();
  const int64_t t = clock().now();
  stopAt(t + 2000);
  form().PLAY->click();
  EXPECT_GE(nextFrame() - before, 2 * kRate - kRate / 10);
  EXPECT_EQ(soundStoppedBoxes(), 1);
  expectStopped();
  // A loss while nothing runs shows no box; the next run starts afresh.
  platform::simulateSoundLoss();
  stopAt(clock().now() + 1000);
  form().PLAY->click();
  EXPECT_EQ(soundStoppedBoxes(), 1);
}

}  // namespace

// The song clock: forward and back steps with their carries and display, the ticks that find
// the transport stopped, a held wind, a time picked on the song-position bar, the "Rec" blink
// and the window timer.
#include <limits>

#include "tests/transport/transport_fixture.h"

namespace transport_test {
namespace {

class ClockTest : public TransportRun {
 protected:
  void SetUp() override {
    TransportRun::SetUp();
    startProgram();
    form().PLAY->setForeColor(colour::kRed);  // something runs
  }
  // Steps the clock from h:m:s, forward or back, `n` times; the captions shown after each step.
  std::vector<std::string> steps(int32_t h, int32_t m, int32_t s, int n, bool back = false) {
    tp().setClock(h, m, s);
    std::vector<std::string> shown;
    for (int i = 0; i < n; ++i) {
      back ? tp().mytimesrev() : tp().mytimes();
      shown.push_back(form().Elapset->caption());
    }
    return shown;
  }
  using V = std::vector<std::string>;
};

TEST_F(ClockTest, ForwardStepsCarryOnReachingSixty) {
  EXPECT_EQ(steps(0, 0, -1, 2), (V{"0:0:0", "0:0:1"}));
  EXPECT_EQ(steps(0, 0, 58, 3), (V{"0:0:59", "0:1:0", "0:1:1"}));
  EXPECT_EQ(steps(0, 59, 58, 3), (V{"0:59:59", "1:0:0", "1:0:1"}));
  EXPECT_EQ(steps(3, 59, 59, 1), (V{"4:0:0"}));
  EXPECT_EQ(tp().lastsecs(), 0);
  EXPECT_EQ(tp().lastmins(), 0);
  EXPECT_EQ(steps(0, 12, 44, 1), (V{"0:12:45"}));
  EXPECT_EQ(tp().lastsecs(), 45);
  EXPECT_EQ(tp().lastmins(), 12);
  // Only exactly 60 carries: a counter already beyond it counts on and is shown as it is.
  EXPECT_EQ(steps(0, 2, 61, 2), (V{"0:2:62", "0:2:63"}));
  EXPECT_EQ(steps(0, 61, 5, 1), (V{"0:61:6"}));
  // Both beyond 60: nothing is written.
  form().Elapset->setCaption("x");
  EXPECT_EQ(steps(0, 70, 70, 1), (V{"x"}));
  EXPECT_EQ(tp().elapsecs(), 71);
  // The ends of the counters: no overflow, the clock stays there.
  const int32_t top = std::numeric_limits<int32_t>::max();
  steps(0, 0, top, 2);
  EXPECT_EQ(tp().elapsecs(), top);
}

TEST_F(ClockTest, BackStepsStopAtTheSongStartAndNeverTakeAnHour) {
  EXPECT_EQ(steps(0, 1, 2, 3, true), (V{"0:1:1", "0:0:59", "0:0:58"}));
  EXPECT_EQ(steps(0, 0, 1, 2, true), (V{"0:0:0", "0:0:0"}));
  EXPECT_EQ(steps(0, 0, 0, 1, true), (V{"0:0:0"}));
  EXPECT_EQ(steps(0, 5, 0, 2, true), (V{"0:4:59", "0:4:58"}));
  // The minutes stop at 0 and the hours are never decreased.
  EXPECT_EQ(steps(2, 0, 1, 2, true), (V{"2:0:59", "2:0:58"}));
  EXPECT_EQ(tp().elaphrs(), 2);
  // The back step leaves the last-step copies alone.
  steps(0, 7, 8, 1);
  steps(0, 3, 3, 1, true);
  EXPECT_EQ(tp().lastsecs(), 9);
  EXPECT_EQ(tp().lastmins(), 7);
  const int32_t bottom = std::numeric_limits<int32_t>::min();
  steps(0, bottom, bottom, 1, true);
  EXPECT_EQ(form().Elapset->caption(), "0:0:59");
}

TEST_F(ClockTest, ATickWhileStoppedTurnsTheTimerOffUnlessAWindIsHeld) {
  form().PLAY->setForeColor(colour::kYellow);
  form().Timer1->setEnabled(true);
  form().Elapset->setCaption("0:0:7");
  tp().setClock(0, 0, 7);
  tp().mytimes();
  EXPECT_FALSE(form().Timer1->enabled());
  EXPECT_EQ(tp().elapsecs(), 7);
  form().Timer1->setEnabled(true);
  tp().mytimesrev();
  EXPECT_FALSE(form().Timer1->enabled());
  EXPECT_EQ(tp().elapsecs(), 7);
  EXPECT_EQ(form().Elapset->caption(), "0:0:7");

  // A held wind steps the clock whatever the transport does, and stops the timer.
  tp().setWindflag(true);
  form().Timer1->setEnabled(true);
  tp().mytimes();
  EXPECT_EQ(form().Elapset->caption(), "0:0:8");
  EXPECT_FALSE(form().Timer1->enabled());
  tp().mytimesrev();
  tp().mytimesrev();
  EXPECT_EQ(form().Elapset->caption(), "0:0:6");
  // ... and ignores a time picked on the song-position bar.
  form().anyb->setFillColor(colour::kGreen);
  tp().mytimes();
  EXPECT_EQ(form().Elapset->caption(), "0:0:7");
  EXPECT_EQ(form().anyb->fillColor(), colour::kGreen);
}

TEST_F(ClockTest, ATimePickedOnTheSongPositionBarIsTakenByTheNextStep) {
  tp().setClock(0, 0, 40);
  tp().setPlayfrom(9000);
  form().anyb->setFillColor(colour::kGreen);
  form().anyb->setTag("17");
  form().anyp->setTag("2");
  tp().mytimes();
  EXPECT_EQ(form().Elapset->caption(), "0:2:17");
  EXPECT_EQ(form().anyb->fillColor(), colour::kRed);
  EXPECT_EQ(tp().playfrom(), 0);
  tp().mytimes();
  EXPECT_EQ(form().Elapset->caption(), "0:2:18");
  // Tags that are not plain numbers: leading number, halves to even, within range.
  form().anyb->setFillColor(colour::kGreen);
  form().anyb->setTag("3.5s");
  form().anyp->setTag("junk");
  tp().mytimes();
  EXPECT_EQ(form().Elapset->caption(), "0:0:3");  // 3.5 - 1 = 2.5 -> 2, then the step
  form().anyb->setFillColor(colour::kGreen);
  form().anyb->setTag("99999999999");
  tp().mytimes();
  EXPECT_EQ(tp().elapsecs(), std::numeric_limits<int32_t>::max());
}

TEST_F(ClockTest, TheRecIndicatorBlinksOnlyWhileRecording) {
  form().recd->setVisible(false);
  tp().mytimes();
  tp().mytimes();
  EXPECT_FALSE(form().recd->visible());
  tp().setRecbusy(true);
  std::vector<bool> shown;
  for (int i = 0; i < 4; ++i) {
    tp().mytimes();
    shown.push_back(form().recd->visible());
  }
  EXPECT_EQ(shown, (std::vector<bool>{true, false, true, false}));
  tp().mytimesrev();  // stepping back never blinks
  EXPECT_FALSE(form().recd->visible());
  tp().setRecbusy(false);
  form().recd->setVisible(true);
  tp().mytimes();
  EXPECT_TRUE(form().recd->visible());
}

TEST_F(ClockTest, TheWindowTimerStepsTheClockOnceASecond) {
  tp().setClock(0, 0, -1);
  form().Timer1->setEnabled(true);
  runFor(3500);
  EXPECT_EQ(form().Elapset->caption(), "0:0:2");
  form().PLAY->setForeColor(colour::kYellow);  // stopped: the next tick turns it off
  runFor(1000);
  EXPECT_FALSE(form().Timer1->enabled());
  EXPECT_EQ(form().Elapset->caption(), "0:0:2");
}

TEST_F(ClockTest, TheStartPointSetsTheClockOneSecondBeforeIt) {
  tp().setStartPoint(1, 2, 3);
  EXPECT_EQ(tp().playfrom(), 3'723'000);
  tp().clockToStartPoint();
  EXPECT_EQ(tp().elaphrs(), 1);
  EXPECT_EQ(tp().elapmins(), 2);
  EXPECT_EQ(tp().elapsecs(), 2);
  tp().mytimes();
  EXPECT_EQ(form().Elapset->caption(), "1:2:3");
  // A start point too far for 32-bit milliseconds saturates.
  tp().setStartPoint(1000, 0, 0);
  EXPECT_EQ(tp().playfrom(), std::numeric_limits<int32_t>::max());
}

}  // namespace
}  // namespace transport_test

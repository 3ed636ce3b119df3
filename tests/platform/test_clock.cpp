#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <string>
#include <vector>

#include "platform/clock.h"

using namespace platform;

namespace {

// Installs a simulated clock and a scripted driver for one test.
class ClockSim : public ::testing::Test {
 protected:
  void SetUp() override { setYieldDriver(&driver); }
  void TearDown() override {
    setYieldDriver(nullptr);
    setEnding(false);
  }
  SimClock clock{1000, 86400.0 - 5.0};  // five seconds before midnight
  ScriptedYield driver{clock, 10};
};

// A QCoreApplication for the real-mode waits (reused when one already exists).
class ClockReal : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!QCoreApplication::instance()) app_ = new QCoreApplication(argc_, argv_);
  }
  void TearDown() override {
    setEnding(false);
    delete app_;
  }

 private:
  static inline int argc_ = 1;
  static inline char name_[] = "platform_tests";
  static inline char* argv_[] = {name_, nullptr};
  QCoreApplication* app_ = nullptr;
};

}  // namespace

TEST_F(ClockSim, ClocksReadTheSimulatedTime) {
  EXPECT_TRUE(simulated());
  EXPECT_EQ(nowMs(), 1000);
  EXPECT_EQ(timeGetTime(), 1000u);
  EXPECT_DOUBLE_EQ(timerSeconds(), 86395.0);
  clock.advanceBy(4500);
  EXPECT_EQ(nowMs(), 5500);
  EXPECT_NEAR(timerSeconds(), 86399.5, 1e-6);
  clock.advanceBy(1000);  // past midnight the time of day starts again from 0
  EXPECT_NEAR(timerSeconds(), 0.5, 1e-6);
  clock.advanceTo(10);  // never back
  EXPECT_EQ(nowMs(), 6500);
}

TEST_F(ClockSim, TimeGetTimeWrapsAt32Bits) {
  SimClock big(int64_t{0xFFFFFFFF} - 5);
  ScriptedYield d(big);
  setYieldDriver(&d);
  uint32_t before = timeGetTime();
  big.advanceBy(10);
  uint32_t after = timeGetTime();
  EXPECT_LT(after, before);
  EXPECT_EQ(after - before, 10u);  // differences still hold across the wrap
}

TEST_F(ClockSim, TickersSeeEveryStepInOrder) {
  std::vector<std::string> seen;
  int a = clock.addTicker([&](int64_t f, int64_t t) {
    seen.push_back(std::string("a").append(std::to_string(f)).append("-").append(std::to_string(t)));
  });
  clock.addTicker([&](int64_t f, int64_t t) {
    seen.push_back(std::string("b").append(std::to_string(f)).append("-").append(std::to_string(t)));
  });
  clock.advanceTo(1003);
  clock.advanceTo(1003);  // no step, no call
  clock.removeTicker(a);
  clock.advanceBy(2);
  EXPECT_EQ(seen, (std::vector<std::string>{"a1000-1003", "b1000-1003", "b1003-1005"}));

  // A ticker that removes itself and the next one: the next one is not called any more.
  SimClock c2;
  int self = 0, next = 0, calls = 0;
  std::string big(200, 'x');  // a capture large enough to live on the heap
  self = c2.addTicker([&, big](int64_t, int64_t) {
    ++calls;
    c2.removeTicker(self);
    c2.removeTicker(next);
    EXPECT_EQ(big.size(), 200u);
  });
  next = c2.addTicker([&](int64_t, int64_t) { ADD_FAILURE() << "removed ticker called"; });
  c2.advanceBy(5);
  c2.advanceBy(5);
  EXPECT_EQ(calls, 1);
}

TEST_F(ClockSim, WaitsStepTheClockExactlyToTheirDeadline) {
  std::vector<int64_t> steps;
  clock.addTicker([&](int64_t, int64_t t) { steps.push_back(t); });
  EXPECT_TRUE(waitFor(25));  // steps of at most 10 ms, the last one cut at the deadline
  EXPECT_EQ(steps, (std::vector<int64_t>{1010, 1020, 1025}));
  steps.clear();
  doEvents();  // nothing due: one millisecond
  EXPECT_EQ(steps, (std::vector<int64_t>{1026}));
  EXPECT_TRUE(waitUntil(500));  // already past: no yield at all
  EXPECT_EQ(nowMs(), 1026);
}

TEST_F(ClockSim, ActionsRunInDueThenPostOrderAndCutSteps) {
  std::vector<std::string> log;
  auto note = [&](const char* s) {
    return [&log, s] { log.push_back(s + std::string("@") + std::to_string(nowMs())); };
  };
  driver.post(1007, note("late"));
  driver.post(1003, note("first"));
  driver.post(1003, note("second"));
  driver.post(0, note("overdue"));
  EXPECT_EQ(driver.pending(), 4u);
  EXPECT_TRUE(waitFor(20));
  EXPECT_EQ(log,
            (std::vector<std::string>{"overdue@1000", "first@1003", "second@1003", "late@1007"}));
  EXPECT_EQ(nowMs(), 1020);
  EXPECT_EQ(driver.pending(), 0u);
}

TEST_F(ClockSim, ActionsMayPostAndYieldInsideAYield) {
  std::vector<std::string> log;
  bool stop = false;
  driver.post(1005, [&] {
    log.push_back("outer-start");
    driver.post(1008, [&] {
      log.push_back("inner@" + std::to_string(nowMs()));
      driver.post(1009, [&] { stop = true; });
    });
    // A handler with its own wait: the inner action runs inside it.
    EXPECT_TRUE(waitFor(50));
    log.push_back("outer-end@" + std::to_string(nowMs()));
  });
  EXPECT_TRUE(waitUntil([&] { return stop; }));
  // The outer wait's condition became true inside the handler's wait; the handler's own wait
  // ran to its end before the outer one could see it.
  EXPECT_EQ(log, (std::vector<std::string>{"outer-start", "inner@1008", "outer-end@1055"}));
  EXPECT_EQ(nowMs(), 1055);
}

TEST_F(ClockSim, RunUntilRunsEveryActionAndReachesTheTime) {
  int ran = 0;
  driver.post(5000, [&] { ++ran; });
  driver.runUntil(1200);  // the action lies beyond: it still runs
  EXPECT_EQ(ran, 1);
  EXPECT_EQ(nowMs(), 5000);
  driver.runUntil(6000);
  EXPECT_EQ(nowMs(), 6000);
}

TEST_F(ClockSim, ConditionWaitsEndAtTheDeadline) {
  int tests = 0;
  EXPECT_FALSE(waitUntil([&] { return ++tests < 0; }, 1030));
  EXPECT_EQ(nowMs(), 1030);
  EXPECT_GE(tests, 4);
  // A condition that holds at once returns true without moving time.
  EXPECT_TRUE(waitUntil([] { return true; }, 0));
  EXPECT_EQ(nowMs(), 1030);
}

TEST_F(ClockSim, EndingStopsEveryWait) {
  driver.post(1010, [] { setEnding(true); });
  EXPECT_FALSE(waitFor(100000));
  EXPECT_EQ(nowMs(), 1010);
  EXPECT_TRUE(ending());
  EXPECT_FALSE(waitFor(10));
  EXPECT_FALSE(waitUntil([] { return true; }));
  EXPECT_EQ(nowMs(), 1010);
  setEnding(false);
  EXPECT_TRUE(waitFor(10));
}

TEST(ClockPeriod, BeginEndBalanceNeverGoesNegative) {
  int base = timerPeriodRequests();
  for (int i = 0; i < base; ++i) timeEndPeriod(1);
  EXPECT_EQ(timerPeriodRequests(), 0);
  EXPECT_EQ(timeEndPeriod(1), 0);  // an end without a begin is accepted, without effect
  EXPECT_EQ(timeBeginPeriod(1), 1);
  EXPECT_EQ(timeBeginPeriod(1), 2);
  EXPECT_EQ(timeEndPeriod(1), 1);
  EXPECT_EQ(timeEndPeriod(1), 0);
  EXPECT_EQ(timeEndPeriod(1), 0);
  EXPECT_EQ(timeBeginPeriod(1), 1);  // counted from zero again
  EXPECT_EQ(timeEndPeriod(1), 0);
}

TEST(ClockRealNoApp, WaitsSleepAtLeastTheTime) {
  if (QCoreApplication::instance()) GTEST_SKIP() << "an application object exists";
  EXPECT_FALSE(simulated());
  int64_t t0 = nowMs();
  EXPECT_TRUE(waitFor(30));
  EXPECT_GE(nowMs() - t0, 30);
  double tod = timerSeconds();
  EXPECT_GE(tod, 0.0);
  EXPECT_LT(tod, 86401.0);
  int calls = 0;
  EXPECT_FALSE(waitUntil([&] { return ++calls < 0; }, nowMs() + 10));
  EXPECT_GT(calls, 1);
}

TEST_F(ClockReal, WaitsRunTheQtEventLoop) {
  bool fired = false;
  QTimer::singleShot(5, [&] { fired = true; });
  int64_t t0 = nowMs();
  // The timer's handler runs inside the wait, and the wait sees what it did.
  EXPECT_TRUE(waitUntil([&] { return fired; }));
  EXPECT_GE(nowMs() - t0, 4);

  int ticks = 0;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
  timer.start(5);
  t0 = nowMs();
  EXPECT_TRUE(waitFor(60));
  EXPECT_GE(nowMs() - t0, 60);
  EXPECT_GE(ticks, 1);

  // doEvents runs what is already posted.
  bool posted = false;
  QMetaObject::invokeMethod(
      QCoreApplication::instance(), [&] { posted = true; }, Qt::QueuedConnection);
  doEvents();
  EXPECT_TRUE(posted);
}

TEST_F(ClockReal, EndingSetInAHandlerStopsTheWait) {
  QTimer::singleShot(10, [] { setEnding(true); });
  EXPECT_FALSE(waitFor(600000));
  EXPECT_FALSE(waitUntil([] { return false; }));
}

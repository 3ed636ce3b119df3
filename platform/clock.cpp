// Clocks and the yield/wait primitives. See clock.h for the two modes.
#include "platform/clock.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <ctime>
#include <thread>

#include "platform/shell.h"

namespace platform {
namespace {

using SteadyClock = std::chrono::steady_clock;

SteadyClock::time_point origin() {
  static const SteadyClock::time_point t = SteadyClock::now();
  return t;
}
// Fix the origin when the program is loaded, not at the first reading.
[[maybe_unused]] const bool originTaken = (origin(), true);

std::atomic<YieldDriver*> gDriver{nullptr};
std::atomic<bool> gEnding{false};
std::atomic<int> gPeriods{0};

constexpr int64_t kConditionSliceMs = 2;  // how often a condition wait re-tests its condition
constexpr int64_t kDeadlineSliceMs = 50;  // longest sleep of a deadline wait (ending is noticed)

// The Qt event loop can be used when an application object exists and we are on its thread.
bool qtLoopAvailable() {
  auto* app = QCoreApplication::instance();
  return app && QThread::currentThread() == app->thread();
}

// Real mode: sleeps (handling events when a Qt loop is available) until `wakeMs` at the latest.
void sleepUntil(int64_t wakeMs) {
  int64_t ms = wakeMs - nowMs();
  if (ms <= 0) return;
  if (qtLoopAvailable()) {
    QEventLoop loop;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(static_cast<int>(ms));
    // exec() returns -1 at once while the application is quitting; sleep the slice instead so
    // the wait does not spin.
    if (loop.exec() == 0) return;
    ms = wakeMs - nowMs();
    if (ms <= 0) return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Finished children are reaped, and their callbacks run, on the main thread only.
void pollChildrenOnMainThread() {
  if (gettid() == getpid()) pollChildren();
}

// One step of a wait that has not finished yet.
void waitStep(int64_t deadlineMs, int64_t sliceMs) {
  if (YieldDriver* d = gDriver.load()) {
    d->yield(deadlineMs);
  } else {
    int64_t now = nowMs();
    sleepUntil(deadlineMs - now > sliceMs ? now + sliceMs : deadlineMs);
  }
  pollChildrenOnMainThread();
}

}  // namespace

// ---- Clocks ------------------------------------------------------------------------------

int64_t nowMs() {
  if (YieldDriver* d = gDriver.load()) return d->clock().now();
  return std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - origin())
      .count();
}

uint32_t timeGetTime() { return static_cast<uint32_t>(static_cast<uint64_t>(nowMs())); }

double timerSeconds() {
  if (YieldDriver* d = gDriver.load()) return d->clock().timeOfDay();
  auto now = std::chrono::system_clock::now();
  std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&t, &local);
  auto frac = now - std::chrono::system_clock::from_time_t(t);
  return local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec +
         std::chrono::duration<double>(frac).count();
}

int timeBeginPeriod(unsigned) { return ++gPeriods; }

int timeEndPeriod(unsigned) {
  int n = gPeriods.load();
  while (n > 0 && !gPeriods.compare_exchange_weak(n, n - 1)) {
  }
  return n > 0 ? n - 1 : 0;
}

int timerPeriodRequests() { return gPeriods.load(); }

// ---- Yield and waits ---------------------------------------------------------------------

void doEvents() {
  if (YieldDriver* d = gDriver.load()) {
    d->yield(d->clock().now());
  } else if (qtLoopAvailable()) {
    // Deferred deletes are left to the main loop: nothing is deleted while a handler runs.
    QCoreApplication::processEvents(QEventLoop::AllEvents);
  }
  pollChildrenOnMainThread();
}

bool waitUntil(int64_t deadlineMs) {
  for (;;) {
    if (ending()) return false;
    if (nowMs() >= deadlineMs) return true;
    waitStep(deadlineMs, kDeadlineSliceMs);
  }
}

bool waitUntil(const std::function<bool()>& done, int64_t deadlineMs) {
  for (;;) {
    if (ending()) return false;
    if (done()) return true;
    if (nowMs() >= deadlineMs) return false;
    waitStep(deadlineMs, kConditionSliceMs);
  }
}

bool waitFor(int64_t ms) { return waitUntil(nowMs() + ms); }

bool ending() { return gEnding.load(); }
void setEnding(bool on) { gEnding.store(on); }

// ---- Test mode ---------------------------------------------------------------------------

// todStart_ holds the time of day at clock reading 0, so timeOfDay() needs no second field.
SimClock::SimClock(int64_t startMs, double timeOfDayAtStart)
    : now_(startMs), todStart_(timeOfDayAtStart - static_cast<double>(startMs) / 1000.0) {}

double SimClock::timeOfDay() const {
  double t = std::fmod(todStart_ + static_cast<double>(now_) / 1000.0, 86400.0);
  return t < 0 ? t + 86400.0 : t;
}

void SimClock::advanceTo(int64_t t) {
  if (t <= now_) return;
  int64_t from = now_;
  now_ = t;
  // A ticker may add or remove tickers (itself too): walk the ids present at the start, skip
  // those removed meanwhile, and call a copy so that a removal cannot destroy a running one.
  std::vector<int> ids;
  ids.reserve(tickers_.size());
  for (auto& p : tickers_) ids.push_back(p.first);
  for (int id : ids) {
    auto it = std::find_if(tickers_.begin(), tickers_.end(),
                           [id](const auto& p) { return p.first == id; });
    if (it == tickers_.end()) continue;
    Ticker fn = it->second;
    fn(from, t);
  }
}

int SimClock::addTicker(Ticker t) {
  tickers_.emplace_back(nextId_, std::move(t));
  return nextId_++;
}

void SimClock::removeTicker(int id) {
  std::erase_if(tickers_, [id](const auto& p) { return p.first == id; });
}

ScriptedYield::ScriptedYield(SimClock& clock, int64_t maxStepMs)
    : clock_(clock), maxStep_(std::max<int64_t>(1, maxStepMs)) {}

void ScriptedYield::post(int64_t dueMs, std::function<void()> action) {
  actions_.push_back({dueMs, seq_++, std::move(action)});
}

void ScriptedYield::yield(int64_t deadlineMs) {
  const int64_t now = clock_.now();
  auto earliest = std::min_element(actions_.begin(), actions_.end(), [](auto& a, auto& b) {
    return a.due != b.due ? a.due < b.due : a.seq < b.seq;
  });
  if (earliest != actions_.end() && earliest->due <= now) {
    // Take it out first: the action may post more actions or yield again.
    std::function<void()> fn = std::move(earliest->fn);
    actions_.erase(earliest);
    fn();
    return;
  }
  int64_t target = deadlineMs > now ? std::min(deadlineMs, now + maxStep_) : now + 1;
  if (earliest != actions_.end()) target = std::min(target, earliest->due);
  clock_.advanceTo(std::max(target, now + 1));
}

void ScriptedYield::runUntil(int64_t untilMs) {
  while (!actions_.empty() || clock_.now() < untilMs) {
    int64_t deadline = untilMs;
    if (clock_.now() >= untilMs) {
      // Only actions are left: head straight for the next one.
      deadline = kForever;
      for (auto& a : actions_) deadline = std::min(deadline, a.due);
    }
    yield(deadline);
  }
}

void setYieldDriver(YieldDriver* driver) { gDriver.store(driver); }
YieldDriver* yieldDriver() { return gDriver.load(); }
bool simulated() { return gDriver.load() != nullptr; }

}  // namespace platform

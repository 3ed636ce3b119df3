// Clocks, yielding to the event loop, and the waits every loop of the program uses.
//
// Real mode: the clocks are the system's monotonic clock and every wait sleeps in the Qt event
// loop (handlers run inside it) with a precise timer to wake it. Test mode: a SimClock and a
// YieldDriver are installed, time moves only when a yield moves it, and waits finish at once
// in wall time.
#pragma once
#include <cstdint>
#include <functional>
#include <limits>
#include <vector>

namespace platform {

constexpr int64_t kForever = std::numeric_limits<int64_t>::max();

// Milliseconds, 32-bit, wrapping; callers compare by difference.
uint32_t timeGetTime();
// Monotonic milliseconds since the clock's origin, 64-bit.
int64_t nowMs();
// Time of day in seconds with fractions (the program's "Timer").
double timerSeconds();
// Timer resolution requests; tolerate an end without a begin. Returns the count of open requests.
int timeBeginPeriod(unsigned ms);
int timeEndPeriod(unsigned ms);
int timerPeriodRequests();

// Runs the pending events once and returns.
void doEvents();
// Yields until nowMs() >= deadlineMs. False when the program is ending (the wait stopped early).
bool waitUntil(int64_t deadlineMs);
// Yields until done() is true or nowMs() >= deadlineMs. True when done() became true;
// false at the deadline or when the program is ending.
bool waitUntil(const std::function<bool()>& done, int64_t deadlineMs = kForever);
// Yields for ms milliseconds from now. False when ending.
bool waitFor(int64_t ms);

// The process-wide ending flag: once set, every wait and loop returns.
bool ending();
void setEnding(bool on);

// ---- Test mode -------------------------------------------------------------------------
// A simulated clock. Listeners ("tickers") are told of every step of time, in the order they
// were added, before advanceTo returns; the offline sound backend renders on them.
class SimClock {
 public:
  using Ticker = std::function<void(int64_t fromMs, int64_t toMs)>;
  explicit SimClock(int64_t startMs = 0, double timeOfDayAtStart = 36000.0);
  int64_t now() const { return now_; }
  double timeOfDay() const;
  // Moves time forward to t (never back), calling every ticker with (old, t).
  void advanceTo(int64_t t);
  void advanceBy(int64_t ms) { advanceTo(now_ + ms); }
  int addTicker(Ticker t);
  void removeTicker(int id);

 private:
  int64_t now_;
  double todStart_;
  int nextId_ = 1;
  std::vector<std::pair<int, Ticker>> tickers_;
};

// What a yield does in test mode. doEvents calls yield(now); a wait calls yield(deadline) until
// it ends. A driver must run something due or advance the clock on every call, so waits end.
class YieldDriver {
 public:
  virtual ~YieldDriver() = default;
  virtual SimClock& clock() = 0;
  virtual void yield(int64_t deadlineMs) = 0;
  // Runs `action` inside a yield once the clock has reached dueMs (window timers, child
  // completions under a test clock).
  virtual void post(int64_t dueMs, std::function<void()> action) = 0;
};

// A ready driver: actions posted with a due time run in due order inside yields; a yield with
// nothing due advances the clock to the earliest of its deadline, the next action and
// now + step (step 1 ms for doEvents, up to `maxStepMs` for waits).
class ScriptedYield : public YieldDriver {
 public:
  explicit ScriptedYield(SimClock& clock, int64_t maxStepMs = 10);
  SimClock& clock() override { return clock_; }
  void yield(int64_t deadlineMs) override;
  void post(int64_t dueMs, std::function<void()> action) override;
  size_t pending() const { return actions_.size(); }
  // Runs yields until every posted action has run and the clock reaches untilMs.
  void runUntil(int64_t untilMs);

 private:
  struct Action { int64_t due; uint64_t seq; std::function<void()> fn; };
  SimClock& clock_;
  int64_t maxStep_;
  uint64_t seq_ = 0;
  std::vector<Action> actions_;
};

// Installs a test driver (its clock becomes the program's clock); nullptr restores real mode.
void setYieldDriver(YieldDriver* driver);
YieldDriver* yieldDriver();
bool simulated();

}  // namespace platform

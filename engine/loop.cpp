// The streaming loop of a run and the release of the engine that ends it.
//
// Each buffer holds two seconds and loops. At the start its first half holds second s of the
// track and its second half second s + 1. When the device has played k seconds of the run the
// sound has just left half (k - 1) mod 2, which then receives second s + k + 1. The loop waits
// for the device's own count of played frames, so the sound card's clock sets the pace and a
// late wake-up delays nothing after it. If a wait ends so late that the device is already into
// a later second (the loop was held up in a yield), the half due for the missed second is
// being played: it is left alone, and every file is moved on by the missed second instead, so
// the tracks come back in step with the song clock at the next second.
//
// Runs are told apart by a generation that every release of the engine bumps. A loop whose run
// has been released (STOP, or a new start made inside one of its yields) does nothing more and
// returns as soon as its wait comes back.
#include <algorithm>
#include <vector>

#include "engine/engine.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/sound.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "shell/main_form.h"
#include "transport/transport.h"

namespace engine {

namespace colour = platform::ui::colour;

namespace {

constexpr int64_t kFramesPerSec = platform::kSampleRate;
// Longest single sleep of a wait: how soon a released run's loop notices and returns.
constexpr int64_t kWaitSliceMs = 50;

}  // namespace

bool Engine::runAlive(uint64_t gen) const { return gen == runGen_ && !platform::ending(); }

int64_t Engine::msToSecond(int64_t second, int64_t runStartMs) const {
  if (!dsound) return std::max<int64_t>(0, runStartMs + second * 1000 - platform::nowMs());
  const int64_t missing = second * kFramesPerSec - dsound->framesPlayed();
  return missing <= 0 ? 0 : (missing * 1000 + kFramesPerSec - 1) / kFramesPerSec;
}

int64_t Engine::secondsPlayed(int64_t runStartMs) const {
  if (!dsound) return (platform::nowMs() - runStartMs) / 1000;
  return dsound->framesPlayed() / kFramesPerSec;
}

// Sleeps in the event loop, in slices, until the run has played `second` seconds. False when
// the run ended meanwhile or the program is ending.
bool Engine::waitForSecond(int64_t second, uint64_t gen, int64_t runStartMs) {
  for (;;) {
    if (!runAlive(gen)) return false;
    // A device that went away plays no more frames: the transport ends the run.
    if (sys_.transport && sys_.transport->endIfSoundLost()) return false;
    const int64_t ms = msToSecond(second, runStartMs);
    if (ms <= 0) return true;
    if (!platform::waitUntil(platform::nowMs() + std::min(ms, kWaitSliceMs))) return false;
  }
}

void Engine::refill(bool second) {
  for (int n = 1; n <= kTracks; ++n) fillhalf(n, second);
}

void Engine::skipSecond() {
  for (int n = 1; n <= kTracks; ++n)
    if (trkfile[n - 1] != kNoFile && platform::isOpen(n))
      platform::seek(n, platform::seekPos(n) + kBytesPerSec);
}

void Engine::playloop() {
  if (startFailed || runGen_ != setupGen_) return;  // the start was abandoned or released
  const uint64_t gen = runGen_;
  shell::MainForm& f = sys_.form;

  autostep();  // the automation step of the first second
  if (!runAlive(gen)) return;
  std::vector<platform::SoundBuffer*> bufs;
  for (platform::SoundBuffer* b : trkbuf)
    if (b) bufs.push_back(b);
  if (dsound) dsound->playAll(bufs);  // all on one frame; with none, the device still counts
  periodstart = static_cast<int32_t>(platform::timeGetTime());
  const int64_t runStartMs = platform::nowMs();
  if (!f.recd->visible() && recPending_) {
    // How much later than the recording the buffers started.
    const auto lateMs = static_cast<int32_t>(static_cast<uint32_t>(periodstart) -
                                             static_cast<uint32_t>(recstartms));
    f.late->setCaption(platform::str(lateMs) + "ms");
    recstartms = 0;
    recPending_ = false;
  }

  for (int64_t k = 1;; ++k) {
    if (sys_.transport) sys_.transport->mytimes();
    if (!runAlive(gen) || !waitForSecond(k, gen, runStartMs)) return;
    periodstart = static_cast<int32_t>(platform::timeGetTime());
    autostep();
    if (!runAlive(gen)) return;
    if (secondsPlayed(runStartMs) == k)
      refill(k % 2 == 0);  // odd k: the first half has just played
    else
      skipSecond();  // already into a later second: that half is playing
    if (f.PLAY->foreColor() != colour::kRed) return;
  }
}

void Engine::stopdsound() {
  autoidx = 0;
  recstartms = 0;
  recPending_ = false;
  startms = 0;
  if (periodRequested_) {  // only a request of ours is ended
    platform::timeEndPeriod(1);
    periodRequested_ = false;
  }
  platform::closeAll();
  releaseRun();  // releasing the buffers is what silences them
  platform::closeAll();
}

}  // namespace engine

#include "platform/audio_mixer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

namespace platform::audio {

namespace {

constexpr auto kReleaseWaitLimit = std::chrono::seconds(2);

// The inner loops: written so the compiler vectorises them (separate left/right planes).
void addMono(float* __restrict l, float* __restrict r, const int16_t* __restrict s, int n,
             float gl, float gr) {
  for (int i = 0; i < n; ++i) {
    const float x = s[i];
    l[i] += x * gl;
    r[i] += x * gr;
  }
}

void addStereo(float* __restrict l, float* __restrict r, const int16_t* __restrict s, int n,
               float gl, float gr) {
  for (int i = 0; i < n; ++i) {
    l[i] += float(s[2 * i]) * gl;
    r[i] += float(s[2 * i + 1]) * gr;
  }
}

// Clamped, rounded half away from zero (branch-free, so it vectorises on plain SSE2).
inline int16_t toInt16(float x) {
  x = std::clamp(x, -32768.0f, 32767.0f);
  return int16_t(int(x + std::copysign(0.5f, x)));
}

void store(int16_t* __restrict out, const float* __restrict l, const float* __restrict r, int n) {
  for (int i = 0; i < n; ++i) {
    out[2 * i] = toInt16(l[i]);
    out[2 * i + 1] = toInt16(r[i]);
  }
}

void store(float* __restrict out, const float* __restrict l, const float* __restrict r, int n) {
  constexpr float k = 1.0f / 32768.0f;
  for (int i = 0; i < n; ++i) {
    out[2 * i] = std::clamp(l[i] * k, -1.0f, 1.0f);
    out[2 * i + 1] = std::clamp(r[i] * k, -1.0f, 1.0f);
  }
}

}  // namespace

int Mixer::acquire(const int16_t* data, int64_t frames, int channels, bool loop) {
  if (frames < 0 || (data && frames == 0) || (channels != 1 && channels != 2)) return -1;
  for (int i = 0; i < kSlots; ++i) {
    Voice& v = voices_[i];
    int expected = Free;
    if (v.state.load(std::memory_order_acquire) != Free) continue;
    v.data = data;
    v.frames = data ? frames : 0;
    v.channels = channels;
    v.loop = loop;
    v.gainL.store(1.0f, std::memory_order_relaxed);
    v.gainR.store(1.0f, std::memory_order_relaxed);
    v.armGen.store(0, std::memory_order_relaxed);
    v.start.store(kNotStarted, std::memory_order_relaxed);
    v.done.store(false, std::memory_order_relaxed);
    if (v.state.compare_exchange_strong(expected, Live, std::memory_order_release)) return i;
  }
  return -1;
}

bool Mixer::release(int slot) {
  if (!valid(slot)) return true;
  Voice& v = voices_[slot];
  if (v.state.load(std::memory_order_acquire) != Live) return true;
  // From this store on, a render that starts skips the voice (it loads the state after it has
  // made the epoch odd; both sides are sequentially consistent). A render already running may
  // still read it: wait until the epoch has moved past that render.
  v.state.store(Releasing, std::memory_order_seq_cst);
  bool clean = true;
  if (async_.load(std::memory_order_seq_cst)) {
    const uint64_t e = epoch_.load(std::memory_order_seq_cst);
    if (e & 1) {
      const auto deadline = std::chrono::steady_clock::now() + kReleaseWaitLimit;
      while (epoch_.load(std::memory_order_acquire) == e) {
        if (std::chrono::steady_clock::now() > deadline) { clean = false; break; }
        std::this_thread::sleep_for(std::chrono::microseconds(100));
      }
    }
  }
  v.data = nullptr;
  v.frames = 0;
  v.state.store(Free, std::memory_order_release);
  return clean;
}

void Mixer::setGains(int slot, float left, float right) {
  if (!valid(slot)) return;
  voices_[slot].gainL.store(left, std::memory_order_relaxed);
  voices_[slot].gainR.store(right, std::memory_order_relaxed);
}

void Mixer::startTogether(const int* slots, size_t count) {
  const uint64_t gen = nextGen_.fetch_add(1, std::memory_order_relaxed) + 1;
  bool any = false;
  for (size_t i = 0; i < count; ++i) {
    if (!valid(slots[i])) continue;
    Voice& v = voices_[slots[i]];
    if (v.state.load(std::memory_order_acquire) != Live || started(slots[i])) continue;
    v.armGen.store(gen, std::memory_order_relaxed);
    any = true;
  }
  // One release store publishes the whole group: the render sees all of it or none.
  if (any) requestGen_.store(gen, std::memory_order_release);
}

bool Mixer::started(int slot) const {
  if (!valid(slot)) return false;
  const Voice& v = voices_[slot];
  return v.armGen.load(std::memory_order_acquire) != 0 ||
         v.start.load(std::memory_order_acquire) != kNotStarted;
}

bool Mixer::finished(int slot) const {
  return valid(slot) && voices_[slot].done.load(std::memory_order_acquire);
}

int64_t Mixer::startFrame(int slot) const {
  return valid(slot) ? voices_[slot].start.load(std::memory_order_acquire) : kNotStarted;
}

void Mixer::beginStarts(int64_t frame) {
  const uint64_t gen = requestGen_.load(std::memory_order_acquire);
  if (gen == handledGen_) return;
  for (Voice& v : voices_) {
    if (v.state.load(std::memory_order_seq_cst) != Live) continue;
    const uint64_t a = v.armGen.load(std::memory_order_relaxed);
    if (a == 0 || a > gen) continue;  // a later group: its own request will follow
    v.start.store(frame, std::memory_order_release);
    v.armGen.store(0, std::memory_order_release);
  }
  handledGen_ = gen;
}

void Mixer::mixChunk(int64_t frame, int n) {
  std::fill_n(left_, n, 0.0f);
  std::fill_n(right_, n, 0.0f);
  for (Voice& v : voices_) {
    if (v.state.load(std::memory_order_seq_cst) != Live) continue;
    const int64_t start = v.start.load(std::memory_order_acquire);
    if (start == kNotStarted || !v.data || v.done.load(std::memory_order_relaxed)) continue;
    const float gl = v.gainL.load(std::memory_order_relaxed);
    const float gr = v.gainR.load(std::memory_order_relaxed);
    const bool silent = gl == 0.0f && gr == 0.0f;
    int64_t pos = frame - start;
    if (!v.loop && pos + n >= v.frames) v.done.store(true, std::memory_order_release);
    if (silent) continue;
    if (v.loop) pos %= v.frames;
    int done = 0;
    while (done < n && pos < v.frames) {
      const int take = int(std::min<int64_t>(n - done, v.frames - pos));
      if (v.channels == 1)
        addMono(left_ + done, right_ + done, v.data + pos, take, gl, gr);
      else
        addStereo(left_ + done, right_ + done, v.data + 2 * pos, take, gl, gr);
      done += take;
      pos += take;
      if (v.loop && pos == v.frames) pos = 0;
    }
  }
}

template <class Sample>
void Mixer::renderAny(Sample* out, size_t frames) {
  epoch_.fetch_add(1, std::memory_order_seq_cst);  // odd: inside
  int64_t frame = frames_.load(std::memory_order_relaxed);
  beginStarts(frame);
  while (frames > 0) {
    const int n = int(std::min<size_t>(frames, kChunk));
    mixChunk(frame, n);
    store(out, left_, right_, n);
    out += 2 * n;
    frames -= size_t(n);
    frame += n;
  }
  frames_.store(frame, std::memory_order_release);
  epoch_.fetch_add(1, std::memory_order_seq_cst);  // even: outside
}

void Mixer::render(int16_t* out, size_t frames) { renderAny(out, frames); }
void Mixer::render(float* out, size_t frames) { renderAny(out, frames); }

}  // namespace platform::audio

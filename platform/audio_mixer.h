// The mixer core behind the sound device: a fixed set of voice slots rendered to 44.1 kHz stereo.
//
// Threads: one control thread (the UI thread) acquires, starts and releases voices; one render
// thread (the audio callback, or the UI thread itself in offline mode) calls render(). The
// render path never allocates and never locks: every field it reads is an atomic or is published
// by a slot's state change.
//
// A voice is 16-bit mono or interleaved stereo. A looping voice plays its memory round and round;
// a one-shot voice plays once and then marks itself done. A voice's position is not stored: it is
// (frame - start) with the start frame the mixer assigned when the voice began, so voices started
// together stay sample-aligned for ever. A slot without data is a silent "clock" voice: its start
// frame tells how many frames the mixer has rendered since it began.
#pragma once
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <limits>

namespace platform::audio {

class Mixer {
 public:
  static constexpr int kSlots = 64;
  static constexpr int kChunk = 256;  // frames mixed per inner pass
  static constexpr int64_t kNotStarted = std::numeric_limits<int64_t>::max();

  Mixer() = default;
  Mixer(const Mixer&) = delete;
  Mixer& operator=(const Mixer&) = delete;

  // ---- control thread ----
  // A silent, stopped voice over `frames` frames of `data` (nullptr: a clock voice). Gains 1.
  // Returns the slot or -1 when all slots are in use. The memory must stay valid until release.
  int acquire(const int16_t* data, int64_t frames, int channels, bool loop);
  // Makes the voice silent for good and waits (when `renderAsync`) until no render that might
  // still read it is running. Returns false when that wait gave up (the caller must then keep
  // the memory alive). The slot is free afterwards.
  bool release(int slot);
  void setGains(int slot, float left, float right);
  // Starts the given voices on one common output frame: the first frame of the next render.
  // Voices already started or armed are left alone.
  void startTogether(const int* slots, size_t count);
  bool started(int slot) const;    // started or armed to start
  bool finished(int slot) const;   // a one-shot voice that has played to its end
  int64_t startFrame(int slot) const;  // kNotStarted until the render has begun it
  int64_t framesRendered() const { return frames_.load(std::memory_order_acquire); }
  // Whether renders run on another thread (then release() must wait for them).
  void setRenderAsync(bool on) { async_.store(on, std::memory_order_seq_cst); }

  // ---- render thread ----
  // Renders `frames` frames of interleaved stereo, clamped.
  void render(int16_t* out, size_t frames);
  void render(float* out, size_t frames);  // full scale is 1.0

 private:
  enum State : int { Free = 0, Live = 1, Releasing = 2 };
  struct Voice {
    std::atomic<int> state{Free};
    // Written by the control thread only while the slot is Free; read by the render after it
    // has seen Live.
    const int16_t* data = nullptr;
    int64_t frames = 0;
    int channels = 1;
    bool loop = true;
    std::atomic<float> gainL{1.0f}, gainR{1.0f};
    std::atomic<uint64_t> armGen{0};               // start request, 0 none
    std::atomic<int64_t> start{kNotStarted};
    std::atomic<bool> done{false};
  };

  template <class Sample> void renderAny(Sample* out, size_t frames);
  void beginStarts(int64_t frame);
  void mixChunk(int64_t frame, int n);
  bool valid(int slot) const { return slot >= 0 && slot < kSlots; }

  std::array<Voice, kSlots> voices_;
  std::atomic<uint64_t> nextGen_{0};     // control thread
  std::atomic<uint64_t> requestGen_{0};  // last start request published
  uint64_t handledGen_ = 0;              // render thread
  std::atomic<int64_t> frames_{0};
  std::atomic<uint64_t> epoch_{0};       // odd while a render runs
  std::atomic<bool> async_{false};
  alignas(64) float left_[kChunk];
  alignas(64) float right_[kChunk];
};

}  // namespace platform::audio

// The real backends (private to sound.cpp): RtAudio output and input streams at 44.1 kHz as
// the program sees them, converted with libsamplerate when the device runs at another rate.
// No RtAudio type leaves this header's implementation; nothing here throws.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/sound.h"

namespace platform::audio {

class Mixer;

// Real APIs to try, in order, for a choice (Jack/Pulse/Alsa: only that one, when compiled in).
// Auto: JACK when a server runs (never starting one), else PulseAudio when a server socket is
// there, else ALSA.
std::vector<AudioBackendKind> realCandidates(AudioBackendKind requested);
// Devices with output (or input) channels on that API; 0 on any failure.
int countDevices(AudioBackendKind api, bool input);
const char* kindName(AudioBackendKind kind);

// The one output stream: pulls the mixer from the callback thread.
class RtOutput {
 public:
  explicit RtOutput(Mixer& mixer);
  ~RtOutput();
  // Opens and starts the stream on the API's default output. False with `error` set.
  bool open(AudioBackendKind api, const std::string& clientName, std::string& error);
  void close();  // synchronous: the callback has returned for good
  // Open and running (a JACK server that went away closes the stream under us).
  bool running() const;
  long latencyFrames();
  unsigned deviceRate() const { return rate_; }

  struct Impl;

 private:
  Mixer& mixer_;
  std::unique_ptr<Impl> impl_;
  unsigned rate_ = 0;
};

// The recording input: delivers interleaved 16-bit frames at 44.1 kHz to a sink.
class RtInput {
 public:
  RtInput();
  ~RtInput();
  bool open(AudioBackendKind api, const std::string& clientName, int channels, CaptureSink sink,
            std::string& error);
  void close();  // synchronous: the sink is never called after it returns
  bool isOpen() const;
  int64_t delivered() const { return delivered_.load(std::memory_order_relaxed); }

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
  std::atomic<int64_t> delivered_{0};
};

}  // namespace platform::audio

// The real backends (private to sound.cpp): output and input streams at 44.1 kHz as the program
// sees them (JACK through clients of the program's own, the rest through RtAudio), converted
// with libsamplerate when the device runs at another rate.
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
const char* kindName(AudioBackendKind kind);

// What an API offers, examined once (every examination of a JACK server opens a client of it)
// and reused by the device counts and by the streams' choice of device.
struct DeviceTable {
  struct Device {
    unsigned id = 0;
    std::string name;
    unsigned inputs = 0, outputs = 0;
    std::vector<unsigned> rates;
    unsigned preferredRate = 0;
  };
  bool examined = false;
  std::vector<Device> devices;
  unsigned defaultInput = 0, defaultOutput = 0;
  // Devices with input (or output) channels.
  int count(bool input) const;
};
DeviceTable examineDevices(AudioBackendKind api);

// Tells a stream whose callbacks no longer come while it still counts as running (a stream
// that stopped on its own, as one whose JACK server went away, shows as not running at
// once).
class StallWatch {
 public:
  // `callbacks`: the stream's callback count now. True once it has not moved for kStallMs.
  bool stalled(uint64_t callbacks);
  void reset();
  static constexpr int64_t kStallMs = 1000;

 private:
  uint64_t last_ = 0;
  int64_t sinceMs_ = -1;
};

// Keeps a stream in step with its server's frame count. The output and the input are two
// clients of a JACK server, and a server without real-time scheduling can skip a cycle of one and
// not of the other; each stream therefore counts the frames it has handled against the frames
// the server has counted since its first callback. Once a difference has held for kSteady
// callbacks in a row (a late client's next callbacks can come early, and settle the difference
// themselves), the stream is told to make it up: the output plays on past what it missed, the
// input fills it with silence (negative: the output holds back, the input leaves frames out).
// A difference beyond `limit` (a server that stalled or started again) is taken as it stands.
class CycleKeeper {
 public:
  explicit CycleKeeper(int64_t limit = 0) : limit_(limit) {}
  // At each callback: the frame at which the server's cycle began and the callback's frames.
  // The frames to make up before the callback's own.
  int64_t makeUp(uint32_t serverFrame, unsigned frames);
  static constexpr int kSteady = 3;

 private:
  int64_t limit_;
  bool started_ = false;
  uint32_t last_ = 0;
  int64_t server_ = 0, handled_ = 0;  // frames since the first callback
  int64_t seen_ = 0;                  // the difference of the last callbacks
  int times_ = 0;                     // how many in a row
};

// The one output stream: pulls the mixer from the callback thread.
class RtOutput {
 public:
  explicit RtOutput(Mixer& mixer);
  ~RtOutput();
  // Opens and starts the stream on the API's default output. False with `error` set.
  bool open(AudioBackendKind api, const DeviceTable& devices, const std::string& clientName,
            std::string& error);
  void close();  // synchronous: the callback has returned for good
  bool isOpen() const { return impl_ != nullptr; }
  // Open and running (not once its JACK server went away).
  bool running() const;
  // Open, but stopped on its own or no longer called back (see StallWatch); once found so,
  // it stays so until closed.
  bool lost();
  long latencyFrames();
  unsigned deviceRate() const { return rate_; }

  struct Impl;

 private:
  Mixer& mixer_;
  std::unique_ptr<Impl> impl_;
  unsigned rate_ = 0;
  StallWatch watch_;
  bool stalled_ = false;  // found lost: never stopped, only closed (or left alone)
};

// The recording input: a stream of up to two channels that stays open and running; a sink
// attached to it receives interleaved 16-bit frames at 44.1 kHz from the next callback on.
class RtInput {
 public:
  static constexpr int kChannels = 2;  // what the stream asks the device for

  RtInput();
  ~RtInput();
  // Opens and starts the stream on the API's default input, with no sink.
  bool open(AudioBackendKind api, const DeviceTable& devices, const std::string& clientName,
            std::string& error);
  void close();  // synchronous: the sink is never called after it returns
  bool isOpen() const;
  bool running() const;
  bool lost();
  // The sink gets 1 channel (the device's first) or 2 (a mono device's one twice) from the
  // first callback after this returns; the delivered count starts again at 0.
  bool attach(int channels, CaptureSink sink);
  void detach();  // synchronous: the sink is never called after it returns
  bool attached() const;
  int64_t delivered() const { return delivered_.load(std::memory_order_relaxed); }

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
  std::atomic<int64_t> delivered_{0};
  StallWatch watch_;
  bool stalled_ = false;  // found lost: never stopped, only closed (or left alone)
};

}  // namespace platform::audio

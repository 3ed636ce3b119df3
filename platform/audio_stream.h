// One direction of a real stream as the backends see it (private to the platform's audio code).
#pragma once
#include <chrono>
#include <memory>
#include <string>
#include <thread>

namespace platform::audio {

// Called for every buffer of interleaved float frames (out: to fill; in: what was captured);
// RtAudio's callback shape, so that one callback serves every stream.
using StreamCallback = int (*)(void* out, void* in, unsigned frames, double time, unsigned status,
                               void* user);

// An opened and started stream.
class Stream {
 public:
  virtual ~Stream() = default;
  // Open and running: false once it stopped on its own (its server went away).
  virtual bool running() const = 0;
  // Stops and closes it; `dead`: it stopped on its own or its callbacks no longer come. False
  // when it could not be closed and must be left alone for good (its callback may still come).
  virtual bool close(bool dead) = 0;
  virtual long latency() = 0;
};

// Whether `done()` comes true within a second (asked every 5 ms): how a close waits for a stream
// that stopped on its own to say so.
template <class Done>
bool withinASecond(Done done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// What one direction asks of a device.
struct StreamRequest {
  bool input = false;
  unsigned deviceId = 0;  // RtAudio's number of the device
  std::string device;     // its name (for JACK: the client whose ports the stream connects to)
  int channels = 0;
  std::string clientName;
  StreamCallback callback = nullptr;
  void* user = nullptr;
};

#if VEMRA_HAVE_JACK
// A stream that is a JACK client of the program's own. None of its work on libjack's threads
// takes a lock or writes to stdio: libjack cancels those threads at any instruction when the
// client closes. A server that stops only marks the stream stopped; it is closed by its owner's
// thread. Null with `error` set when it cannot be opened.
std::unique_ptr<Stream> openJackStream(const StreamRequest& r, std::string& error);
// Keeps libjack's own messages away from stdio (see openJackStream); once per process.
void quietJack();
#endif

}  // namespace platform::audio

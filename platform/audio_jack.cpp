// JACK streams as clients of the program's own: ports "outport N" or "inport N" connected to
// one device's ports, interleaved frames to and from the stream's callback.
//
// libjack runs the process callback and its news (a server that shuts down) on threads of its
// own, and cancels them asynchronously when the client closes or the server goes: a thread
// cancelled while it holds a lock (stdio's, the allocator's) leaves it held for good, and one
// cancelled inside a frame that may not unwind ends the process. So on those threads nothing
// here locks, allocates or writes to stdio: the process callback moves samples, the shutdown
// news sets a flag. The stream's owner sees the flag and closes the client on its own thread,
// after which libjack's threads are gone.
#if VEMRA_HAVE_JACK
#include <jack/jack.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/audio_stream.h"

namespace platform::audio {

namespace {

constexpr unsigned kMaxFrames = 8192;  // the largest buffer a JACK server runs
constexpr int kMaxChannels = 2;

// libjack's errors go straight to the descriptor: a single write, no stdio lock.
void rawError(const char* text) {
  static const char prefix[] = "vemracd jack: ";
  iovec parts[3] = {{const_cast<char*>(prefix), sizeof prefix - 1},
                    {const_cast<char*>(text), std::strlen(text)},
                    {const_cast<char*>("\n"), 1}};
  [[maybe_unused]] ssize_t n = ::writev(STDERR_FILENO, parts, 3);
}
void noInfo(const char*) {}

class JackStream final : public Stream {
 public:
  explicit JackStream(const StreamRequest& r) : r_(r) {}
  ~JackStream() override { close(!running()); }

  bool open(std::string& error) {
    jack_status_t status{};
    client_ = jack_client_open(r_.clientName.c_str(), JackNoStartServer, &status);
    if (!client_) {
      error = "no JACK server answered";
      return false;
    }
    const unsigned long flags = r_.input ? JackPortIsInput : JackPortIsOutput;
    for (int c = 0; c < r_.channels; ++c) {
      const std::string name = (r_.input ? "inport " : "outport ") + std::to_string(c);
      jack_port_t* p = jack_port_register(client_, name.c_str(), JACK_DEFAULT_AUDIO_TYPE, flags, 0);
      if (!p) {
        error = "JACK refused the port " + name;
        return false;
      }
      ports_.push_back(p);
    }
    frames_.assign(size_t(kMaxFrames) * ports_.size(), 0.0f);
    if (jack_set_process_callback(client_, &JackStream::process, this) != 0) {
      error = "JACK refused the process callback";
      return false;
    }
    jack_on_shutdown(client_, &JackStream::shutdown, this);
    // The device's ports on the other side: its inputs for playback, its outputs for capture.
    std::vector<std::string> device;
    const char** all = jack_get_ports(client_, nullptr, JACK_DEFAULT_AUDIO_TYPE,
                                      r_.input ? JackPortIsOutput : JackPortIsInput);
    for (const char** p = all; p && *p; ++p)
      if (std::strncmp(*p, r_.device.c_str(), r_.device.size()) == 0 && (*p)[r_.device.size()] == ':')
        device.emplace_back(*p);
    if (all) jack_free(all);
    if (device.size() < ports_.size()) {
      error = "the JACK device " + r_.device + " has too few ports";
      return false;
    }
    jack_latency_range_t range{0, 0};
    jack_port_get_latency_range(jack_port_by_name(client_, device[0].c_str()),
                                r_.input ? JackCaptureLatency : JackPlaybackLatency, &range);
    latency_ = long(range.min);
    if (jack_activate(client_) != 0) {
      error = "the JACK client did not start";
      return false;
    }
    active_ = true;
    for (size_t c = 0; c < ports_.size(); ++c) {
      const char* ours = jack_port_name(ports_[c]);
      if (r_.input)
        jack_connect(client_, device[c].c_str(), ours);
      else
        jack_connect(client_, ours, device[c].c_str());
    }
    return true;
  }

  bool running() const override {
    return client_ && active_ && !gone_.load(std::memory_order_acquire);
  }

  bool close(bool dead) override {
    if (!client_) return true;
    // Callbacks that stopped coming while the server has not said it went: it may say so yet.
    // A server that neither runs the client nor lets it go would hold the close.
    if (active_ && dead && !withinASecond([this] { return gone_.load(std::memory_order_acquire); }))
      return false;
    // With the server gone, deactivating asks it nothing; closing ends libjack's threads.
    if (active_ && !gone_.load(std::memory_order_acquire)) jack_deactivate(client_);
    jack_client_close(client_);
    client_ = nullptr;
    active_ = false;
    return true;
  }

  long latency() override { return latency_; }

 private:
  static int process(jack_nframes_t n, void* arg) {
    auto* self = static_cast<JackStream*>(arg);
    const size_t ch = self->ports_.size();
    float* bufs[kMaxChannels] = {};
    for (size_t c = 0; c < ch; ++c)
      bufs[c] = static_cast<float*>(jack_port_get_buffer(self->ports_[c], n));
    if (n > kMaxFrames) {  // never seen: silence rather than a write past the buffer
      if (!self->r_.input)
        for (size_t c = 0; c < ch; ++c) std::fill_n(bufs[c], n, 0.0f);
      return 0;
    }
    float* f = self->frames_.data();
    if (self->r_.input) {
      for (jack_nframes_t i = 0; i < n; ++i)
        for (size_t c = 0; c < ch; ++c) f[i * ch + c] = bufs[c][i];
      self->r_.callback(nullptr, f, n, 0.0, 0, self->r_.user);
    } else {
      self->r_.callback(f, nullptr, n, 0.0, 0, self->r_.user);
      for (jack_nframes_t i = 0; i < n; ++i)
        for (size_t c = 0; c < ch; ++c) bufs[c][i] = f[i * ch + c];
    }
    return 0;
  }

  static void shutdown(void* arg) {
    static_cast<JackStream*>(arg)->gone_.store(true, std::memory_order_release);
  }

  StreamRequest r_;
  jack_client_t* client_ = nullptr;
  std::vector<jack_port_t*> ports_;
  std::vector<float> frames_;  // interleaved, kMaxFrames of the stream's channels
  long latency_ = 0;
  bool active_ = false;
  std::atomic<bool> gone_{false};
};

}  // namespace

void quietJack() {
  static std::once_flag once;
  std::call_once(once, [] {
    jack_set_error_function(&rawError);
    jack_set_info_function(&noInfo);
  });
}

std::unique_ptr<Stream> openJackStream(const StreamRequest& r, std::string& error) {
  if (r.channels < 1 || r.channels > kMaxChannels || !r.callback) {
    error = "no JACK channels to open";
    return nullptr;
  }
  quietJack();
  auto s = std::make_unique<JackStream>(r);
  if (s->open(error)) return s;
  return nullptr;  // the destructor closes what was opened
}

}  // namespace platform::audio
#endif

#include "platform/audio_rtaudio.h"

#include <RtAudio.h>
#if VEMRA_HAVE_JACK
#include <jack/jack.h>
#endif
#include <samplerate.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "platform/audio_mixer.h"
#include "platform/audio_stream.h"

namespace platform::audio {

namespace {

constexpr unsigned kBufferFrames = 512;
constexpr unsigned kPeriods = 3;
constexpr long kLatencyWarnFrames = 8192;
constexpr size_t kBlock = 256;      // mixer frames per resampler refill
constexpr size_t kCapture = 4096;   // capture frames per sink call at most
constexpr int64_t kInStepLimit = 2;  // seconds a stream makes up at most (see CycleKeeper)

// Never let RtAudio's JACK client start a server.
void noJackAutostart() { ::setenv("JACK_NO_START_SERVER", "1", 1); }

RtAudio::Api toApi(AudioBackendKind k) {
  switch (k) {
    case AudioBackendKind::Jack: return RtAudio::UNIX_JACK;
    case AudioBackendKind::Pulse: return RtAudio::LINUX_PULSE;
    case AudioBackendKind::Alsa: return RtAudio::LINUX_ALSA;
    default: return RtAudio::UNSPECIFIED;
  }
}

bool compiled(RtAudio::Api api) {
  std::vector<RtAudio::Api> apis;
  RtAudio::getCompiledApi(apis);
  return std::find(apis.begin(), apis.end(), api) != apis.end();
}

// JACK goes through the program's own clients where it was built with libjack, else RtAudio's.
bool jackCompiled() {
#if VEMRA_HAVE_JACK
  return true;
#else
  return compiled(RtAudio::UNIX_JACK);
#endif
}

bool exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

// A JACK server listens on a socket named after the server and the user. Connecting to it tells
// a running server from a stale file, without opening a client of the server (which costs more
// than the rest of the program's start).
bool jackServerRunning() {
  const char* env = std::getenv("JACK_DEFAULT_SERVER");
  const std::string server = env && *env ? env : "default";
  std::vector<unsigned> uids{unsigned(::geteuid())};
  if (std::getenv("JACK_PROMISCUOUS_SERVER")) uids.push_back(0);
  for (unsigned uid : uids) {
    const std::string path = "/dev/shm/jack_" + server + "_" + std::to_string(uid) + "_0";
    sockaddr_un addr{};
    if (path.size() >= sizeof addr.sun_path) continue;
    addr.sun_family = AF_UNIX;
    std::copy(path.begin(), path.end(), addr.sun_path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) continue;
    const bool up = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    if (up) return true;
  }
  return false;
}

bool pulseServerReachable() {
  const char* server = std::getenv("PULSE_SERVER");
  if (server && *server) return true;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const std::string dir =
      runtime && *runtime ? runtime : "/run/user/" + std::to_string(::getuid());
  return exists(dir + "/pulse/native") || exists("/var/run/pulse/native");
}

void onRtError(RtAudioError::Type type, const std::string& text) {
  if (type == RtAudioError::WARNING || type == RtAudioError::DEBUG_WARNING) return;
  std::fprintf(stderr, "vemracd audio: %s\n", text.c_str());
}

unsigned pickRate(const DeviceTable::Device& d) {
  const auto& r = d.rates;
  auto has = [&](unsigned rate) { return std::find(r.begin(), r.end(), rate) != r.end(); };
  if (r.empty() || has(kSampleRate)) return kSampleRate;
  if (d.preferredRate && has(d.preferredRate)) return d.preferredRate;
  if (has(48000)) return 48000;
  return r.back();
}

// How one direction of a stream will be opened.
struct Choice {
  unsigned device = 0;
  unsigned rate = kSampleRate;
  int channels = 0;
  std::string name;
};

// The default device of the direction, or the first one that has channels that way.
bool choose(const DeviceTable& table, bool input, int wantChannels, Choice& c,
            std::string& error) {
  auto channels = [input](const DeviceTable::Device& d) { return input ? d.inputs : d.outputs; };
  const DeviceTable::Device* pick = nullptr;
  const unsigned def = input ? table.defaultInput : table.defaultOutput;
  for (const auto& d : table.devices)
    if (d.id == def && channels(d) > 0) pick = &d;
  for (const auto& d : table.devices)
    if (!pick && channels(d) > 0) pick = &d;
  if (!pick) {
    error = input ? "no audio input device" : "no audio output device";
    return false;
  }
  c.device = pick->id;
  c.rate = pickRate(*pick);
  c.channels = int(std::min<unsigned>(unsigned(wantChannels), channels(*pick)));
  c.name = pick->name;
  return true;
}

StreamRequest request(bool input, const Choice& c, const std::string& clientName,
                      StreamCallback cb, void* user) {
  StreamRequest r;
  r.input = input;
  r.deviceId = c.device;
  r.device = c.name;
  r.channels = c.channels;
  r.clientName = clientName;
  r.callback = cb;
  r.user = user;
  return r;
}

// Opens and starts one direction of a stream; false with `error` set. Catches everything.
bool openOnce(RtAudio& rt, const StreamRequest& r, unsigned rate, std::string& error) {
  try {
    RtAudio::StreamParameters params;
    params.deviceId = r.deviceId;
    params.nChannels = unsigned(r.channels);
    RtAudio::StreamOptions options;
    options.numberOfBuffers = kPeriods;
    options.streamName = r.clientName;
    unsigned frames = kBufferFrames;
    rt.openStream(r.input ? nullptr : &params, r.input ? &params : nullptr, RTAUDIO_FLOAT32, rate,
                  &frames, r.callback, r.user, &options, &onRtError);
    if (!rt.isStreamOpen()) {
      error = "the audio stream did not open on " + r.device;
      return false;
    }
    rt.startStream();
    if (rt.isStreamRunning()) return true;
    error = "the audio stream did not start on " + r.device;
  } catch (const std::exception& e) {
    error = e.what();
  } catch (...) {
    error = "unknown audio error";
  }
  try {
    if (rt.isStreamOpen()) rt.closeStream();
  } catch (...) {
  }
  return false;
}

std::unique_ptr<RtAudio> makeRt(AudioBackendKind api, std::string& error) {
  noJackAutostart();
  try {
    auto rt = std::make_unique<RtAudio>(toApi(api));
    rt->showWarnings(false);
    if (rt->getCurrentApi() == toApi(api)) return rt;
    error = std::string(kindName(api)) + " is not available";
  } catch (const std::exception& e) {
    error = e.what();
  } catch (...) {
    error = "unknown audio error";
  }
  return nullptr;
}

// A stream of RtAudio's (PulseAudio, ALSA).
class RtStream final : public Stream {
 public:
  explicit RtStream(std::unique_ptr<RtAudio> rt) : rt_(std::move(rt)) {}

  bool running() const override {
    try {
      return rt_->isStreamRunning();
    } catch (...) {
      return false;
    }
  }

  // One that stopped on its own (`dead`) is never stopped here: stopping waits for callbacks
  // that will not come. One that still counts as running after a second of waiting is left.
  bool close(bool dead) override {
    try {
      if (dead) {
        if (!withinASecond([this] { return !rt_->isStreamRunning(); })) return false;
      } else if (rt_->isStreamRunning()) {
        rt_->stopStream();
      }
      if (rt_->isStreamOpen()) rt_->closeStream();
    } catch (...) {
    }
    return true;
  }

  long latency() override {
    try {
      return rt_->isStreamOpen() ? rt_->getStreamLatency() : 0;
    } catch (...) {
      return 0;
    }
  }

 private:
  std::unique_ptr<RtAudio> rt_;
};

// Opens and starts one direction on `api` at the device's `rate`; null with `error` set.
// JACK goes through a client of the program's own (see openJackStream), the rest through
// RtAudio. A loaded JACK server has been seen to turn a new client away: one more try after a
// pause.
std::unique_ptr<Stream> openStream(AudioBackendKind api, const StreamRequest& r, unsigned rate,
                                   std::string& error) {
#if VEMRA_HAVE_JACK
  if (api == AudioBackendKind::Jack) {
    if (auto s = openJackStream(r, error)) return s;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    return openJackStream(r, error);
  }
#endif
  auto rt = makeRt(api, error);
  if (!rt || !openOnce(*rt, r, rate, error)) return nullptr;
  return std::make_unique<RtStream>(std::move(rt));
}

SRC_STATE* makeResampler(int channels, std::string& error) {
  int err = 0;
  SRC_STATE* s = src_new(SRC_SINC_FASTEST, channels, &err);
  if (!s) error = std::string("sample-rate converter: ") + src_strerror(err);
  return s;
}

// Waits (bounded) until a callback that was inside at the time has left.
void waitOutside(const std::atomic<uint64_t>& epoch) {
  const uint64_t e = epoch.load(std::memory_order_seq_cst);
  if (!(e & 1)) return;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (epoch.load(std::memory_order_acquire) == e && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::microseconds(100));
}

#if VEMRA_HAVE_JACK
// The program's own client of the JACK server: it examines the server, and the streams' callbacks
// read the server's frame count through it (RtAudio keeps its clients to itself). It stays open
// while its server runs, and is closed only once that server has gone: libjack can leave a lock
// held for good when a client closes while the server still sends it news (of another client
// that opens or closes, say), after which no client of the process opens or closes again.
class ServerClock {
 public:
  // A client of the running server, or null (UI or examining thread).
  jack_client_t* client() {
    std::lock_guard<std::mutex> g(mu_);
    jack_client_t* c = client_.load(std::memory_order_acquire);
    if (c && alive_.load(std::memory_order_acquire)) return c;
    if (c) {
      client_.store(nullptr, std::memory_order_release);
      jack_client_close(c);  // its server is gone: nothing more comes to it
    }
    quietJack();
    jack_status_t status{};
    c = jack_client_open("vemracd-probe", JackNoStartServer, &status);
    if (!c) return nullptr;
    alive_.store(true, std::memory_order_release);
    jack_on_shutdown(c, &ServerClock::gone, this);
    client_.store(c, std::memory_order_release);
    return c;
  }
  // The frame at which the server's current cycle began; false while there is no server to ask.
  bool cycleStart(uint32_t& frame) const {
    jack_client_t* c = client_.load(std::memory_order_acquire);
    if (!c || !alive_.load(std::memory_order_acquire)) return false;
    frame = jack_last_frame_time(c);
    return true;
  }

 private:
  static void gone(void* self) {
    static_cast<ServerClock*>(self)->alive_.store(false, std::memory_order_release);
  }
  std::mutex mu_;
  std::atomic<jack_client_t*> client_{nullptr};
  std::atomic<bool> alive_{false};
};

ServerClock& serverClock() {
  static ServerClock* clock = new ServerClock;  // callbacks may outlive static destruction
  return *clock;
}
#endif

// Whether a stream of `api` keeps to its server's frame count (JACK only).
bool keepsToServer(AudioBackendKind api) {
#if VEMRA_HAVE_JACK
  return api == AudioBackendKind::Jack && serverClock().client() != nullptr;
#else
  (void)api;
  return false;
#endif
}

// From a callback: the frames to make up before its own, when its server's count can be read.
int64_t keepInStep(bool clocked, CycleKeeper& keeper, unsigned frames) {
#if VEMRA_HAVE_JACK
  uint32_t at = 0;
  if (clocked && serverClock().cycleStart(at)) return keeper.makeUp(at, frames);
#else
  (void)clocked, (void)keeper, (void)frames;
#endif
  return 0;
}

}  // namespace

int64_t CycleKeeper::makeUp(uint32_t serverFrame, unsigned frames) {
  int64_t fix = 0;
  if (!started_) {
    started_ = true;
  } else {
    server_ += int32_t(serverFrame - last_);  // the count wraps at 2^32 frames
    const int64_t d = server_ - handled_;
    if (d != seen_) times_ = 0;
    seen_ = d;
    if (d > limit_ || d < -limit_) {
      handled_ = server_;
      seen_ = 0;
    } else if (d != 0 && ++times_ >= kSteady) {
      fix = d;
      handled_ += d;
      seen_ = 0;
      times_ = 0;
    }
  }
  last_ = serverFrame;
  handled_ += frames;
  return fix;
}

const char* kindName(AudioBackendKind kind) {
  switch (kind) {
    case AudioBackendKind::Offline: return "offline";
    case AudioBackendKind::Jack: return "jack";
    case AudioBackendKind::Pulse: return "pulse";
    case AudioBackendKind::Alsa: return "alsa";
    default: return "auto";
  }
}

std::vector<AudioBackendKind> realCandidates(AudioBackendKind requested) {
  noJackAutostart();
  std::vector<AudioBackendKind> out;
  try {
    if (requested != AudioBackendKind::Auto) {
      if (requested != AudioBackendKind::Offline &&
          (requested == AudioBackendKind::Jack ? jackCompiled() : compiled(toApi(requested))))
        out.push_back(requested);
      return out;
    }
    if (jackCompiled() && jackServerRunning()) out.push_back(AudioBackendKind::Jack);
    if (compiled(RtAudio::LINUX_PULSE) && pulseServerReachable())
      out.push_back(AudioBackendKind::Pulse);
    if (compiled(RtAudio::LINUX_ALSA)) out.push_back(AudioBackendKind::Alsa);
  } catch (...) {
  }
  return out;
}

int DeviceTable::count(bool input) const {
  return int(std::count_if(devices.begin(), devices.end(),
                           [input](const Device& d) { return (input ? d.inputs : d.outputs) > 0; }));
}

#if VEMRA_HAVE_JACK
// A JACK server's devices as RtAudio numbers them (the runs of ports that share a client name,
// in the server's port order; a port that takes sound is an output channel), examined with the
// program's own client where RtAudio's own examination opens one per device and per question.
DeviceTable examineJack() {
  DeviceTable t;
  jack_client_t* client = serverClock().client();
  if (!client) return t;
  const unsigned rate = jack_get_sample_rate(client);
  if (const char** ports = jack_get_ports(client, nullptr, JACK_DEFAULT_AUDIO_TYPE, 0)) {
    std::string previous;
    for (const char** p = ports; *p; ++p) {
      const std::string name = *p;
      const size_t colon = name.find(':');
      if (colon == std::string::npos) continue;
      const std::string device = name.substr(0, colon);
      if (t.devices.empty() || device != previous) {
        t.devices.push_back({unsigned(t.devices.size()), device, 0, 0, {rate}, rate});
        previous = device;
      }
      const int flags = jack_port_flags(jack_port_by_name(client, *p));
      if (flags & JackPortIsInput) ++t.devices.back().outputs;
      if (flags & JackPortIsOutput) ++t.devices.back().inputs;
    }
    jack_free(ports);
  }
  t.examined = true;  // JACK has no default devices: the first one with channels serves
  return t;
}
#endif

DeviceTable examineDevices(AudioBackendKind api) {
#if VEMRA_HAVE_JACK
  if (api == AudioBackendKind::Jack) return examineJack();
#endif
  DeviceTable t;
  std::string ignored;
  auto rt = makeRt(api, ignored);
  if (!rt) return t;
  try {
    const unsigned count = rt->getDeviceCount();
    for (unsigned id = 0; id < count; ++id) {
      const RtAudio::DeviceInfo info = rt->getDeviceInfo(id);
      if (!info.probed) continue;
      t.devices.push_back({id, info.name, info.inputChannels, info.outputChannels,
                           info.sampleRates, info.preferredSampleRate});
      // From the examination itself: RtAudio's own default look-ups examine every device again.
      if (info.isDefaultInput) t.defaultInput = id;
      if (info.isDefaultOutput) t.defaultOutput = id;
    }
    t.examined = true;
  } catch (...) {
    t.devices.clear();
  }
  return t;
}

bool StallWatch::stalled(uint64_t callbacks) {
  const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::steady_clock::now().time_since_epoch())
                       .count();
  if (sinceMs_ < 0 || callbacks != last_) {
    last_ = callbacks;
    sinceMs_ = now;
    return false;
  }
  return now - sinceMs_ >= kStallMs;
}

void StallWatch::reset() { sinceMs_ = -1; }

// ---- Output ----------------------------------------------------------------------------------

struct RtOutput::Impl {
  std::unique_ptr<Stream> stream;
  Mixer* mixer = nullptr;
  int channels = 2;
  SRC_STATE* src = nullptr;
  double ratio = 1.0;
  float mix[kBlock * 2] = {};
  size_t mixPos = 0, mixLeft = 0;
  float stereo[kBlock * 2] = {};
  std::atomic<uint64_t> calls{0};
  std::atomic<bool> abandoned{false};  // left to a stream that could not be closed
  bool clocked = false;                // keeps to the server's count (see CycleKeeper)
  CycleKeeper keeper;
  int64_t holdBack = 0;                // frames of silence still owed to the server's count

  ~Impl() {
    if (src) src_delete(src);
  }

  // Fills `frames` stereo frames at the device rate.
  void pull(float* out, size_t frames) {
    if (!src) {
      mixer->render(out, frames);
      return;
    }
    while (frames > 0) {
      if (mixLeft == 0) {
        mixer->render(mix, kBlock);
        mixPos = 0;
        mixLeft = kBlock;
      }
      SRC_DATA d{};
      d.data_in = mix + 2 * mixPos;
      d.input_frames = long(mixLeft);
      d.data_out = out;
      d.output_frames = long(frames);
      d.src_ratio = ratio;
      if (src_process(src, &d) != 0 || (d.input_frames_used == 0 && d.output_frames_gen == 0)) {
        std::fill_n(out, 2 * frames, 0.0f);
        return;
      }
      mixPos += size_t(d.input_frames_used);
      mixLeft -= size_t(d.input_frames_used);
      out += 2 * d.output_frames_gen;
      frames -= size_t(d.output_frames_gen);
    }
  }

  static int callback(void* out, void*, unsigned frames, double, RtAudioStreamStatus,
                      void* user) {
    auto* self = static_cast<Impl*>(user);
    self->calls.fetch_add(1, std::memory_order_relaxed);
    float* o = static_cast<float*>(out);
    if (self->abandoned.load(std::memory_order_acquire)) {
      std::fill_n(o, size_t(frames) * size_t(self->channels), 0.0f);
      return 0;
    }
    const int64_t fix = keepInStep(self->clocked, self->keeper, frames);
    // Cycles the server went through without this stream are played past, unheard.
    for (int64_t left = fix; left > 0; left -= int64_t(kBlock))
      self->pull(self->stereo, size_t(std::min<int64_t>(left, int64_t(kBlock))));
    self->holdBack += std::max<int64_t>(0, -fix);
    if (self->holdBack > 0) {  // cycles it got twice are given silence
      const unsigned n = unsigned(std::min<int64_t>(self->holdBack, frames));
      std::fill_n(o, size_t(n) * size_t(self->channels), 0.0f);
      self->holdBack -= n;
      o += size_t(n) * size_t(self->channels);
      frames -= n;
    }
    if (self->channels == 2) {
      self->pull(o, frames);
      return 0;
    }
    while (frames > 0) {  // a mono device hears the average of both sides
      const size_t n = std::min<size_t>(frames, kBlock);
      self->pull(self->stereo, n);
      for (size_t i = 0; i < n; ++i) o[i] = 0.5f * (self->stereo[2 * i] + self->stereo[2 * i + 1]);
      o += n;
      frames -= unsigned(n);
    }
    return 0;
  }
};

RtOutput::RtOutput(Mixer& mixer) : mixer_(mixer) {}
RtOutput::~RtOutput() { close(); }

bool RtOutput::open(AudioBackendKind api, const DeviceTable& devices,
                    const std::string& clientName, std::string& error) {
  close();
  auto impl = std::make_unique<Impl>();
  impl->mixer = &mixer_;
  Choice c;
  if (!choose(devices, false, 2, c, error)) return false;
  impl->channels = c.channels;
  if (c.rate != unsigned(kSampleRate)) {
    impl->src = makeResampler(2, error);
    if (!impl->src) return false;
    impl->ratio = double(c.rate) / kSampleRate;
  }
  impl->keeper = CycleKeeper(kInStepLimit * c.rate);
  impl->clocked = keepsToServer(api);
  // Renders run on the callback thread from the first callback on: releases must wait for them.
  mixer_.setRenderAsync(true);
  impl->stream = openStream(api, request(false, c, clientName, &Impl::callback, impl.get()),
                            c.rate, error);
  if (!impl->stream) {
    mixer_.setRenderAsync(false);
    return false;
  }
  rate_ = c.rate;
  impl_ = std::move(impl);
  watch_.reset();
  stalled_ = false;
  const long latency = latencyFrames();
  if (latency > kLatencyWarnFrames)
    std::fprintf(stderr, "vemracd audio: output latency is high (%ld frames at %u Hz)\n", latency,
                 rate_);
  return true;
}

void RtOutput::close() {
  if (!impl_) return;
  if (!impl_->stream->close(stalled_ || !running())) {
    // A stream that neither runs on nor closes: its callback no longer touches the mixer, and
    // its memory is never freed under it.
    impl_->abandoned.store(true, std::memory_order_release);
    (void)impl_.release();
  }
  mixer_.setRenderAsync(false);
  impl_.reset();
  rate_ = 0;
}

bool RtOutput::running() const { return impl_ && impl_->stream->running(); }

bool RtOutput::lost() {
  if (!impl_) return false;
  if (!running() || watch_.stalled(impl_->calls.load(std::memory_order_relaxed))) stalled_ = true;
  return stalled_;
}

long RtOutput::latencyFrames() {
  return impl_ ? impl_->stream->latency() : 0;
}

// ---- Input ----------------------------------------------------------------------------------

struct RtInput::Impl {
  std::unique_ptr<Stream> stream;
  int channels = 1;  // channels the device delivers
  SRC_STATE* src = nullptr;
  double ratio = 1.0;
  std::vector<float> resampled;  // kCapture frames of `channels`
  int16_t frames[kCapture * kChannels] = {};
  // The attached sink: written by the UI thread only while `active` is false and no callback
  // is inside (detach waits for that), read by the callback only while `active` is true.
  CaptureSink sink;
  int want = 1;  // channels the sink gets
  std::atomic<bool> active{false};
  std::atomic<uint64_t> epoch{0};  // odd while a callback runs
  std::atomic<uint64_t> calls{0};
  bool wasActive = false;          // callback thread only
  std::atomic<int64_t>* delivered = nullptr;
  bool clocked = false;            // keeps to the server's count (see CycleKeeper)
  CycleKeeper keeper;
  int64_t leaveOut = 0;            // frames the take still owes the server's count
  std::vector<float> silence;      // kCapture frames of `channels`

  ~Impl() {
    if (src) src_delete(src);
  }

  static int16_t toInt16(float x) {
    return int16_t(std::clamp(x * 32768.0f, -32768.0f, 32767.0f) + (x < 0 ? -0.5f : 0.5f));
  }

  // 44.1 kHz float frames of the device's channels -> the sink, in slices.
  void deliver(const float* in, size_t n) {
    while (n > 0) {
      const size_t k = std::min(n, kCapture);
      for (size_t f = 0; f < k; ++f) {
        const float* s = in + f * size_t(channels);
        if (want == 1) {
          frames[f] = toInt16(s[0]);  // a mono take is the first channel
        } else {
          frames[2 * f] = toInt16(s[0]);
          frames[2 * f + 1] = toInt16(s[channels > 1 ? 1 : 0]);
        }
      }
      sink(frames, k);
      delivered->fetch_add(int64_t(k), std::memory_order_relaxed);
      in += k * size_t(channels);
      n -= k;
    }
  }

  // Frames at the device rate -> 44.1 kHz -> the sink.
  void take(const float* p, long n) {
    if (!src) {
      deliver(p, size_t(n));
      return;
    }
    while (n > 0) {
      SRC_DATA d{};
      d.data_in = p;
      d.input_frames = n;
      d.data_out = resampled.data();
      d.output_frames = long(kCapture);
      d.src_ratio = ratio;
      if (src_process(src, &d) != 0 || d.input_frames_used == 0) break;
      deliver(resampled.data(), size_t(d.output_frames_gen));
      p += d.input_frames_used * channels;
      n -= d.input_frames_used;
    }
  }

  static int callback(void*, void* in, unsigned n, double, RtAudioStreamStatus, void* user) {
    auto* self = static_cast<Impl*>(user);
    self->epoch.fetch_add(1, std::memory_order_seq_cst);
    self->calls.fetch_add(1, std::memory_order_relaxed);
    const bool active = self->active.load(std::memory_order_seq_cst);
    // Frames before an attach never reach the sink, nor do they linger in the converter.
    if (active && !self->wasActive) {
      if (self->src) src_reset(self->src);
      self->leaveOut = 0;
    }
    self->wasActive = active;
    const int64_t fix = keepInStep(self->clocked, self->keeper, n);
    if (in && active) {
      // Cycles the server went through without this stream are silence in the take; cycles it
      // got twice are left out of it.
      for (int64_t left = fix; left > 0; left -= int64_t(kCapture))
        self->take(self->silence.data(), long(std::min<int64_t>(left, int64_t(kCapture))));
      self->leaveOut += std::max<int64_t>(0, -fix);
      const unsigned skip = unsigned(std::min<int64_t>(self->leaveOut, n));
      self->leaveOut -= skip;
      self->take(static_cast<const float*>(in) + size_t(skip) * size_t(self->channels),
                 long(n - skip));
    }
    self->epoch.fetch_add(1, std::memory_order_seq_cst);
    return 0;
  }
};

RtInput::RtInput() = default;
RtInput::~RtInput() { close(); }

bool RtInput::isOpen() const { return impl_ != nullptr; }

bool RtInput::open(AudioBackendKind api, const DeviceTable& devices,
                   const std::string& clientName, std::string& error) {
  close();
  auto impl = std::make_unique<Impl>();
  impl->delivered = &delivered_;
  Choice c;
  if (!choose(devices, true, kChannels, c, error)) return false;
  impl->channels = c.channels;
  if (c.rate != unsigned(kSampleRate)) {
    impl->src = makeResampler(c.channels, error);
    if (!impl->src) return false;
    impl->ratio = double(kSampleRate) / c.rate;
  }
  impl->resampled.assign(kCapture * size_t(c.channels), 0.0f);
  impl->silence.assign(kCapture * size_t(c.channels), 0.0f);
  impl->keeper = CycleKeeper(kInStepLimit * c.rate);
  impl->clocked = keepsToServer(api);
  impl->stream = openStream(api, request(true, c, clientName, &Impl::callback, impl.get()),
                            c.rate, error);
  if (!impl->stream) return false;
  impl_ = std::move(impl);
  watch_.reset();
  stalled_ = false;
  return true;
}

bool RtInput::attach(int channels, CaptureSink sink) {
  if (!impl_ || (channels != 1 && channels != 2) || !sink) return false;
  detach();
  impl_->sink = std::move(sink);
  impl_->want = channels;
  delivered_ = 0;
  impl_->active.store(true, std::memory_order_seq_cst);
  return true;
}

void RtInput::detach() {
  if (!impl_) return;
  impl_->active.store(false, std::memory_order_seq_cst);
  waitOutside(impl_->epoch);
  impl_->sink = nullptr;
}

bool RtInput::attached() const { return impl_ && impl_->active.load(); }

bool RtInput::running() const { return impl_ && impl_->stream->running(); }

bool RtInput::lost() {
  if (!impl_) return false;
  if (!running() || watch_.stalled(impl_->calls.load(std::memory_order_relaxed))) stalled_ = true;
  return stalled_;
}

void RtInput::close() {
  if (!impl_) return;
  detach();  // from here on a callback delivers nothing
  if (!impl_->stream->close(stalled_ || !running()))
    (void)impl_.release();  // see RtOutput::close
  impl_.reset();
}

}  // namespace platform::audio

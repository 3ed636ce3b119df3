#include "platform/audio_rtaudio.h"

#include <RtAudio.h>
#include <samplerate.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "platform/audio_mixer.h"

namespace platform::audio {

namespace {

constexpr unsigned kBufferFrames = 512;
constexpr unsigned kPeriods = 3;
constexpr long kLatencyWarnFrames = 8192;
constexpr size_t kBlock = 256;      // mixer frames per resampler refill
constexpr size_t kCapture = 4096;   // capture frames per sink call at most

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

bool exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

bool jackServerRunning() {
  try {
    RtAudio rt(RtAudio::UNIX_JACK);
    rt.showWarnings(false);
    return rt.getDeviceCount() > 0;  // the count client connects without starting a server
  } catch (...) {
    return false;
  }
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

unsigned pickRate(const RtAudio::DeviceInfo& info) {
  const auto& r = info.sampleRates;
  auto has = [&](unsigned rate) { return std::find(r.begin(), r.end(), rate) != r.end(); };
  if (r.empty() || has(kSampleRate)) return kSampleRate;
  if (info.preferredSampleRate && has(info.preferredSampleRate)) return info.preferredSampleRate;
  if (has(48000)) return 48000;
  return r.back();
}

// The default device of the direction, or the first one that has channels that way.
bool pickDevice(RtAudio& rt, bool input, unsigned& id, RtAudio::DeviceInfo& info) {
  const unsigned count = rt.getDeviceCount();
  if (count == 0) return false;
  auto usable = [&](unsigned d) {
    info = rt.getDeviceInfo(d);
    return info.probed && (input ? info.inputChannels : info.outputChannels) > 0;
  };
  id = input ? rt.getDefaultInputDevice() : rt.getDefaultOutputDevice();
  if (id < count && usable(id)) return true;
  for (id = 0; id < count; ++id)
    if (usable(id)) return true;
  return false;
}

// How one direction of a stream will be opened.
struct Choice {
  unsigned device = 0;
  unsigned rate = kSampleRate;
  int channels = 0;
  std::string name;
};

bool choose(RtAudio& rt, bool input, int wantChannels, Choice& c, std::string& error) {
  try {
    RtAudio::DeviceInfo info;
    if (!pickDevice(rt, input, c.device, info)) {
      error = input ? "no audio input device" : "no audio output device";
      return false;
    }
    c.rate = pickRate(info);
    c.channels = int(std::min<unsigned>(unsigned(wantChannels),
                                        input ? info.inputChannels : info.outputChannels));
    c.name = info.name;
    return true;
  } catch (const std::exception& e) {
    error = e.what();
  } catch (...) {
    error = "the audio devices could not be examined";
  }
  return false;
}

// Opens and starts one direction of a stream; false with `error` set. Catches everything.
bool openStream(RtAudio& rt, bool input, const Choice& c, const std::string& clientName,
                RtAudioCallback cb, void* user, std::string& error) {
  try {
    RtAudio::StreamParameters params;
    params.deviceId = c.device;
    params.nChannels = unsigned(c.channels);
    RtAudio::StreamOptions options;
    options.numberOfBuffers = kPeriods;
    options.streamName = clientName;
    unsigned frames = kBufferFrames;
    rt.openStream(input ? nullptr : &params, input ? &params : nullptr, RTAUDIO_FLOAT32, c.rate,
                  &frames, cb, user, &options, &onRtError);
    if (!rt.isStreamOpen()) {
      error = "the audio stream did not open on " + c.name;
      return false;
    }
    rt.startStream();
    if (rt.isStreamRunning()) return true;
    error = "the audio stream did not start on " + c.name;
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

void closeStream(RtAudio* rt) {
  if (!rt) return;
  try {
    if (rt->isStreamRunning()) rt->stopStream();
    if (rt->isStreamOpen()) rt->closeStream();
  } catch (...) {
  }
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

}  // namespace

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
      if (requested != AudioBackendKind::Offline && compiled(toApi(requested)))
        out.push_back(requested);
      return out;
    }
    if (compiled(RtAudio::UNIX_JACK) && jackServerRunning()) out.push_back(AudioBackendKind::Jack);
    if (compiled(RtAudio::LINUX_PULSE) && pulseServerReachable())
      out.push_back(AudioBackendKind::Pulse);
    if (compiled(RtAudio::LINUX_ALSA)) out.push_back(AudioBackendKind::Alsa);
  } catch (...) {
  }
  return out;
}

int countDevices(AudioBackendKind api, bool input) {
  std::string ignored;
  auto rt = makeRt(api, ignored);
  if (!rt) return 0;
  try {
    int n = 0;
    const unsigned count = rt->getDeviceCount();
    for (unsigned d = 0; d < count; ++d) {
      const auto info = rt->getDeviceInfo(d);
      if (info.probed && (input ? info.inputChannels : info.outputChannels) > 0) ++n;
    }
    return n;
  } catch (...) {
    return 0;
  }
}

// ---- Output ----------------------------------------------------------------------------------

struct RtOutput::Impl {
  std::unique_ptr<RtAudio> rt;
  Mixer* mixer = nullptr;
  int channels = 2;
  SRC_STATE* src = nullptr;
  double ratio = 1.0;
  float mix[kBlock * 2] = {};
  size_t mixPos = 0, mixLeft = 0;
  float stereo[kBlock * 2] = {};

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
    float* o = static_cast<float*>(out);
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

bool RtOutput::open(AudioBackendKind api, const std::string& clientName, std::string& error) {
  close();
  auto impl = std::make_unique<Impl>();
  impl->mixer = &mixer_;
  impl->rt = makeRt(api, error);
  Choice c;
  if (!impl->rt || !choose(*impl->rt, false, 2, c, error)) return false;
  impl->channels = c.channels;
  if (c.rate != unsigned(kSampleRate)) {
    impl->src = makeResampler(2, error);
    if (!impl->src) return false;
    impl->ratio = double(c.rate) / kSampleRate;
  }
  // Renders run on the callback thread from the first callback on: releases must wait for them.
  mixer_.setRenderAsync(true);
  if (!openStream(*impl->rt, false, c, clientName, &Impl::callback, impl.get(), error)) {
    mixer_.setRenderAsync(false);
    return false;
  }
  rate_ = c.rate;
  impl_ = std::move(impl);
  const long latency = latencyFrames();
  if (latency > kLatencyWarnFrames)
    std::fprintf(stderr, "vemracd audio: output latency is high (%ld frames at %u Hz)\n", latency,
                 rate_);
  return true;
}

void RtOutput::close() {
  if (!impl_) return;
  closeStream(impl_->rt.get());
  mixer_.setRenderAsync(false);
  impl_.reset();
  rate_ = 0;
}

bool RtOutput::running() const {
  try {
    return impl_ && impl_->rt->isStreamRunning();
  } catch (...) {
    return false;
  }
}

long RtOutput::latencyFrames() {
  if (!impl_) return 0;
  try {
    return impl_->rt->isStreamOpen() ? impl_->rt->getStreamLatency() : 0;
  } catch (...) {
    return 0;
  }
}

// ---- Input -----------------------------------------------------------------------------------

struct RtInput::Impl {
  std::unique_ptr<RtAudio> rt;
  CaptureSink sink;
  int want = 1;      // channels the sink gets
  int channels = 1;  // channels the device delivers
  SRC_STATE* src = nullptr;
  double ratio = 1.0;
  std::vector<float> resampled;  // kCapture frames of `channels`
  std::vector<int16_t> frames;   // kCapture frames of `want`
  std::atomic<bool> active{false};
  std::atomic<uint64_t> epoch{0};
  std::atomic<int64_t>* delivered = nullptr;

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
        if (want == channels) {
          for (int c = 0; c < want; ++c) frames[f * size_t(want) + size_t(c)] = toInt16(s[c]);
        } else if (want == 2) {
          frames[2 * f] = frames[2 * f + 1] = toInt16(s[0]);
        } else {
          frames[f] = toInt16(0.5f * (s[0] + s[1]));
        }
      }
      sink(frames.data(), k);
      delivered->fetch_add(int64_t(k), std::memory_order_relaxed);
      in += k * size_t(channels);
      n -= k;
    }
  }

  static int callback(void*, void* in, unsigned n, double, RtAudioStreamStatus, void* user) {
    auto* self = static_cast<Impl*>(user);
    self->epoch.fetch_add(1, std::memory_order_seq_cst);
    if (self->active.load(std::memory_order_seq_cst) && in) {
      const float* p = static_cast<const float*>(in);
      if (!self->src) {
        self->deliver(p, n);
      } else {
        long left = long(n);
        while (left > 0) {
          SRC_DATA d{};
          d.data_in = p;
          d.input_frames = left;
          d.data_out = self->resampled.data();
          d.output_frames = long(kCapture);
          d.src_ratio = self->ratio;
          if (src_process(self->src, &d) != 0 || d.input_frames_used == 0) break;
          self->deliver(self->resampled.data(), size_t(d.output_frames_gen));
          p += d.input_frames_used * self->channels;
          left -= d.input_frames_used;
        }
      }
    }
    self->epoch.fetch_add(1, std::memory_order_seq_cst);
    return 0;
  }
};

RtInput::RtInput() = default;
RtInput::~RtInput() { close(); }

bool RtInput::isOpen() const { return impl_ != nullptr; }

bool RtInput::open(AudioBackendKind api, const std::string& clientName, int channels,
                   CaptureSink sink, std::string& error) {
  close();
  if ((channels != 1 && channels != 2) || !sink) {
    error = "a capture needs 1 or 2 channels and a sink";
    return false;
  }
  auto impl = std::make_unique<Impl>();
  delivered_ = 0;
  impl->delivered = &delivered_;
  impl->want = channels;
  impl->sink = std::move(sink);
  impl->rt = makeRt(api, error);
  Choice c;
  if (!impl->rt || !choose(*impl->rt, true, channels, c, error)) return false;
  impl->channels = c.channels;
  if (c.rate != unsigned(kSampleRate)) {
    impl->src = makeResampler(c.channels, error);
    if (!impl->src) return false;
    impl->ratio = double(kSampleRate) / c.rate;
  }
  impl->resampled.assign(kCapture * size_t(c.channels), 0.0f);
  impl->frames.assign(kCapture * size_t(channels), 0);
  impl->active = true;
  if (!openStream(*impl->rt, true, c, clientName, &Impl::callback, impl.get(), error)) return false;
  impl_ = std::move(impl);
  return true;
}

void RtInput::close() {
  if (!impl_) return;
  impl_->active.store(false, std::memory_order_seq_cst);
  waitOutside(impl_->epoch);
  closeStream(impl_->rt.get());
  impl_.reset();
}

}  // namespace platform::audio

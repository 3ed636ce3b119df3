// The process-wide audio system behind sound.h: one mixer (audio_mixer.h), one output stream
// opened on first need and kept until shutdownAudio, one input stream opened once the window
// shows (or at the first need) and kept likewise, to which a take's sink is attached, and the
// offline backend that renders on the simulated clock. Each backend's devices are examined once.
//
// Every public call runs on the UI thread and takes the system's (recursive) mutex; the audio
// callbacks never take it. Offline renders run inside SimClock ticks or offlineRender(), on the
// caller's thread, and call the capture sink there.
#include "platform/sound.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <map>
#include <mutex>
#include <optional>

#include "platform/audio_mixer.h"
#include "platform/audio_offline.h"
#include "platform/audio_rtaudio.h"
#include "platform/clock.h"

namespace platform {

using audio::Mixer;

struct SoundBuffer {
  std::unique_ptr<int16_t[]> data;
  uint32_t bytes = 0;
  int slot = -1;
  int32_t pan = 0;
  int32_t volume = 0;
};

StereoGain panVolumeGain(int32_t pan, int32_t volume) {
  auto gain = [](int64_t att) {
    if (att <= -10000) return 0.0f;
    return float(std::pow(10.0, double(std::min<int64_t>(att, 0)) / 2000.0));
  };
  const int64_t vol = volume;
  return {gain(vol + std::min<int64_t>(0, -int64_t(pan))), gain(vol + std::min<int64_t>(0, pan))};
}

namespace {

constexpr uint32_t kMaxBufferBytes = 64u << 20;
constexpr size_t kOfflineChunk = 4096;

// Frame index of a simulated-clock reading: floor(ms * 44.1).
int64_t frameAt(int64_t ms) {
  const int64_t x = ms * 441;
  return x >= 0 ? x / 10 : -((-x + 9) / 10);
}

void report(const std::string& what) { std::fprintf(stderr, "vemracd audio: %s\n", what.c_str()); }

class AudioSystem {
 public:
  static AudioSystem& get() {
    // Never destroyed: a callback thread or a late caller must not meet a dead mixer at exit.
    static AudioSystem* s = new AudioSystem;
    return *s;
  }

  using Guard = std::unique_lock<std::recursive_mutex>;
  // Every public call starts here: lock, settle the backend, follow the simulated clock.
  // (selectBackend and configureOffline only lock: they settle the backend themselves.)
  Guard enter(bool settle = true) {
    Guard g(mu_);
    if (settle) {
      resolve();
      followClock();
    }
    return g;
  }

  Mixer mixer;

  // ---- backend ----
  void select(AudioBackendKind kind) {
    closeStreams();
    requested_ = kind;
    resolved_ = false;
    resolve();
    followClock();
  }
  AudioBackendKind active() const { return offline_ ? AudioBackendKind::Offline : active_; }
  void setNames(const std::string& out, const std::string& in) {
    outName_ = out.empty() ? "vemracd" : out;
    inName_ = in.empty() ? "vemracd-in" : in;
  }

  bool ensureOutput() {
    heal();
    if (offline_) return cfg_.outputDevices > 0;
    if (!(out_ && out_->running()) && !openOutput()) return false;
    // An input that a loss closed opens again with the output, before the next take needs it.
    if (reopenInput_) {
      std::string why;
      reopenInput_ = !ensureInput(why);
    }
    return true;
  }
  bool openOutput() {
    if (!out_) out_ = std::make_unique<audio::RtOutput>(mixer);
    std::string why = "no audio backend is available";
    for (AudioBackendKind k : candidates_) {
      // A table examined before a server restarted may name devices that are gone: one fresh
      // look before giving up on that backend.
      for (bool fresh : {false, true}) {
        std::string err;
        if (out_->open(k, devices(k, fresh), outName_, err)) {
          active_ = k;
          return true;
        }
        why = std::string(audio::kindName(k)) + ": " + err;
      }
    }
    report("no output: " + why);
    return false;
  }

  // The input stream, open and running from the first need (or from openInputStream) to the
  // program's end; beside the output when that runs.
  bool ensureInput(std::string& why) {
    if (offline_) return cfg_.inputDevices > 0;
    if (in_.isOpen() && in_.running()) return true;
    reopenInput_ = false;
    std::vector<AudioBackendKind> order = candidates_;
    if (out_ && out_->running()) order.insert(order.begin(), active_);
    for (AudioBackendKind k : order) {
      for (bool fresh : {false, true}) {
        if (in_.open(k, devices(k, fresh), inName_, why)) return true;
      }
    }
    if (why.empty()) why = "no audio backend is available";
    return false;
  }
  bool openInput() {
    heal();
    std::string why;
    if (ensureInput(why)) return true;
    report("no input: " + why);
    return false;
  }

  // ---- loss of the sound system ----
  // One report per loss: a loss is pending from its discovery to the poll that reports it,
  // then reported until the streams are opened again (heal).
  bool pollLoss() {
    if (loss_ == Loss::None) {
      const bool lost = offline_ ? offlineLost_
                                 : (out_ && out_->lost()) || (in_.isOpen() && in_.lost());
      if (lost) loss_ = Loss::Pending;
    }
    if (loss_ != Loss::Pending) return false;
    loss_ = Loss::Reported;
    report("the sound system stopped");
    return true;
  }
  void simulateLoss() {
    if (offline_) offlineLost_ = true;
  }

  long latency() { return out_ && out_->running() ? out_->latencyFrames() : 0; }

  int deviceCount(bool input) {
    if (offline_) return std::max(0, input ? cfg_.inputDevices : cfg_.outputDevices);
    return candidates_.empty() ? 0 : devices(active_).count(input);
  }

  // ---- voices ----
  // Releases a slot; when the callback could not be waited for, `memory` is kept for ever
  // rather than freed under it.
  void releaseSlot(int slot, std::shared_ptr<const void> memory = {}) {
    if (!mixer.release(slot) && memory) graveyard_.push_back(std::move(memory));
  }

  int playStream(std::shared_ptr<const std::vector<int16_t>> samples, int channels) {
    sweepStreams();
    if (!samples || (channels != 1 && channels != 2)) return 0;
    const int64_t frames = int64_t(samples->size()) / channels;
    if (frames == 0 || !ensureOutput()) return 0;
    const int slot = mixer.acquire(samples->data(), frames, channels, false);
    if (slot < 0) return 0;
    mixer.startTogether(&slot, 1);
    const int id = nextStreamId_++;
    streams_[id] = {std::move(samples), slot};
    return id;
  }
  void stopStream(int id) {
    auto it = streams_.find(id);
    if (it == streams_.end()) return;
    releaseSlot(it->second.slot, it->second.samples);
    streams_.erase(it);  // the samples go only after the mixer has let go of them
  }
  bool streamPlaying(int id) {
    auto it = streams_.find(id);
    if (it == streams_.end()) return false;
    if (!mixer.finished(it->second.slot)) return true;
    stopStream(id);
    return false;
  }

  // ---- capture ----
  bool openCapture(int channels, CaptureSink sink) {
    if ((channels != 1 && channels != 2) || !sink) return false;
    if (captureOpen()) {
      report("a capture is already open");
      return false;
    }
    heal();
    std::string err;
    if (offline_) {
      if (cfg_.inputDevices <= 0) return false;
      if (!source_.open(cfg_.inputWav, channels, err)) {
        report(err);
        return false;
      }
      offlineSink_ = std::move(sink);
      offlineDelivered_ = 0;
      return true;
    }
    // The stream is normally open already (openInputStream): the take begins with the next
    // callback, not after the time a stream takes to open.
    if (!ensureInput(err)) {
      report("no input: " + err);
      return false;
    }
    return in_.attach(channels, std::move(sink));
  }
  void closeCapture() {
    offlineSink_ = nullptr;  // a render that is calling it holds its own copy
    source_.close();
    in_.detach();
  }
  bool captureOpen() const { return offlineSink_ != nullptr || in_.attached(); }
  int64_t captureDelivered() const { return offline_ ? offlineDelivered_ : in_.delivered(); }

  // ---- offline ----
  void configureOffline(const OfflineConfig& cfg) {
    closeStreams();
    requested_ = AudioBackendKind::Offline;
    resolved_ = false;
    resolve();
    cfg_ = cfg;
    std::string err;
    if (!output_.reset(cfg.outputWav, err)) report(err);
    followClock();
  }
  const std::vector<int16_t>& offlineOutput() const { return output_.memory(); }
  int64_t offlineFirstFrame() const { return output_.firstFrame(); }
  void offlineFlush() { output_.flush(); }

  void renderOffline(int64_t frames) {
    if (!offline_ || offlineLost_ || frames <= 0) return;
    CaptureSink capture = offlineSink_;  // survives a closeCapture made by the sink itself
    while (frames > 0) {
      const size_t n = size_t(std::min<int64_t>(frames, int64_t(kOfflineChunk)));
      mixer.render(outBuf_, n);
      output_.append(outBuf_, n);
      if (capture && offlineSink_) {
        source_.read(inBuf_, n);
        capture(inBuf_, n);
        offlineDelivered_ += int64_t(n);
      }
      frames -= int64_t(n);
    }
    output_.flush();
  }

  void shutdown() {
    closeStreams();
    for (auto& [id, s] : streams_) releaseSlot(s.slot, s.samples);
    streams_.clear();
    dropClock();
  }

  // The backend asked for: the selection, or for Auto the environment's choice (Auto again when
  // it names none).
  AudioBackendKind requestedKind() {
    if (requested_ != AudioBackendKind::Auto) return requested_;
    const char* env = std::getenv("VEMRA_AUDIO");
    const std::string v = env ? env : "";
    if (v == "offline") return AudioBackendKind::Offline;
    if (v == "jack") return AudioBackendKind::Jack;
    if (v == "pulse") return AudioBackendKind::Pulse;
    if (v == "alsa") return AudioBackendKind::Alsa;
    if (!v.empty()) report("VEMRA_AUDIO=" + v + " is not offline, jack, pulse or alsa");
    return AudioBackendKind::Auto;
  }

  // What resolve() would find, found on a thread of its own (the program's start: the window is
  // being made meanwhile).
  struct Examined {
    AudioBackendKind kind;
    std::vector<AudioBackendKind> candidates;
    audio::DeviceTable table;  // of the first candidate
  };
  void prepare() {
    if (resolved_ || examining_.valid()) return;
    const AudioBackendKind kind = requestedKind();
    if (kind == AudioBackendKind::Offline) return;
    examining_ = std::async(std::launch::async, [kind] {
      Examined e{kind, audio::realCandidates(kind), {}};
      if (!e.candidates.empty()) e.table = audio::examineDevices(e.candidates.front());
      return e;
    });
  }

 private:
  struct Stream {
    std::shared_ptr<const std::vector<int16_t>> samples;
    int slot = -1;
  };

  void resolve() {
    if (resolved_) return;
    const AudioBackendKind kind = requestedKind();
    offline_ = kind == AudioBackendKind::Offline;
    tables_.clear();
    std::optional<Examined> examined;
    if (examining_.valid()) examined = examining_.get();
    if (examined && examined->kind == kind) {
      candidates_ = examined->candidates;
      if (!candidates_.empty()) tables_[candidates_.front()] = examined->table;
    } else {
      candidates_ = offline_ ? std::vector<AudioBackendKind>{} : audio::realCandidates(kind);
    }
    loss_ = Loss::None;
    offlineLost_ = false;
    active_ = candidates_.empty() ? kind : candidates_.front();
    resolved_ = true;
  }

  void closeStreams() {
    closeCapture();
    in_.close();
    if (out_) out_->close();
    output_.closeWav();
  }

  // What backend k offers, examined at its first need (or afresh).
  const audio::DeviceTable& devices(AudioBackendKind k, bool fresh = false) {
    audio::DeviceTable& t = tables_[k];
    if (fresh || !t.examined) t = audio::examineDevices(k);
    return t;
  }

  // Before the streams are used again: every stream that stopped on its own (a server that went
  // away) is closed, to be opened again now or at its next need; the next loss is a new one.
  void heal() {
    offlineLost_ = false;
    loss_ = Loss::None;
    if (offline_) return;
    if (out_ && out_->lost()) out_->close();
    if (in_.isOpen() && in_.lost()) {
      in_.close();
      reopenInput_ = true;
    }
  }

  void sweepStreams() {
    for (auto it = streams_.begin(); it != streams_.end();) {
      if (mixer.finished(it->second.slot)) {
        releaseSlot(it->second.slot, it->second.samples);
        it = streams_.erase(it);
      } else {
        ++it;
      }
    }
  }

  // The offline renders follow whatever simulated clock the installed yield driver has. A
  // registration is known to be alive while the clock still holds the ticker's copy of the
  // token; a clock that died took its copy with it.
  void followClock() {
    YieldDriver* driver = offline_ ? yieldDriver() : nullptr;
    SimClock* clock = driver ? &driver->clock() : nullptr;
    const bool alive = token_ && token_.use_count() > 1;
    if (alive && driver == driver_ && clock == clock_) return;
    dropClock();
    if (!clock) return;
    auto token = std::make_shared<int>(0);
    token_ = token;
    driver_ = driver;
    clock_ = clock;
    tickerId_ = clock->addTicker([this, token](int64_t from, int64_t to) {
      Guard g(mu_);
      if (token != token_) return;  // an old registration
      renderOffline(frameAt(to) - frameAt(from));
    });
  }
  void dropClock() {
    if (token_ && token_.use_count() > 1) clock_->removeTicker(tickerId_);
    token_.reset();
    driver_ = nullptr;
    clock_ = nullptr;
  }

  std::recursive_mutex mu_;
  AudioBackendKind requested_ = AudioBackendKind::Auto;
  bool resolved_ = false;
  bool offline_ = false;
  AudioBackendKind active_ = AudioBackendKind::Auto;
  std::vector<AudioBackendKind> candidates_;
  std::string outName_ = "vemracd", inName_ = "vemracd-in";
  std::unique_ptr<audio::RtOutput> out_;
  audio::RtInput in_;
  std::map<AudioBackendKind, audio::DeviceTable> tables_;
  std::future<Examined> examining_;
  enum class Loss { None, Pending, Reported } loss_ = Loss::None;
  bool reopenInput_ = false;  // a loss closed the input stream
  bool offlineLost_ = false;

  std::map<int, Stream> streams_;
  int nextStreamId_ = 1;
  std::vector<std::shared_ptr<const void>> graveyard_;

  OfflineConfig cfg_;
  audio::OutputSink output_;
  audio::WavSource source_;
  CaptureSink offlineSink_;
  int64_t offlineDelivered_ = 0;
  int16_t outBuf_[kOfflineChunk * 2] = {};
  int16_t inBuf_[kOfflineChunk * 2] = {};

  std::shared_ptr<int> token_;
  YieldDriver* driver_ = nullptr;
  SimClock* clock_ = nullptr;
  int tickerId_ = 0;
};

AudioSystem& sys() { return AudioSystem::get(); }

}  // namespace

// ---- SoundDevice -------------------------------------------------------------------------

struct SoundDevice::Impl {
  std::vector<std::unique_ptr<SoundBuffer>> buffers;
  int clock = -1;  // silent voice that starts with the first play: the run clock
  int level = 0;

  SoundBuffer* find(SoundBuffer* b) const {
    for (const auto& p : buffers)
      if (p.get() == b) return b;
    return nullptr;
  }
};

SoundDevice::SoundDevice() : impl_(std::make_unique<Impl>()) {}

std::unique_ptr<SoundDevice> SoundDevice::create() {
  auto g = sys().enter();
  if (!sys().ensureOutput()) return nullptr;
  const int clock = sys().mixer.acquire(nullptr, 0, 1, true);
  if (clock < 0) return nullptr;
  std::unique_ptr<SoundDevice> d(new SoundDevice);
  d->impl_->clock = clock;
  return d;
}

SoundDevice::~SoundDevice() {
  auto g = sys().enter();
  for (auto& b : impl_->buffers) sys().releaseSlot(b->slot, std::move(b->data));
  sys().releaseSlot(impl_->clock);
}

bool SoundDevice::setCooperativeLevel(int level) {
  auto g = sys().enter();
  if (level < 1 || level > 4) return false;  // normal, priority, exclusive, write-primary
  impl_->level = level;
  return true;
}

SoundBuffer* SoundDevice::createBuffer(uint32_t bytes) {
  auto g = sys().enter();
  if (bytes == 0 || bytes % 2 != 0 || bytes > kMaxBufferBytes) return nullptr;
  auto b = std::make_unique<SoundBuffer>();
  b->data.reset(new int16_t[bytes / 2]());
  b->bytes = bytes;
  b->slot = sys().mixer.acquire(b->data.get(), bytes / 2, 1, true);
  if (b->slot < 0) return nullptr;
  impl_->buffers.push_back(std::move(b));
  return impl_->buffers.back().get();
}

int16_t* SoundDevice::lock(SoundBuffer* b) {
  auto g = sys().enter();
  return impl_->find(b) ? b->data.get() : nullptr;
}

uint32_t SoundDevice::sizeBytes(SoundBuffer* b) const {
  auto g = sys().enter();
  return impl_->find(b) ? b->bytes : 0;
}

bool SoundDevice::play(SoundBuffer* b) {
  if (!b) return false;
  return playAll({b});
}

bool SoundDevice::playAll(const std::vector<SoundBuffer*>& bs) {
  auto g = sys().enter();
  std::vector<int> slots;
  for (SoundBuffer* b : bs) {
    if (!b) continue;
    if (!impl_->find(b)) return false;  // nothing starts when one of them is foreign
    slots.push_back(b->slot);
  }
  // The first play starts the run clock with its buffers (also a play of none: a silent run).
  if (!sys().mixer.started(impl_->clock)) slots.push_back(impl_->clock);
  sys().mixer.startTogether(slots.data(), slots.size());
  return true;
}

bool SoundDevice::setPan(SoundBuffer* b, int32_t pan) {
  auto g = sys().enter();
  if (!impl_->find(b) || pan < -10000 || pan > 10000) return false;
  b->pan = pan;
  const StereoGain s = panVolumeGain(b->pan, b->volume);
  sys().mixer.setGains(b->slot, s.left, s.right);
  return true;
}

bool SoundDevice::setVolume(SoundBuffer* b, int32_t volume) {
  auto g = sys().enter();
  if (!impl_->find(b) || volume < -10000 || volume > 0) return false;
  b->volume = volume;
  const StereoGain s = panVolumeGain(b->pan, b->volume);
  sys().mixer.setGains(b->slot, s.left, s.right);
  return true;
}

int32_t SoundDevice::pan(SoundBuffer* b) const {
  auto g = sys().enter();
  return impl_->find(b) ? b->pan : 0;
}

int32_t SoundDevice::volume(SoundBuffer* b) const {
  auto g = sys().enter();
  return impl_->find(b) ? b->volume : 0;
}

bool SoundDevice::isPlaying(SoundBuffer* b) const {
  auto g = sys().enter();
  return impl_->find(b) && sys().mixer.started(b->slot);
}

int64_t SoundDevice::framesPlayed() const {
  auto g = sys().enter();
  const int64_t start = sys().mixer.startFrame(impl_->clock);
  if (start == Mixer::kNotStarted) return 0;
  return std::max<int64_t>(0, sys().mixer.framesRendered() - start);
}

void SoundDevice::releaseBuffer(SoundBuffer* b) {
  auto g = sys().enter();
  if (!impl_->find(b)) return;
  sys().releaseSlot(b->slot, std::move(b->data));
  std::erase_if(impl_->buffers, [b](const auto& p) { return p.get() == b; });
}

// ---- Free functions ----------------------------------------------------------------------

int waveInDeviceCount() {
  auto g = sys().enter();
  return sys().deviceCount(true);
}

int waveOutDeviceCount() {
  auto g = sys().enter();
  return sys().deviceCount(false);
}

int playStream(std::shared_ptr<const std::vector<int16_t>> samples, int channels) {
  auto g = sys().enter();
  return sys().playStream(std::move(samples), channels);
}

void stopStream(int id) {
  auto g = sys().enter();
  sys().stopStream(id);
}

bool streamPlaying(int id) {
  auto g = sys().enter();
  return sys().streamPlaying(id);
}

bool openCapture(int channels, CaptureSink sink) {
  auto g = sys().enter();
  return sys().openCapture(channels, std::move(sink));
}

void closeCapture() {
  auto g = sys().enter();
  sys().closeCapture();
}

void prepareSound() {
  auto g = sys().enter(false);
  sys().prepare();
}

bool openInputStream() {
  auto g = sys().enter();
  return sys().openInput();
}

bool soundSystemLost() {
  auto g = sys().enter();
  return sys().pollLoss();
}

void simulateSoundLoss() {
  auto g = sys().enter();
  sys().simulateLoss();
}

bool captureOpen() {
  auto g = sys().enter();
  return sys().captureOpen();
}

int64_t captureFramesDelivered() {
  auto g = sys().enter();
  return sys().captureDelivered();
}

void selectBackend(AudioBackendKind kind) {
  auto g = sys().enter(false);
  sys().select(kind);
}

AudioBackendKind activeBackend() {
  auto g = sys().enter();
  return sys().active();
}

std::string backendName() { return audio::kindName(activeBackend()); }

void setClientNames(const std::string& output, const std::string& input) {
  auto g = sys().enter(false);
  sys().setNames(output, input);
}

long outputLatencyFrames() {
  auto g = sys().enter();
  return sys().latency();
}

void shutdownAudio() {
  auto g = sys().enter();
  sys().shutdown();
}

void configureOffline(const OfflineConfig& cfg) {
  auto g = sys().enter(false);
  sys().configureOffline(cfg);
}

const std::vector<int16_t>& offlineOutput() {
  auto g = sys().enter();
  return sys().offlineOutput();
}

int64_t offlineOutputFirstFrame() {
  auto g = sys().enter();
  return sys().offlineFirstFrame();
}

void offlineRender(int64_t frames) {
  auto g = sys().enter();
  sys().renderOffline(frames);
}

void offlineFlush() {
  auto g = sys().enter();
  sys().offlineFlush();
}

}  // namespace platform

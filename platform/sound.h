// The sound device that mixes: secondary buffers with pan and volume, looping play, and the
// process-wide output stream that also carries the element devices of mci.h.
//
// Units: pan and volume in hundredths of a dB. Left attenuation = vol + min(0, -pan), right
// attenuation = vol + min(0, pan); -10000 is silence. Pan must lie in -10000..10000 and volume
// in -10000..0; other values are refused and the old value kept.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

constexpr int kSampleRate = 44100;
constexpr int kDeviceSeconds = 2;

class SoundBuffer;  // opaque; owned by its SoundDevice

enum class AudioBackendKind { Auto, Offline, Jack, Pulse, Alsa };

// Per-channel linear gain for a pan/volume pair (exactly the law above).
struct StereoGain { float left, right; };
StereoGain panVolumeGain(int32_t pan, int32_t volume);

class SoundDevice {
 public:
  // Creates the device on the default output. nullptr when there is no output to play on.
  static std::unique_ptr<SoundDevice> create();
  ~SoundDevice();  // releases every buffer (synchronously)
  SoundDevice(const SoundDevice&) = delete;
  SoundDevice& operator=(const SoundDevice&) = delete;

  bool setCooperativeLevel(int level);
  // A mono 16-bit 44.1 kHz buffer of `bytes` bytes (even), silent. nullptr when refused.
  SoundBuffer* createBuffer(uint32_t bytes = kSampleRate * 2 * kDeviceSeconds);
  // The buffer's memory, writable for its whole life, also while it plays. nullptr for a
  // buffer that does not belong to this device.
  int16_t* lock(SoundBuffer* b);
  uint32_t sizeBytes(SoundBuffer* b) const;
  // Starts buffers looping. All buffers passed in one call begin on the same output frame;
  // the first play of the device starts its run clock.
  bool play(SoundBuffer* b);
  bool playAll(const std::vector<SoundBuffer*>& bs);
  bool setPan(SoundBuffer* b, int32_t pan);
  bool setVolume(SoundBuffer* b, int32_t volume);
  int32_t pan(SoundBuffer* b) const;
  int32_t volume(SoundBuffer* b) const;
  bool isPlaying(SoundBuffer* b) const;
  // Frames (44.1 kHz) the device has played since its first play; 0 before.
  int64_t framesPlayed() const;
  // After it returns the mixer never touches that buffer again.
  void releaseBuffer(SoundBuffer* b);

 private:
  SoundDevice();
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Wave device counts, as the start-up check asks for them.
int waveInDeviceCount();
int waveOutDeviceCount();

// ---- The output stream ---------------------------------------------------------------------
// A stream of 16-bit samples (mono or interleaved stereo, 44.1 kHz) played once from memory;
// the element devices of mci.h use it. Returns an id, 0 when there is no output.
int playStream(std::shared_ptr<const std::vector<int16_t>> samples, int channels);
void stopStream(int id);      // synchronous
bool streamPlaying(int id);   // false once it has played to its end or was stopped

// ---- Recording input -----------------------------------------------------------------------
// The input stream (two channels, 44.1 kHz as the program sees it) stays open from its first
// opening to the program's end. openInputStream opens it now (offline: nothing to open);
// openInputStreamSoon does so from the event loop shortly after the caller's window has shown,
// so that the first take does not wait for it.
bool openInputStream();
void openInputStreamSoon();
// Attaches a sink with 1 channel (the input's first) or 2: it receives frames from the next
// device period on, so the take's first frame is the one captured when it was attached, within
// one period. Opens the input stream first when it is not open. The sink is called with
// interleaved frames on a thread that is not the UI thread (real backends) or inside clock
// ticks (offline); it must not block for long.
using CaptureSink = std::function<void(const int16_t* frames, size_t frameCount)>;
bool openCapture(int channels, CaptureSink sink);
void closeCapture();  // synchronous: the sink is never called after it returns (stream stays)
bool captureOpen();   // a sink is attached
// Frames handed to the sink since the last openCapture (kept after closeCapture until the next
// open).
int64_t captureFramesDelivered();

// ---- Loss of the sound system ------------------------------------------------------------
// True once for each loss of the sound system while its streams were open: a server that went
// away, a stream that stopped on its own or whose callbacks have not come for a second. Nothing
// plays or records after it; the next need of a stream (the next run) opens the streams again.
// Whoever runs playback or a recording asks regularly and ends the run when it is true.
bool soundSystemLost();

// ---- Backend selection ---------------------------------------------------------------------
// Starts finding the backend and examining its devices on a thread of its own, so that the
// first question (the start-up's device counts) finds the answer ready or nearly so. main()
// calls it first; without it the first call examines them itself.
void prepareSound();
// Auto (the default) reads $VEMRA_AUDIO (offline | jack | pulse | alsa); without it: JACK
// when a server runs (one is never started), else PulseAudio, else ALSA.
void selectBackend(AudioBackendKind kind);
AudioBackendKind activeBackend();
std::string backendName();
// JACK client names of the output and the capture stream (default "vemracd", "vemracd-in").
void setClientNames(const std::string& output, const std::string& input);
// Output latency in frames reported by the running output stream (0 when none).
long outputLatencyFrames();
// Closes the streams (the program's end, tests).
void shutdownAudio();

// ---- Offline backend (tests) ---------------------------------------------------------------
// Renders on the simulated clock (clock.h): every tick renders the frames due up to its end.
struct OfflineConfig {
  int inputDevices = 1;
  int outputDevices = 1;
  std::string inputWav;    // host path of what the recorder hears (mono or stereo WAV); "" silence
  std::string outputWav;   // host path that receives the stereo output ("" keeps it in memory only)
};
void configureOffline(const OfflineConfig& cfg);
// Everything rendered since configureOffline, interleaved stereo.
const std::vector<int16_t>& offlineOutput();
// The in-memory output is kept only when no output WAV is named, and only its last 30 to 35
// seconds: older frames are dropped. Index (in frames since configureOffline) of
// offlineOutput()'s first frame; 0 until a run has passed 35 seconds.
int64_t offlineOutputFirstFrame();
// Renders `frames` more frames now (unit tests that do not run a clock).
void offlineRender(int64_t frames);
// Writes the pending output WAV header sizes (done at every tick; call at the end of a run).
void offlineFlush();
// The sound system goes away now, as a server that stops: nothing more is rendered or
// captured and soundSystemLost() reports it, until the next run opens the streams again.
void simulateSoundLoss();

}  // namespace platform

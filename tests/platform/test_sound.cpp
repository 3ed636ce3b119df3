// The sound device, its streams and capture, through the offline backend; the mixer core under
// a concurrent render thread; a smoke test of the real backend when one is there.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/audio_mixer.h"
#include "platform/audio_rtaudio.h"
#include "platform/clock.h"
#include "platform/sound.h"
#include "platform/wav.h"

using namespace platform;
namespace fs = std::filesystem;

namespace {

struct Frame {
  int16_t l, r;
};
Frame frameOf(const std::vector<int16_t>& v, size_t i) { return {v[2 * i], v[2 * i + 1]}; }

int16_t scaled(int16_t s, float g) { return int16_t(std::lround(double(s) * g)); }

fs::path tempPath(const std::string& name) {
  return fs::temp_directory_path() / ("vemra_sound_" + std::to_string(::getpid()) + "_" + name);
}

void writeWav(const fs::path& p, int channels, const std::vector<int16_t>& samples) {
  std::ofstream f(p, std::ios::binary);
  const auto h = wavHeader(channels, uint32_t(samples.size() * 2));
  f.write(reinterpret_cast<const char*>(h.data()), h.size());
  f.write(reinterpret_cast<const char*>(samples.data()), std::streamsize(samples.size() * 2));
}

std::vector<uint8_t> readBytes(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), {}};
}

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}

class SoundTest : public ::testing::Test {
 protected:
  void SetUp() override { configure({}); }
  void TearDown() override {
    setYieldDriver(nullptr);
    shutdownAudio();
    for (auto& p : cleanup_) fs::remove(p);
  }
  static OfflineConfig devices(int in, int out) {
    OfflineConfig c;
    c.inputDevices = in;
    c.outputDevices = out;
    return c;
  }
  static OfflineConfig input(const fs::path& wav) {
    OfflineConfig c;
    c.inputWav = wav.string();
    return c;
  }
  // A simulated clock and driver that outlive the test body (the fixture ends them).
  ScriptedYield& simulate(int64_t startMs, int64_t stepMs) {
    setYieldDriver(nullptr);
    driver_.reset();
    clock_ = std::make_unique<SimClock>(startMs);
    driver_ = std::make_unique<ScriptedYield>(*clock_, stepMs);
    setYieldDriver(driver_.get());
    return *driver_;
  }
  void configure(OfflineConfig cfg) {
    configureOffline(cfg);
    ASSERT_EQ(activeBackend(), AudioBackendKind::Offline);
  }
  fs::path temp(const std::string& name) {
    cleanup_.push_back(tempPath(name));
    return cleanup_.back();
  }
  // A buffer of `frames` frames filled with fill(i).
  template <class F>
  SoundBuffer* makeBuffer(SoundDevice& d, uint32_t frames, F fill) {
    SoundBuffer* b = d.createBuffer(frames * 2);
    if (!b) return nullptr;
    int16_t* p = d.lock(b);
    for (uint32_t i = 0; i < frames; ++i) p[i] = int16_t(fill(i));
    return b;
  }
  std::vector<fs::path> cleanup_;
  std::unique_ptr<SimClock> clock_;
  std::unique_ptr<ScriptedYield> driver_;
};

using SoundDeviceTest = SoundTest;
using SoundStreamTest = SoundTest;
using SoundCaptureTest = SoundTest;
using SoundOfflineTest = SoundTest;

}  // namespace

TEST(SoundGain, FollowsThePanVolumeLaw) {
  auto g = panVolumeGain(0, -1500);
  EXPECT_NEAR(g.left, 0.1778, 1e-4);
  EXPECT_NEAR(g.right, 0.1778, 1e-4);
  g = panVolumeGain(870, 0);
  EXPECT_NEAR(20 * std::log10(g.left), -8.7, 1e-4);
  EXPECT_EQ(g.right, 1.0f);
  g = panVolumeGain(-400, -600);  // left keeps the volume, right loses 4 dB more
  EXPECT_NEAR(20 * std::log10(g.left), -6.0, 1e-4);
  EXPECT_NEAR(20 * std::log10(g.right), -10.0, 1e-4);
  EXPECT_EQ(panVolumeGain(0, -10000).left, 0.0f);
  EXPECT_EQ(panVolumeGain(0, -10000).right, 0.0f);
  EXPECT_EQ(panVolumeGain(10000, 0).left, 0.0f);
  EXPECT_EQ(panVolumeGain(10000, 0).right, 1.0f);
  EXPECT_EQ(panVolumeGain(-5000, -5000).right, 0.0f);  // -100 dB together is silence too
  EXPECT_EQ(panVolumeGain(0, 0).left, 1.0f);
}

TEST_F(SoundDeviceTest, BuffersAndRefusedValues) {
  auto d = SoundDevice::create();
  ASSERT_TRUE(d);
  EXPECT_TRUE(d->setCooperativeLevel(2));
  EXPECT_FALSE(d->setCooperativeLevel(0));
  SoundBuffer* b = d->createBuffer();
  ASSERT_TRUE(b);
  EXPECT_EQ(d->sizeBytes(b), 176400u);
  const int16_t* p = d->lock(b);
  ASSERT_TRUE(p);
  EXPECT_TRUE(std::all_of(p, p + 88200, [](int16_t s) { return s == 0; }));
  EXPECT_EQ(d->pan(b), 0);
  EXPECT_EQ(d->volume(b), 0);
  EXPECT_FALSE(d->isPlaying(b));

  EXPECT_TRUE(d->setPan(b, 870));
  EXPECT_TRUE(d->setVolume(b, -1500));
  for (int32_t bad : {10001, -10001, INT32_MAX}) EXPECT_FALSE(d->setPan(b, bad));
  for (int32_t bad : {1, -10001, INT32_MIN}) EXPECT_FALSE(d->setVolume(b, bad));
  EXPECT_EQ(d->pan(b), 870);
  EXPECT_EQ(d->volume(b), -1500);
  EXPECT_TRUE(d->setPan(b, -10000));
  EXPECT_TRUE(d->setVolume(b, -10000));

  EXPECT_EQ(d->createBuffer(0), nullptr);
  EXPECT_EQ(d->createBuffer(1001), nullptr);
  EXPECT_EQ(d->createBuffer(0x80000000u), nullptr);

  // Nothing answers for a buffer that is not this device's.
  auto other = SoundDevice::create();
  ASSERT_TRUE(other);
  SoundBuffer* foreign = other->createBuffer(100);
  for (SoundBuffer* x : {foreign, static_cast<SoundBuffer*>(nullptr)}) {
    EXPECT_EQ(d->lock(x), nullptr);
    EXPECT_EQ(d->sizeBytes(x), 0u);
    EXPECT_FALSE(d->setPan(x, 0));
    EXPECT_FALSE(d->setVolume(x, 0));
    EXPECT_FALSE(d->play(x));
    EXPECT_FALSE(d->isPlaying(x));
    d->releaseBuffer(x);  // ignored
  }
  EXPECT_FALSE(d->playAll({b, foreign}));
  EXPECT_FALSE(d->isPlaying(b));  // a refused group starts none of its buffers
  EXPECT_NE(other->lock(foreign), nullptr);
}

TEST_F(SoundDeviceTest, LoopingBufferPlaysAtItsGainsOnBothChannels) {
  auto d = SoundDevice::create();
  ASSERT_TRUE(d);
  auto src = [](uint32_t i) { return int(i) * 37 - 9000; };
  SoundBuffer* b = makeBuffer(*d, 500, src);
  ASSERT_TRUE(b);
  ASSERT_TRUE(d->setPan(b, 870));
  ASSERT_TRUE(d->setVolume(b, -600));
  offlineRender(10);  // the buffer starts on the first frame after its play
  ASSERT_TRUE(d->play(b));
  EXPECT_TRUE(d->isPlaying(b));
  offlineRender(1290);
  const auto& out = offlineOutput();
  ASSERT_EQ(out.size(), 2600u);
  const StereoGain g = panVolumeGain(870, -600);
  for (size_t i = 0; i < 10; ++i) EXPECT_EQ(frameOf(out, i).l, 0);
  for (size_t i = 10; i < 1300; ++i) {
    const int16_t s = int16_t(src(uint32_t((i - 10) % 500)));
    ASSERT_NEAR(frameOf(out, i).l, scaled(s, g.left), 1) << i;
    ASSERT_NEAR(frameOf(out, i).r, scaled(s, g.right), 1) << i;
  }
  // A change applies from the next render on.
  ASSERT_TRUE(d->setPan(b, 0));
  ASSERT_TRUE(d->setVolume(b, 0));
  offlineRender(500);
  for (size_t i = 1300; i < 1800; ++i) {
    const int16_t s = int16_t(src(uint32_t((i - 10) % 500)));
    ASSERT_EQ(frameOf(offlineOutput(), i).l, s);
    ASSERT_EQ(frameOf(offlineOutput(), i).r, s);
  }
}

TEST_F(SoundDeviceTest, MixSumsAndClamps) {
  auto d = SoundDevice::create();
  ASSERT_TRUE(d);
  SoundBuffer* a = makeBuffer(*d, 4, [](uint32_t) { return 30000; });
  SoundBuffer* b = makeBuffer(*d, 4, [](uint32_t) { return 10000; });
  SoundBuffer* c = makeBuffer(*d, 4, [](uint32_t) { return -20000; });
  ASSERT_TRUE(d->setPan(c, 10000));  // right only
  ASSERT_TRUE(d->playAll({a, b, c}));
  offlineRender(8);
  for (size_t i = 0; i < 8; ++i) {
    EXPECT_EQ(frameOf(offlineOutput(), i).l, 32767);  // 40000 clamped
    EXPECT_EQ(frameOf(offlineOutput(), i).r, 20000);
  }
}

TEST_F(SoundDeviceTest, BuffersStartedTogetherStaySampleAligned) {
  auto d = SoundDevice::create();
  ASSERT_TRUE(d);
  auto src = [](uint32_t i) { return int((i * 7919u) % 20000) - 10000; };
  SoundBuffer* a = makeBuffer(*d, 3001, src);
  SoundBuffer* b = makeBuffer(*d, 3001, src);
  SoundBuffer* late = makeBuffer(*d, 700, [](uint32_t i) { return int(i); });
  ASSERT_TRUE(a && b && late);
  ASSERT_TRUE(d->setPan(a, -10000));
  ASSERT_TRUE(d->setPan(b, 10000));
  ASSERT_TRUE(d->setVolume(late, -10000));  // plays, but silent
  EXPECT_EQ(d->framesPlayed(), 0);
  offlineRender(123);
  ASSERT_TRUE(d->playAll({a, nullptr, b}));
  EXPECT_EQ(d->framesPlayed(), 0);  // armed, not yet rendered
  offlineRender(5000);
  EXPECT_EQ(d->framesPlayed(), 5000);
  ASSERT_TRUE(d->play(late));
  ASSERT_TRUE(d->playAll({a, b}));  // already playing: unchanged
  offlineRender(9000);
  EXPECT_EQ(d->framesPlayed(), 14000);  // counted from the first play
  const auto& out = offlineOutput();
  for (size_t i = 123; i < 14123; ++i) {
    ASSERT_EQ(frameOf(out, i).l, frameOf(out, i).r) << i;
    ASSERT_EQ(frameOf(out, i).l, int16_t(src(uint32_t((i - 123) % 3001)))) << i;
  }
}

TEST_F(SoundDeviceTest, EmptyPlayStartsTheRunClock) {
  auto d = SoundDevice::create();
  ASSERT_TRUE(d);
  ASSERT_TRUE(d->playAll({}));
  offlineRender(441);
  EXPECT_EQ(d->framesPlayed(), 441);
}

TEST_F(SoundDeviceTest, WriteIntoTheHalfNotPlayingIsHeardOneLoopLater) {
  auto d = SoundDevice::create();
  ASSERT_TRUE(d);
  SoundBuffer* b = makeBuffer(*d, 400, [](uint32_t i) { return i < 200 ? 100 : 200; });
  ASSERT_TRUE(d->play(b));
  offlineRender(250);  // now inside the second half
  int16_t* p = d->lock(b);
  std::fill(p, p + 200, int16_t(-300));
  offlineRender(350);
  const auto& out = offlineOutput();
  auto at = [&](size_t i) { return frameOf(out, i).l; };
  EXPECT_EQ(at(0), 100);
  EXPECT_EQ(at(199), 100);
  EXPECT_EQ(at(200), 200);
  EXPECT_EQ(at(399), 200);
  EXPECT_EQ(at(400), -300);
  EXPECT_EQ(at(599), -300);
}

TEST_F(SoundDeviceTest, ReleaseSilencesAtOnce) {
  auto d = SoundDevice::create();
  ASSERT_TRUE(d);
  SoundBuffer* a = makeBuffer(*d, 100, [](uint32_t) { return 5000; });
  SoundBuffer* b = makeBuffer(*d, 100, [](uint32_t) { return 1000; });
  ASSERT_TRUE(d->playAll({a, b}));
  offlineRender(50);
  d->releaseBuffer(a);
  EXPECT_EQ(d->lock(a), nullptr);
  EXPECT_FALSE(d->isPlaying(a));
  offlineRender(50);
  d.reset();  // the device releases the rest
  offlineRender(50);
  const auto& out = offlineOutput();
  EXPECT_EQ(frameOf(out, 49).l, 6000);
  EXPECT_EQ(frameOf(out, 50).l, 1000);
  EXPECT_EQ(frameOf(out, 99).l, 1000);
  EXPECT_EQ(frameOf(out, 100).l, 0);
  EXPECT_EQ(frameOf(out, 149).r, 0);
}

TEST_F(SoundDeviceTest, NoOutputDeviceMeansNoDevice) {
  configure(devices(3, 2));
  EXPECT_EQ(waveInDeviceCount(), 3);
  EXPECT_EQ(waveOutDeviceCount(), 2);
  configure(devices(0, 0));
  EXPECT_EQ(waveInDeviceCount(), 0);
  EXPECT_EQ(waveOutDeviceCount(), 0);
  EXPECT_EQ(SoundDevice::create(), nullptr);
  EXPECT_EQ(playStream(std::make_shared<std::vector<int16_t>>(10, 1), 1), 0);
  EXPECT_FALSE(openCapture(1, [](const int16_t*, size_t) {}));
  EXPECT_FALSE(captureOpen());
}

TEST_F(SoundStreamTest, MonoAndStereoPlayOnce) {
  auto mono = std::make_shared<std::vector<int16_t>>();
  for (int i = 0; i < 300; ++i) mono->push_back(int16_t(i * 10 + 1));
  auto stereo = std::make_shared<std::vector<int16_t>>();
  for (int i = 0; i < 250; ++i) {
    stereo->push_back(int16_t(i + 1));
    stereo->push_back(int16_t(-i - 1));
  }
  const int m = playStream(mono, 1);
  offlineRender(100);
  const int s = playStream(stereo, 2);
  ASSERT_GT(m, 0);
  ASSERT_GT(s, 0);
  EXPECT_NE(m, s);
  mono.reset();  // the stream keeps its own reference
  offlineRender(199);
  EXPECT_TRUE(streamPlaying(m));  // one frame left
  offlineRender(1);
  EXPECT_FALSE(streamPlaying(m));
  EXPECT_TRUE(streamPlaying(s));
  offlineRender(200);
  EXPECT_FALSE(streamPlaying(s));
  const auto& out = offlineOutput();
  for (size_t i = 0; i < 500; ++i) {
    int l = 0, r = 0;
    if (i < 300) l = r = int(i) * 10 + 1;
    if (i >= 100 && i < 350) {
      l += int(i) - 99;
      r -= int(i) - 99;
    }
    ASSERT_EQ(frameOf(out, i).l, l) << i;
    ASSERT_EQ(frameOf(out, i).r, r) << i;
  }
  EXPECT_EQ(playStream(nullptr, 1), 0);
  EXPECT_EQ(playStream(std::make_shared<std::vector<int16_t>>(), 1), 0);
  EXPECT_EQ(playStream(std::make_shared<std::vector<int16_t>>(10, 1), 3), 0);
  EXPECT_EQ(playStream(std::make_shared<std::vector<int16_t>>(1, 1), 2), 0);  // not a frame
  EXPECT_FALSE(streamPlaying(12345));
}

TEST_F(SoundStreamTest, StopIsImmediate) {
  const int id = playStream(std::make_shared<std::vector<int16_t>>(1000, 700), 1);
  ASSERT_GT(id, 0);
  offlineRender(10);
  stopStream(id);
  EXPECT_FALSE(streamPlaying(id));
  stopStream(id);  // twice, and unknown ids: nothing
  stopStream(-4);
  offlineRender(10);
  EXPECT_EQ(frameOf(offlineOutput(), 9).l, 700);
  EXPECT_EQ(frameOf(offlineOutput(), 10).l, 0);
  EXPECT_EQ(frameOf(offlineOutput(), 19).r, 0);
}

TEST_F(SoundCaptureTest, DeliversTheInputWavInTheChannelsAsked) {
  const fs::path mono = temp("in_mono.wav"), stereo = temp("in_stereo.wav");
  std::vector<int16_t> m, s;
  for (int i = 0; i < 1000; ++i) m.push_back(int16_t(i * 3 - 1500));
  for (int i = 0; i < 600; ++i) {
    s.push_back(int16_t(i));
    s.push_back(int16_t(i + 101));
  }
  writeWav(mono, 1, m);
  writeWav(stereo, 2, s);

  struct Case {
    fs::path file;
    int channels;
    std::function<std::vector<int16_t>(size_t)> expect;  // frame -> samples
  };
  const std::vector<Case> cases = {
      {mono, 1, [&](size_t f) { return std::vector<int16_t>{f < 1000 ? m[f] : int16_t(0)}; }},
      {mono, 2, [&](size_t f) {
         const int16_t v = f < 1000 ? m[f] : 0;
         return std::vector<int16_t>{v, v};
       }},
      {stereo, 2, [&](size_t f) {
         return f < 600 ? std::vector<int16_t>{s[2 * f], s[2 * f + 1]} : std::vector<int16_t>{0, 0};
       }},
      {stereo, 1, [&](size_t f) {
         return std::vector<int16_t>{f < 600 ? int16_t((s[2 * f] + s[2 * f + 1]) / 2) : int16_t(0)};
       }},
      {"", 2, [](size_t) { return std::vector<int16_t>{0, 0}; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file.string() + " as " + std::to_string(c.channels));
    configure(input(c.file));
    std::vector<int16_t> got;
    ASSERT_TRUE(openCapture(c.channels, [&](const int16_t* f, size_t n) {
      got.insert(got.end(), f, f + n * size_t(c.channels));
    }));
    EXPECT_TRUE(captureOpen());
    EXPECT_FALSE(openCapture(1, [](const int16_t*, size_t) {}));  // one at a time
    offlineRender(700);
    offlineRender(5000);  // past the end: silence
    closeCapture();
    EXPECT_FALSE(captureOpen());
    const size_t before = got.size();
    offlineRender(100);
    EXPECT_EQ(got.size(), before);  // never called after closeCapture
    ASSERT_EQ(got.size(), 5700u * size_t(c.channels));
    EXPECT_EQ(captureFramesDelivered(), 5700);
    for (size_t f = 0; f < 5700; ++f) {
      const auto want = c.expect(f);
      for (int ch = 0; ch < c.channels; ++ch)
        ASSERT_EQ(got[f * size_t(c.channels) + size_t(ch)], want[size_t(ch)]) << f;
    }
  }
  configure(input(temp("missing.wav")));
  EXPECT_FALSE(openCapture(1, [](const int16_t*, size_t) {}));
  EXPECT_FALSE(openCapture(3, [](const int16_t*, size_t) {}));
  EXPECT_FALSE(openCapture(1, nullptr));
}

TEST_F(SoundCaptureTest, SinkMayCloseTheCaptureItself) {
  int calls = 0;
  ASSERT_TRUE(openCapture(1, [&](const int16_t*, size_t) {
    ++calls;
    closeCapture();
  }));
  offlineRender(20000);  // several chunks: only the first reaches the sink
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(captureOpen());
}

TEST_F(SoundOfflineTest, SimulatedClockRendersFramesDue) {
  ScriptedYield& driver = simulate(0, 7);
  int64_t heard = 0;
  ASSERT_TRUE(openCapture(2, [&](const int16_t*, size_t n) { heard += int64_t(n); }));
  clock_->advanceTo(1000);
  EXPECT_EQ(offlineOutput().size(), 2u * 44100);
  driver.runUntil(2000);  // many small steps: floor(ms * 44.1) keeps the sum exact
  EXPECT_EQ(offlineOutput().size(), 2u * 88200);
  clock_->advanceTo(2003);  // 3 ms: 132.3 frames are due, 132 rendered
  EXPECT_EQ(offlineOutput().size(), 2u * (88200 + 132));
  EXPECT_EQ(heard, 88200 + 132);
  EXPECT_EQ(captureFramesDelivered(), heard);
  closeCapture();

  // A new driver with a new clock (possibly at the same address): followed from the next call.
  simulate(5000, 10);
  const size_t before = offlineOutput().size();
  clock_->advanceTo(5500);
  EXPECT_EQ(offlineOutput().size(), before + 2u * 22050);

  // Without a driver nothing renders on a clock.
  setYieldDriver(nullptr);
  EXPECT_EQ(offlineOutput().size(), before + 2u * 22050);
  clock_->advanceTo(6000);
  EXPECT_EQ(offlineOutput().size(), before + 2u * 22050);
}

TEST_F(SoundOfflineTest, SimulatedPlaybackPacesTheRunClock) {
  simulate(0, 10);
  auto d = SoundDevice::create();
  ASSERT_TRUE(d);
  SoundBuffer* b = d->createBuffer();
  ASSERT_TRUE(d->play(b));
  EXPECT_TRUE(waitUntil(1000));
  EXPECT_EQ(d->framesPlayed(), 44100);
  EXPECT_TRUE(waitUntil([&] { return d->framesPlayed() >= 2 * 44100; }, 5000));
  EXPECT_EQ(nowMs(), 2000);
}

TEST_F(SoundOfflineTest, OutputWavKeepsItsHeaderRight) {
  const fs::path wav = temp("out.wav");
  OfflineConfig cfg;
  cfg.outputWav = wav.string();
  configure(cfg);
  auto d = SoundDevice::create();
  ASSERT_TRUE(d);
  SoundBuffer* b = makeBuffer(*d, 3, [](uint32_t i) { return int(i) + 1; });
  ASSERT_TRUE(d->setPan(b, 10000));
  ASSERT_TRUE(d->play(b));
  for (uint32_t total : {1000u, 5096u}) {
    offlineRender(total == 1000 ? 1000 : 4096);
    const auto bytes = readBytes(wav);
    ASSERT_EQ(bytes.size(), 44 + total * 4);
    EXPECT_EQ(le32(bytes, 4), 36 + total * 4);
    EXPECT_EQ(le32(bytes, 40), total * 4);
    EXPECT_EQ(wavChannels(bytes.data()), 2);
    for (uint32_t f = 0; f < total; ++f) {
      ASSERT_EQ(bytes[44 + 4 * f] | bytes[45 + 4 * f] << 8, 0) << f;  // left
      ASSERT_EQ(bytes[46 + 4 * f], f % 3 + 1) << f;                     // right
    }
  }
  EXPECT_TRUE(offlineOutput().empty());  // a named WAV takes the output instead of memory
}

TEST_F(SoundOfflineTest, MemoryKeepsTheLastSecondsOnly) {
  const int64_t cap = 30 * 44100;
  offlineRender(cap + 5 * 44100);  // just at the limit: nothing dropped yet
  EXPECT_EQ(offlineOutputFirstFrame(), 0);
  EXPECT_EQ(offlineOutput().size(), size_t(2 * (cap + 5 * 44100)));
  offlineRender(1);
  EXPECT_EQ(offlineOutputFirstFrame(), 5 * 44100 + 1);
  EXPECT_EQ(offlineOutput().size(), size_t(2 * cap));
  configure({});
  EXPECT_EQ(offlineOutputFirstFrame(), 0);
  EXPECT_TRUE(offlineOutput().empty());
}

TEST_F(SoundOfflineTest, BackendSelection) {
  EXPECT_EQ(backendName(), "offline");
  EXPECT_EQ(outputLatencyFrames(), 0);
  selectBackend(AudioBackendKind::Offline);
  EXPECT_EQ(activeBackend(), AudioBackendKind::Offline);
  ::setenv("VEMRA_AUDIO", "offline", 1);  // Auto reads the environment
  selectBackend(AudioBackendKind::Auto);
  EXPECT_EQ(backendName(), "offline");
}

// A JACK server is found by the socket it listens on under its name, without a client of it: a
// socket file left behind by a server that died is no server.
TEST(SoundBackendProbe, AJackServerIsTheOneListeningOnItsSocket) {
  if (audio::realCandidates(AudioBackendKind::Jack).empty()) GTEST_SKIP() << "no JACK in RtAudio";
  const char* was = std::getenv("JACK_DEFAULT_SERVER");
  const std::string saved = was ? was : "";
  const std::string server = "vemra-probe-" + std::to_string(::getpid());
  ::setenv("JACK_DEFAULT_SERVER", server.c_str(), 1);
  const std::string path = "/dev/shm/jack_" + server + "_" + std::to_string(::geteuid()) + "_0";
  struct Case { const char* what; bool file, listening, found; };
  for (const Case c : {Case{"no server", false, false, false},
                       Case{"a stale socket file", true, false, false},
                       Case{"a listening server", true, true, true}}) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    if (c.file) {
      ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    }
    if (c.listening) {
      ASSERT_EQ(::listen(fd, 4), 0);
    }
    const auto kinds = audio::realCandidates(AudioBackendKind::Auto);
    EXPECT_EQ(!kinds.empty() && kinds.front() == AudioBackendKind::Jack, c.found) << c.what;
    ::close(fd);
    ::unlink(path.c_str());
  }
  if (was) ::setenv("JACK_DEFAULT_SERVER", saved.c_str(), 1);
  else ::unsetenv("JACK_DEFAULT_SERVER");
}

// A stream held to its server's frame count makes up what it missed (or got twice) once the
// difference holds, and takes a stalled, restarted, wrapping or unmoving count as it stands.
TEST(SoundBackendProbe, AStreamKeepsInStepWithItsServersFrameCount) {
  constexpr int64_t p = 512;
  struct Case { const char* what; uint32_t start; std::vector<int64_t> steps; int64_t madeUp; };
  for (const Case& c : {Case{"in step", 0, std::vector<int64_t>(20, p), 0},
                        Case{"a missed cycle", 0, {p, p, 2 * p, p, p, p, p, p}, p},
                        Case{"a late callback, then an early one", 0, {p, 3 * p, 0, p, p, p, p}, p},
                        Case{"a cycle got twice", 0, {p, p, 0, p, p, p, p}, -p},
                        Case{"a server that stalled", 0, {p, 441000, p, p, p, p}, 0},
                        Case{"a count that wraps", 0xFFFFFF00u, std::vector<int64_t>(10, p), 0},
                        Case{"a count that never moves", 7, std::vector<int64_t>(400, 0), 0}}) {
    audio::CycleKeeper keeper(2 * kSampleRate);
    uint32_t at = c.start;
    int64_t madeUp = keeper.makeUp(at, p);
    for (int64_t step : c.steps) madeUp += keeper.makeUp(at += uint32_t(step), p);
    EXPECT_EQ(madeUp, c.madeUp) << c.what;
  }
}

// The core under a render thread of its own, as the real backends run it: group starts land on
// one frame, and a released voice's memory can be freed at once (ASan catches a late read).
TEST(SoundMixerCore, ConcurrentRenderStartsTogetherAndReleasesSynchronously) {
  audio::Mixer mixer;
  mixer.setRenderAsync(true);
  std::atomic<bool> stop{false};
  std::thread renderer([&] {
    int16_t out[2 * 64];
    while (!stop.load()) mixer.render(out, 64);
  });
  for (int round = 0; round < 200; ++round) {
    auto a = std::make_unique<int16_t[]>(1000);
    auto b = std::make_unique<int16_t[]>(700);
    const int slots[2] = {mixer.acquire(a.get(), 1000, 1, true),
                          mixer.acquire(b.get(), 350, 2, round % 2 == 0)};
    ASSERT_GE(slots[0], 0);
    ASSERT_GE(slots[1], 0);
    mixer.startTogether(slots, 2);
    EXPECT_TRUE(mixer.started(slots[0]));
    while (mixer.startFrame(slots[0]) == audio::Mixer::kNotStarted ||
           mixer.startFrame(slots[1]) == audio::Mixer::kNotStarted)
      std::this_thread::yield();
    EXPECT_EQ(mixer.startFrame(slots[0]), mixer.startFrame(slots[1]));
    EXPECT_TRUE(mixer.release(slots[0]));
    a.reset();
    EXPECT_TRUE(mixer.release(slots[1]));
    b.reset();
  }
  stop = true;
  renderer.join();
  EXPECT_GT(mixer.framesRendered(), 0);
  for (int i = 0; i < audio::Mixer::kSlots; ++i) EXPECT_GE(mixer.acquire(nullptr, 0, 1, true), 0);
  EXPECT_EQ(mixer.acquire(nullptr, 0, 1, true), -1);  // all slots in use
}

// A real device, when this machine has one (a JACK server, PulseAudio or ALSA hardware).
TEST(SoundRealBackend, PlaysOnARealDeviceWhenThereIsOne) {
  std::unique_ptr<SoundDevice> d;
  for (auto kind : {AudioBackendKind::Jack, AudioBackendKind::Pulse, AudioBackendKind::Alsa}) {
    selectBackend(kind);
    d = SoundDevice::create();
    if (d) break;
  }
  if (!d) {
    shutdownAudio();
    selectBackend(AudioBackendKind::Offline);
    GTEST_SKIP() << "no real audio output on this machine";
  }
  std::printf("backend %s, output latency %ld frames\n", backendName().c_str(),
              outputLatencyFrames());
  SoundBuffer* b = d->createBuffer();
  ASSERT_TRUE(b);
  ASSERT_TRUE(d->setVolume(b, -10000));
  ASSERT_TRUE(d->play(b));
  std::atomic<int64_t> captured{0};
  const bool capturing =
      openCapture(2, [&](const int16_t*, size_t n) { captured.fetch_add(int64_t(n)); });
  // Generous bounds: this checks that the callbacks run, not how fast.
  for (int i = 0; i < 1000 && (d->framesPlayed() < 4410 || (capturing && captured < 4410)); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_GE(d->framesPlayed(), 4410);
  if (capturing) {
    EXPECT_GE(captured.load(), 4410);
  }
  const int id = playStream(std::make_shared<std::vector<int16_t>>(441, 0), 1);
  EXPECT_GT(id, 0);
  stopStream(id);
  d->releaseBuffer(b);
  closeCapture();
  d.reset();
  shutdownAudio();
  selectBackend(AudioBackendKind::Offline);
}

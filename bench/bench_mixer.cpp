// Mixer speed: one second (44,100 frames) of 28 looping track buffers rendered to stereo.
// Counters: frames per second of wall time, and "x_realtime" = seconds of audio per second.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

#include "platform/audio_mixer.h"
#include "platform/sound.h"

namespace {

constexpr int kTracks = 28;
constexpr int64_t kBufferFrames = platform::kSampleRate * platform::kDeviceSeconds;

void fillNoise(int16_t* p, int64_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> d(-3000, 3000);
  for (int64_t i = 0; i < n; ++i) p[i] = int16_t(d(rng));
}

void report(benchmark::State& state) {
  state.SetItemsProcessed(int64_t(state.iterations()) * platform::kSampleRate);
  state.counters["x_realtime"] =
      benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

// The mixer core, as the audio callback drives it (int16 or float output).
template <class Sample>
void BM_MixerCore(benchmark::State& state) {
  platform::audio::Mixer mixer;
  std::vector<std::unique_ptr<int16_t[]>> buffers;
  std::vector<int> slots;
  for (int t = 0; t < kTracks; ++t) {
    buffers.push_back(std::make_unique<int16_t[]>(kBufferFrames));
    fillNoise(buffers.back().get(), kBufferFrames, unsigned(t));
    const int slot = mixer.acquire(buffers.back().get(), kBufferFrames, 1, true);
    const auto g = platform::panVolumeGain((t % 7 - 3) * 1000, -(t % 5) * 300);
    mixer.setGains(slot, g.left, g.right);
    slots.push_back(slot);
  }
  mixer.startTogether(slots.data(), slots.size());
  const size_t block = size_t(state.range(0));
  std::vector<Sample> out(2 * block);
  for (auto _ : state) {
    for (size_t done = 0; done < size_t(platform::kSampleRate); done += block) {
      mixer.render(out.data(), std::min(block, size_t(platform::kSampleRate) - done));
      benchmark::DoNotOptimize(out.data());
    }
  }
  report(state);
}
BENCHMARK_TEMPLATE(BM_MixerCore, int16_t)->Arg(512)->Arg(4096)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_MixerCore, float)->Arg(512)->Unit(benchmark::kMillisecond);

// The whole offline path: sound device, buffers, offlineRender into the in-memory output.
void BM_OfflineBackend(benchmark::State& state) {
  platform::configureOffline({});
  auto device = platform::SoundDevice::create();
  if (!device) {
    state.SkipWithError("no offline device");
    return;
  }
  std::vector<platform::SoundBuffer*> buffers;
  for (int t = 0; t < kTracks; ++t) {
    platform::SoundBuffer* b = device->createBuffer();
    fillNoise(device->lock(b), kBufferFrames, unsigned(t));
    device->setPan(b, (t % 7 - 3) * 1000);
    device->setVolume(b, -(t % 5) * 300);
    buffers.push_back(b);
  }
  device->playAll(buffers);
  for (auto _ : state) platform::offlineRender(platform::kSampleRate);
  report(state);
  device.reset();
  platform::shutdownAudio();
}
BENCHMARK(BM_OfflineBackend)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

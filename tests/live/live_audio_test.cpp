// Plays a known signal through the sound device while the recorder records it, with the
// device's output wired to the recorder's input inside a JACK server, and checks the take.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/mci.h"
#include "platform/paths.h"
#include "platform/sound.h"

namespace fs = std::filesystem;
using namespace platform;

namespace {

constexpr int kBurst = 4096;            // frames of noise at the start of every loop
constexpr int kLoop = kSampleRate * 2;  // the buffer's loop, in frames

std::string run(const std::string& cmd) {
  std::string out;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char buf[512];
    while (fgets(buf, sizeof buf, p)) out += buf;
    pclose(p);
  }
  return out;
}

std::vector<std::string> ports(const std::string& client) {
  std::vector<std::string> v;
  std::istringstream in(run("jack_lsp"));
  for (std::string line; std::getline(in, line);)
    if (line.rfind(client + ":", 0) == 0) v.push_back(line);
  return v;
}

bool connect(const std::string& from, const std::string& to) {
  std::string cmd = "jack_connect '" + from + "' '" + to + "'";
  return std::system(cmd.c_str()) == 0;
}

// Normalised cross-correlation of the recording against the burst at lag `at`.
double correlation(const std::vector<int16_t>& rec, const std::vector<int16_t>& burst, size_t at) {
  double xy = 0, xx = 0, yy = 0;
  for (size_t i = 0; i < burst.size(); ++i) {
    double x = rec[at + i], y = burst[i];
    xy += x * y; xx += x * x; yy += y * y;
  }
  return (xx > 0 && yy > 0) ? xy / std::sqrt(xx * yy) : 0.0;
}

// Best lag of the burst in rec[from, to).
std::pair<size_t, double> find(const std::vector<int16_t>& rec, const std::vector<int16_t>& burst,
                               size_t from, size_t to) {
  size_t best = from; double bestC = -1;
  for (size_t at = from; at + burst.size() <= rec.size() && at < to; ++at) {
    double c = correlation(rec, burst, at);
    if (c > bestC) { bestC = c; best = at; }
  }
  return {best, bestC};
}

}  // namespace

TEST(LiveJack, PlayedSignalIsRecorded) {
  if (!std::getenv("JACK_DEFAULT_SERVER")) GTEST_SKIP() << "run through run_live.sh";
  char tmpl[] = "/tmp/vemra-live-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  fs::path root = tmpl;
  fs::create_directories(root / "Vemracd" / "Mysong");
  setDriveRoot(root.string());

  const std::string outName = "vemra-live-out", inName = "vemra-live-cap44";
  setClientNames(outName, inName);
  selectBackend(AudioBackendKind::Jack);
  ASSERT_EQ(activeBackend(), AudioBackendKind::Jack) << backendName();

  auto dev = SoundDevice::create();
  ASSERT_TRUE(dev) << "no output on the JACK server";
  SoundBuffer* buf = dev->createBuffer();
  ASSERT_NE(buf, nullptr);

  // A burst of noise at the start of the loop, silence after it.
  std::vector<int16_t> burst(kBurst);
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> dist(-12000, 12000);
  // Band-limited noise: a server at another rate delays it by a fraction of a sample, which
  // full-band noise would not survive at whole-sample lags.
  std::vector<double> noise(kBurst + 9);
  for (auto& v : noise) v = dist(rng);
  for (int pass = 0; pass < 3; ++pass)
    for (size_t i = 0; i + 3 < noise.size(); ++i)
      noise[i] = (noise[i] + noise[i + 1] + noise[i + 2] + noise[i + 3]) / 4;
  for (int i = 0; i < kBurst; ++i) burst[i] = static_cast<int16_t>(std::lround(noise[i] * 2));
  int16_t* mem = dev->lock(buf);
  std::copy(burst.begin(), burst.end(), mem);

  ASSERT_TRUE(mciExecute("open new type waveaudio alias cap44 "));
  ASSERT_TRUE(mciExecute("set cap44 bitspersample 16 channels 1 samplespersec 44100 "));
  ASSERT_TRUE(mciExecute("Cue cap44 input  "));
  ASSERT_TRUE(mciExecute("record cap44 From 0 "));

  auto outs = ports(outName), ins = ports(inName);
  ASSERT_FALSE(outs.empty()) << run("jack_lsp");
  ASSERT_FALSE(ins.empty()) << run("jack_lsp");
  ASSERT_TRUE(connect(outs[0], ins[0]));

  const int64_t capturedAtPlay = captureFramesDelivered();
  ASSERT_TRUE(dev->play(buf));
  waitFor(3500);  // the burst, a loop later the burst again, and some margin
  ASSERT_TRUE(mciExecute("stop cap44 "));
  ASSERT_TRUE(mciExecute("save cap44 C:\\Vemracd\\Mysong\\T01.wav"));
  ASSERT_TRUE(mciExecute("close cap44 "));
  long latency = outputLatencyFrames();
  dev.reset();
  shutdownAudio();

  std::ifstream f(root / "Vemracd" / "Mysong" / "T01.wav", std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  ASSERT_GT(bytes.size(), 44u + 2u * kSampleRate);
  std::vector<int16_t> rec((bytes.size() - 44) / 2);
  std::memcpy(rec.data(), bytes.data() + 44, rec.size() * 2);

  auto [first, c1] = find(rec, burst, 0, kLoop);
  EXPECT_GT(c1, 0.95) << "the played burst is not in the recording";
  auto [second, c2] = find(rec, burst, first + kLoop - 64, first + kLoop + 64);
  EXPECT_GT(c2, 0.95) << "the loop's second pass is not in the recording";
  // The buffer loops every two seconds of 44.1 kHz, whatever rate the server runs at.
  EXPECT_NEAR(static_cast<double>(second) - first, kLoop, 2.0);

  const char* rate = std::getenv("VEMRA_LIVE_RATE");
  const long offset = static_cast<long>(first) - static_cast<long>(capturedAtPlay);
  std::printf("LIVE RESULT: server rate %s Hz: the burst is at sample %zu of the take; the recorder had "
              "%lld frames when play started, so played -> recorded offset = %ld samples (%.1f ms); "
              "correlation %.4f / %.4f; loop %zd frames; output latency reported %ld frames\n",
              rate ? rate : "?", first, static_cast<long long>(capturedAtPlay), offset, offset / 44.1,
              c1, c2, static_cast<ssize_t>(second - first), latency);
  fs::remove_all(root);
  setDriveRoot("");
}

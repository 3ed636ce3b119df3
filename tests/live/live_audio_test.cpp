// Plays a known signal through the sound device while the recorder records it, with the
// device's output wired to the recorder's input inside a JACK server, and checks the take.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/application.h"
#include "platform/app_loop.h"
#include "platform/clock.h"
#include "platform/mci.h"
#include "platform/paths.h"
#include "platform/sound.h"
#include "platform/ui.h"
#include "platform/wav.h"
#include "shell/main_form.h"
#include "tests/support/program_fixture.h"
#include "transport/transport.h"

namespace fs = std::filesystem;
namespace ui = platform::ui;
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
  // A busy server can turn jack_lsp away for a moment: it is asked again after a pause.
  std::string list = run("jack_lsp 2>/dev/null && echo listed");
  for (int tries = 1; tries < 5 && !list.ends_with("listed\n"); ++tries)
    usleep(200 * 1000), list = run("jack_lsp 2>/dev/null && echo listed");
  std::vector<std::string> v;
  std::istringstream in(list);
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

// Band-limited noise: a server at another rate delays it by a fraction of a sample, which
// full-band noise would not survive at whole-sample lags.
std::vector<int16_t> bandLimitedNoise(size_t n, unsigned seed, int amplitude) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> dist(-amplitude, amplitude);
  std::vector<double> noise(n + 9);
  for (auto& v : noise) v = dist(rng);
  for (int pass = 0; pass < 3; ++pass)
    for (size_t i = 0; i + 3 < noise.size(); ++i)
      noise[i] = (noise[i] + noise[i + 1] + noise[i + 2] + noise[i + 3]) / 4;
  std::vector<int16_t> out(n);
  for (size_t i = 0; i < n; ++i) out[i] = static_cast<int16_t>(std::lround(noise[i] * 2));
  return out;
}

std::vector<char> readBytes(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::vector<char>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

std::vector<int16_t> samplesOf(const std::vector<char>& bytes) {
  std::vector<int16_t> s(bytes.size() > 44 ? (bytes.size() - 44) / 2 : 0);
  if (!s.empty()) std::memcpy(s.data(), bytes.data() + 44, s.size() * 2);
  return s;
}

// Frames from a sound's render by the mixer to its place in a take, on this server (the first
// test measures it; the later ones turn their lags into times with it).
std::optional<long> gLoopLatency;

void writeFile(const fs::path& p, const std::vector<char>& bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<char> wavBytes(const std::vector<int16_t>& samples) {
  const auto h = wavHeader(1, static_cast<uint32_t>(samples.size() * 2));
  std::vector<char> b(h.size() + samples.size() * 2);
  std::memcpy(b.data(), h.data(), h.size());
  if (!samples.empty()) std::memcpy(b.data() + h.size(), samples.data(), samples.size() * 2);
  return b;
}

// A drive C: with the program folder, so that start-up finds what it checks; returns its root.
fs::path programDrive() {
  char tmpl[] = "/tmp/vemra-live-XXXXXX";
  if (!mkdtemp(tmpl)) return {};
  const fs::path root = tmpl;
  fs::create_directories(root / "Vemracd" / "Mysong");
  writeFile(root / "Vemracd" / "def", wavBytes({}));
  writeFile(root / "Vemracd" / "def1", wavBytes({}));
  writeFile(root / "Vemracd" / "Mv01.exe", std::vector<char>(16, 1));
  writeFile(root / "Vemracd" / "Parms", std::vector<char>(300, 0));
  setDriveRoot(root.string());
  return root;
}

// Wires the first output port of one client to the first input port of another.
bool wire(const std::string& outClient, const std::string& inClient) {
  auto outs = ports(outClient), ins = ports(inClient);
  return !outs.empty() && !ins.empty() && connect(outs[0], ins[0]);
}

// Answers every box of the program with its first button (OK).
struct OkResponder : ui::Responder {
  int answerBox(const ui::BoxRecord&) override { return ui::kOk; }
  std::optional<std::string> answerInput(const ui::BoxRecord&) override { return std::nullopt; }
  std::optional<std::string> answerMenu(const ui::BoxRecord&) override { return std::nullopt; }
};

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
  const std::vector<int16_t> burst = bandLimitedNoise(kBurst, 7, 12000);
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
  gLoopLatency = offset;
  std::printf("LIVE RESULT: server rate %s Hz: the burst is at sample %zu of the take; the recorder had "
              "%lld frames when play started, so played -> recorded offset = %ld samples (%.1f ms); "
              "correlation %.4f / %.4f; loop %zd frames; output latency reported %ld frames\n",
              rate ? rate : "?", first, static_cast<long long>(capturedAtPlay), offset, offset / 44.1,
              c1, c2, static_cast<ssize_t>(second - first), latency);
  fs::remove_all(root);
  setDriveRoot("");
}

// Output and input are two clients of the server, and one can miss cycles the other does not
// (here the input's callback is held up for 40 ms, three or four cycles): the take stays in
// step with what plays, the loop's second pass a loop after the first.
TEST(LiveJack, AHeldUpInputStaysInStepWithTheOutput) {
  if (!std::getenv("JACK_DEFAULT_SERVER")) GTEST_SKIP() << "run through run_live.sh";
  const std::string outName = "vemra-live-out", inName = "vemra-live-held";
  setClientNames(outName, inName);
  selectBackend(AudioBackendKind::Jack);
  auto dev = SoundDevice::create();
  ASSERT_TRUE(dev) << "no output on the JACK server";
  SoundBuffer* buf = dev->createBuffer();
  const std::vector<int16_t> burst = bandLimitedNoise(kBurst, 7, 12000);
  std::copy(burst.begin(), burst.end(), dev->lock(buf));
  std::vector<int16_t> rec;
  rec.reserve(8 * kSampleRate);
  ASSERT_TRUE(openCapture(1, [&rec](const int16_t* f, size_t n) {
    if (rec.size() < kSampleRate && rec.size() + n >= kSampleRate) usleep(40000);
    if (rec.size() + n <= rec.capacity()) rec.insert(rec.end(), f, f + n);
  }));
  ASSERT_TRUE(wire(outName, inName)) << run("jack_lsp");
  ASSERT_TRUE(dev->play(buf));
  waitFor(3500);
  closeCapture();
  dev.reset();
  shutdownAudio();
  auto [first, c1] = find(rec, burst, 0, kLoop);
  auto [second, c2] = find(rec, burst, first + kLoop - 2048, first + kLoop + 2048);
  std::printf("LIVE RESULT: input held up 40 ms: the loop's passes lie %ld frames apart "
              "(correlation %.4f / %.4f)\n", long(second) - long(first), c1, c2);
  EXPECT_GT(c1, 0.95) << "the played burst is not in the recording";
  EXPECT_GT(c2, 0.95) << "the loop's second pass is not in the recording";
  EXPECT_NEAR(double(second) - double(first), kLoop, 2.0) << "the input fell out of step";
}

// The real road of an overdub: the whole program records track 02 through the record button
// while track 01 (noise the test wrote) plays, the program's output wired to its input inside
// the JACK server; STOP comes from a window timer after about 3 s and finishes the take. T02 is
// then searched for T01: the lag is how much later a played sample lands in the new track.
TEST(LiveJack, OverdubRecordsTrackOneIntoTrackTwo) {
  if (!std::getenv("JACK_DEFAULT_SERVER")) GTEST_SKIP() << "run through run_live.sh";
  platform::ensureApplication();
  const fs::path root = programDrive();
  ASSERT_FALSE(root.empty());
  const fs::path song = root / "Vemracd" / "Mysong";
  // Track 01: 6 s of noise.
  const std::vector<int16_t> t01 = bandLimitedNoise(6 * kSampleRate, 11, 6000);
  writeFile(song / "T01.wav", wavBytes(t01));

  const std::string outName = "vemra-live-prog", inName = "vemra-live-prog-in";
  setClientNames(outName, inName);
  selectBackend(AudioBackendKind::Jack);
  ASSERT_EQ(activeBackend(), AudioBackendKind::Jack) << backendName();
  OkResponder responder;
  ui::setResponder(&responder);
  {
    app::Application program;
    program.start();
    ASSERT_TRUE(openInputStream());  // as the window's showing does
    shell::MainForm& form = program.mainForm();
    ASSERT_EQ(form.R[0]->foreColor(), ui::colour::kBlue) << "start-up did not find T01.wav";

    // The output opened, as the run will find it, and wired to the input before the click:
    // nothing of the test's holds the event loop, from which the run refills its buffers.
    ASSERT_TRUE(SoundDevice::create()) << "no output on the JACK server";
    ASSERT_TRUE(wire(outName, inName)) << run("jack_lsp");
    std::string late;  // the engine's figure: how much later than the recording the tracks began
    ui::Timer& stop = form.addTimer("liveStop", 3000, true);
    stop.onTimer = [&] {
      stop.setEnabled(false);
      late = form.late->caption();  // STOP clears it
      form.RPSTOP->click();
    };
    form.R[1]->click();  // returns once STOP has finished the take and the loop has ended
    EXPECT_EQ(form.Umsg->caption(), transport::Transport::kStoppedText);
    EXPECT_FALSE(program.system().transport->recbusy());
    std::printf("engine: the tracks began %s after the recording; output latency %ld frames\n",
                late.c_str(), outputLatencyFrames());
  }
  ui::setResponder(nullptr);
  shutdownAudio();
  mciReset();

  const std::vector<char> bytes = readBytes(song / "T02.wav");
  ASSERT_GT(bytes.size(), 44u + 2u * kSampleRate) << "T02.wav holds less than a second";
  const auto h = wavHeader(1, static_cast<uint32_t>(bytes.size() - 44));
  EXPECT_EQ(std::vector<char>(bytes.begin(), bytes.begin() + 44), std::vector<char>(h.begin(), h.end()));
  const std::vector<int16_t> t02 = samplesOf(bytes);

  // A stretch of T01 from its second 1, looked for in T02 at every lag up to one second.
  constexpr size_t kFrom = kSampleRate, kLen = 4096;
  const std::vector<int16_t> piece(t01.begin() + kFrom, t01.begin() + kFrom + kLen);
  auto [at, c] = find(t02, piece, 0, kFrom + kSampleRate);
  const long offset = static_cast<long>(at) - static_cast<long>(kFrom);
  // The same lag holds a second later (the tracks stay in step).
  const std::vector<int16_t> later(t01.begin() + 2 * kFrom, t01.begin() + 2 * kFrom + kLen);
  const double c2 = at + kSampleRate + kLen <= t02.size() ? correlation(t02, later, at + kSampleRate) : 0;
  const char* rate = std::getenv("VEMRA_LIVE_RATE");
  std::printf("LIVE RESULT: overdub at server rate %s Hz: T02 holds T01 %ld samples (%.1f ms) late; "
              "correlation %.4f at T01's second 1, %.4f at its second 2; T02 %zu samples\n",
              rate ? rate : "?", offset, offset / 44.1, c, c2, t02.size());
  // T01's sample k starts with the buffers, reaches the input gLoopLatency later and lands at
  // k + offset of T02: T02's first sample was captured (offset - latency) before the buffers
  // started.
  if (gLoopLatency) {
    const long lead = offset - *gLoopLatency;
    std::printf("LIVE RESULT: overdub: the first recorded sample was captured %.1f ms before the "
                "buffers started (playAll)\n", lead / 44.1);
    // The take begins with the buffers, give or take the device period in which the record
    // command lands: within 50 ms either way, well short of the tracks' set-up time.
    EXPECT_LT(std::labs(lead), 50 * 441 / 10) << "the take began " << lead / 44.1
                                              << " ms before the buffers";
  }
  EXPECT_GT(c, 0.9) << "T01 is not in the recorded T02";
  EXPECT_GT(c2, 0.9) << "T02 does not stay in step with T01";
  fs::remove_all(root);
  setDriveRoot("");
}

// Track 01 recorded alone while a loop of noise the test plays (the program's output wired to
// its input) tells, by where the take begins in the loop, when the take's first sample was
// captured: it should be the sound of the moment of the click.
TEST(LiveJack, TakeBeginsAtTheRecordClick) {
  if (!std::getenv("JACK_DEFAULT_SERVER")) GTEST_SKIP() << "run through run_live.sh";
  platform::ensureApplication();
  const fs::path root = programDrive();
  ASSERT_FALSE(root.empty());
  const std::string outName = "vemra-live-r01", inName = "vemra-live-r01-in";
  setClientNames(outName, inName);
  selectBackend(AudioBackendKind::Jack);
  OkResponder responder;
  ui::setResponder(&responder);
  const std::vector<int16_t> loop = bandLimitedNoise(kLoop, 5, 8000);
  int64_t atClick = 0;
  {
    app::Application program;
    program.start();
    const int64_t t0 = nowMs();
    ASSERT_TRUE(openInputStream());  // as the window's showing does
    std::printf("LIVE RESULT: opening the input stream took %lld ms (no take waits for it)\n",
                static_cast<long long>(nowMs() - t0));
    auto dev = SoundDevice::create();
    ASSERT_TRUE(dev);
    SoundBuffer* buf = dev->createBuffer();
    ASSERT_NE(buf, nullptr);
    std::copy(loop.begin(), loop.end(), dev->lock(buf));
    ASSERT_TRUE(wire(outName, inName)) << run("jack_lsp");
    ASSERT_TRUE(dev->play(buf));
    waitFor(500);
    shell::MainForm& form = program.mainForm();
    atClick = dev->framesPlayed();
    form.R[0]->click();  // track 01 records alone: returns at once
    waitFor(2000);
    form.RPSTOP->click();
    dev.reset();
  }
  ui::setResponder(nullptr);
  shutdownAudio();
  mciReset();

  const std::vector<int16_t> take = samplesOf(readBytes(root / "Vemracd" / "Mysong" / "T01.wav"));
  ASSERT_GT(take.size(), size_t(kSampleRate)) << "T01.wav holds less than a second";
  // Where in the loop the take begins: the loop, continued once round, searched for the take's
  // first 1024 samples.
  std::vector<int16_t> twice(loop);
  twice.insert(twice.end(), loop.begin(), loop.end());
  const std::vector<int16_t> head(take.begin(), take.begin() + 1024);
  size_t best = 0;
  double bestC = -1;
  for (size_t at = 0; at < size_t(kLoop); ++at) {
    double xy = 0, xx = 0, yy = 0;
    for (size_t i = 0; i < head.size(); ++i) {
      const double x = twice[at + i], y = head[i];
      xy += x * y; xx += x * x; yy += y * y;
    }
    const double c = xx > 0 && yy > 0 ? xy / std::sqrt(xx * yy) : 0;
    if (c > bestC) { bestC = c; best = at; }
  }
  EXPECT_GT(bestC, 0.9) << "the take does not begin with the played loop";
  // The loop's frame `best` was rendered (best - atClick) frames after the click (modulo the
  // loop) and reached the input gLoopLatency later.
  long d = (static_cast<long>(best) - static_cast<long>(atClick % kLoop) + gLoopLatency.value_or(0)) % kLoop;
  if (d < -kLoop / 2) d += kLoop;
  if (d >= kLoop / 2) d -= kLoop;
  std::printf("LIVE RESULT: R01 click to the take's first sample: %.1f ms (%ld frames; correlation "
              "%.4f; loop latency %ld frames)\n",
              d / 44.1, d, bestC, gLoopLatency.value_or(-1));
  fs::remove_all(root);
  setDriveRoot("");
}

namespace {

std::string jackdPidFile() {
  const char* p = std::getenv("VEMRA_LIVE_JACKD_PIDFILE");
  return p ? p : "";
}

pid_t serverPid() {
  std::ifstream in(jackdPidFile());
  pid_t pid = 0;
  in >> pid;
  return pid;
}

// Stops the test's JACK server: SIGTERM, as a shutdown does.
void stopServer() {
  if (const pid_t pid = serverPid(); pid > 0) ::kill(pid, SIGTERM);
}

// Starts the server again under the same name once the old one has gone (a stopped server that
// is nobody's child stays registered until it has been reaped), its pid where the clean-up
// finds it.
bool restartServer() {
  for (int i = 0; i < 200 && serverPid() > 0 && ::kill(serverPid(), 0) == 0; ++i) ::usleep(50000);
  const char* rate = std::getenv("VEMRA_LIVE_RATE");
  const std::string cmd = std::string("jackd --no-realtime -n \"$JACK_DEFAULT_SERVER\" -d dummy -r ") +
                          (rate ? rate : "44100") + " -p 512 >/dev/null 2>&1 & echo $! > '" +
                          jackdPidFile() + "'";
  if (std::system(cmd.c_str()) != 0) return false;
  return std::system("timeout 20 jack_wait -w -t 15 >/dev/null 2>&1") == 0;
}

}  // namespace

// The JACK server stops during an overdub, and again during PLAY: each run ends within about a
// second, the take holds what was recorded until then, one "SOUND STOPPED" box shows each
// time; with the server started again, PLAY plays.
TEST(LiveJack, ServerStopEndsTheRunAndPlayWorksOnceItIsBack) {
  if (!std::getenv("JACK_DEFAULT_SERVER") || jackdPidFile().empty())
    GTEST_SKIP() << "run through run_live.sh";
  platform::ensureApplication();
  const fs::path root = programDrive();
  ASSERT_FALSE(root.empty());
  const fs::path song = root / "Vemracd" / "Mysong";
  writeFile(song / "T01.wav", wavBytes(bandLimitedNoise(10 * kSampleRate, 3, 6000)));
  const std::string outName = "vemra-live-loss", inName = "vemra-live-loss-in";
  setClientNames(outName, inName);
  selectBackend(AudioBackendKind::Jack);
  test_support::LoggingResponder answers;
  ui::setResponder(&answers);
  int64_t stoppedAt = 0, boxAt = 0, endedAt = 0;
  {
    app::Application program;
    program.start();
    ASSERT_TRUE(openInputStream());
    shell::MainForm& form = program.mainForm();
    ui::Timer& kill = form.addTimer("liveKill", 1500);
    kill.onTimer = [&] {
      kill.setEnabled(false);
      stoppedAt = nowMs();
      // stderr held for a while, as a slow terminal holds it: nothing that runs on the client
      // library's threads when the server goes may wait for it.
      std::thread([] {
        ::flockfile(stderr);
        ::usleep(400000);
        ::funlockfile(stderr);
      }).detach();
      stopServer();
    };
    // When the transport showed STOP: seen by a timer while STOP finishes a take, else when
    // the box comes (a playback's STOP does not yield).
    ui::Timer& watch = form.addTimer("liveWatch", 10);
    watch.onTimer = [&] {
      if (stoppedAt == 0 || form.PLAY->foreColor() == ui::colour::kRed) return;
      watch.setEnabled(false);
      endedAt = nowMs();
    };
    // The server stops 1.5 s into the run that `button` starts: one more box, the transport
    // stopped; then the server starts again.
    auto stopServerDuring = [&](ui::Label* button, const char* run) {
      SCOPED_TRACE(run);
      const size_t boxes = answers.shown.size();
      stoppedAt = endedAt = 0;
      answers.during = [&](const ui::BoxRecord&) {
        boxAt = nowMs();
        if (endedAt == 0) endedAt = boxAt;
      };
      kill.setEnabled(true);
      watch.setEnabled(true);
      button->click();  // returns once the run has ended
      ASSERT_EQ(answers.shown.size(), boxes + 1) << "one box for the loss";
      EXPECT_EQ(answers.shown.back().title, transport::Transport::kSoundStoppedTitle);
      EXPECT_EQ(answers.shown.back().text, transport::Transport::kSoundStoppedText);
      EXPECT_EQ(form.PLAY->foreColor(), ui::colour::kYellow);
      EXPECT_EQ(form.RPSTOP->foreColor(), ui::colour::kRed);
      EXPECT_FALSE(program.system().transport->recbusy());
      std::printf("LIVE RESULT: server stopped during %s: the transport showed STOP %lld ms and "
                  "the box %lld ms after the stop began\n", run,
                  static_cast<long long>(endedAt - stoppedAt),
                  static_cast<long long>(boxAt - stoppedAt));
      ASSERT_TRUE(restartServer()) << "jackd did not start again";
    };

    stopServerDuring(form.R[1], "an overdub of track 02");
    const auto t02 = samplesOf(readBytes(song / "T02.wav"));
    std::printf("LIVE RESULT: T02 keeps %.2f s of the overdub\n", t02.size() / 44100.0);
    EXPECT_GT(t02.size(), size_t(kSampleRate / 2)) << "the take up to the loss was saved";
    stopServerDuring(form.PLAY, "PLAY");

    bool played = false;
    ui::Timer& stop = form.addTimer("liveStop", 1500, true);
    stop.onTimer = [&] {
      stop.setEnabled(false);
      played = !ports(outName).empty() && outputLatencyFrames() > 0;
      form.RPSTOP->click();
    };
    const size_t boxes = answers.shown.size();
    form.PLAY->click();
    EXPECT_TRUE(played) << "PLAY did not play on the restarted server";
    EXPECT_EQ(answers.shown.size(), boxes) << answers.shown.back().title;
    EXPECT_EQ(form.Umsg->caption(), transport::Transport::kStoppedText);
  }
  ui::setResponder(nullptr);
  shutdownAudio();
  mciReset();
  fs::remove_all(root);
  setDriveRoot("");
}

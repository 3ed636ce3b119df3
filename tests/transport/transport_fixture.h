// The whole program on a temporary drive, under the simulated clock with the offline sound
// device, for the tests of PLAY and the record buttons. Track files carry "stamped" samples
// (each tells its track and its place) and the recorder hears a WAV whose samples tell their
// place, so output and takes can be checked sample for sample.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/sound.h"
#include "tests/support/program_fixture.h"

namespace transport_test {

namespace fs = std::filesystem;
namespace ui = platform::ui;
namespace colour = ui::colour;
using test_support::Bytes;
using test_support::readAll;
using test_support::wavFile;
using test_support::writeAll;

constexpr int64_t kRate = 44100;

// Sample j of what the recorder hears: never 0 and not repeating within a second.
inline int16_t heard(int64_t j) { return int16_t(-1 - j % 29989); }
// Sample j of track n's file: never 0, different from track to track.
inline int16_t stamp(int n, int64_t j) { return int16_t(1 + j % 1021 + 37 * n); }

// The first `n` samples the recorder hears, as a track file holds them.
inline Bytes heardTake(int64_t n) {
  std::vector<int16_t> s(static_cast<size_t>(n));
  for (int64_t j = 0; j < n; ++j) s[size_t(j)] = heard(j);
  return wavFile(1, s);
}

// What the mixer makes of one sample at a gain (float, rounded half away from zero).
inline int16_t mixed(float sum) {
  sum = std::min(32767.0f, std::max(-32768.0f, sum));
  return int16_t(int(sum + std::copysign(0.5f, sum)));
}

// Absolute index (frames since the device was configured) of the next frame to render.
inline int64_t nextFrame() {
  return platform::offlineOutputFirstFrame() + int64_t(platform::offlineOutput().size() / 2);
}
// Output frame at absolute index `f` as (left, right); (0, 0) where nothing was rendered.
inline std::pair<int16_t, int16_t> frame(int64_t f) {
  const auto& out = platform::offlineOutput();
  const int64_t i = f - platform::offlineOutputFirstFrame();
  if (i < 0 || size_t(2 * i + 1) >= out.size()) return {0, 0};
  return {out[size_t(2 * i)], out[size_t(2 * i + 1)]};
}

// The program with the song folder, the program folder and the recorder's input in place;
// start it with startProgram().
class TransportRun : public test_support::ProgramTest {
 protected:
  TransportRun() { heard_ = "heard.wav"; }

  void SetUp() override {
    ProgramTest::SetUp();
    std::vector<int16_t> in(size_t(30 * kRate));
    for (size_t j = 0; j < in.size(); ++j) in[j] = heard(int64_t(j));
    writeAll(fs::path(root) / "heard.wav", wavFile(1, in));
    // The program folder, so that start-up shows no box.
    const fs::path folder = fs::path(root) / "Vemracd";
    writeAll(folder / "def", wavFile(1, {}));
    writeAll(folder / "def1", wavFile(2, {}));
    writeAll(folder / "Mv01.exe", Bytes(16, 1));
    writeAll(folder / "Parms", Bytes(300, 0));
  }

  // Tnn.wav with `samples` stamped samples.
  void writeTrack(int n, int64_t samples) {
    std::vector<int16_t> s(static_cast<size_t>(samples));
    for (int64_t j = 0; j < samples; ++j) s[size_t(j)] = stamp(n, j);
    writeAll(track(n), wavFile(1, s));
  }

  // STOP, clicked at `ms`, and the finishing of a take run to its end.
  void stopAt(int64_t ms) { at(ms, [this] { form().RPSTOP->click(); }); }
  void finish() { runFor(3000); }
};

}  // namespace transport_test

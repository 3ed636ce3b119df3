// The mixdown program's logic: the request file `Parms` and tracks 01-14 of the song folder
// turned into the stereo master `Mix.wav`, sounding as the live mix of the sound device does.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace mixdown {

constexpr int kTracks = 14;
constexpr int16_t kRequestCode = 99;
constexpr size_t kCodeOffset = 11;
constexpr size_t kValuesOffset = 15;                           // volume of track n at 15 + 4(n-1)
constexpr size_t kRequestBytes = kValuesOffset + 4 * kTracks;  // 71: through track 14's pan
constexpr int kRate = 44100;
constexpr size_t kBlockFrames = kRate;  // frames streamed per step: one second

// The request's 14 volume/pan pairs, as 16-bit numbers.
struct Request {
  std::array<int16_t, kTracks> volume{};
  std::array<int16_t, kTracks> pan{};
};

// Reads the request from the bytes of `Parms`. Nothing (and `error` set) when the file is too
// short or its code is not 99. Every value is accepted: each 16-bit number has a meaning below.
std::optional<Request> parseRequest(std::span<const uint8_t> bytes, std::string& error);

// Levels in hundredths of a decibel, as the sound device takes them.
constexpr double kSilent = -10000;
// A request volume (twice the fader's mixer-scale value 30 x travel) -> the live volume curve:
// silent below travel 2, the centre detent's -1536 strictly between 46 and 50, 0 above 92,
// else -32 per pixel below travel 94.
double volumeLevel(int volume);
// A request pan (348 per knob pixel from the left end, 16383 the centre) -> the live pan law:
// 0 in the centre detent (46..48 pixels), else 110 per pixel from -5000 (left) to 5000 (right).
double panLevel(int pan);

struct Gains {
  double left = 0;
  double right = 0;
  bool silent() const { return left == 0 && right == 0; }
};
// Linear gains of a track: the volume on both sides, the pan taken off the opposite side.
Gains trackGains(int volume, int pan);

// Mixes `frames` frames of the given mono tracks into interleaved stereo `out`: the sum of
// each track times its gains, rounded to nearest (halves to even) and saturated to 16 bits.
void mixBlock(std::span<const int16_t* const> tracks, std::span<const Gains> gains, size_t frames,
              int16_t* out);

// The most sound a WAV file holds: its RIFF size (the data and 36 bytes of header) is 32-bit.
constexpr uint64_t kMaxWavDataBytes = UINT32_MAX - 36;

struct Result {
  bool ok = false;
  std::string error;  // one line naming the reason when !ok
};

// The whole mixdown in a program folder (host path): reads `Parms` and `Mysong/T01.wav` ..
// `T14.wav`, writes `Mysong/Copymix.wav` and renames it over `Mysong/Mix.wav` when complete.
// The master is as long as T01; a missing or shorter track is silent past its end, a longer
// one is cut. A master too long for a WAV file is refused before anything is written. Inputs are
// never changed; on failure `Mix.wav` is left as it was.
Result run(const std::string& programFolder);

// The folder of the running executable (host path), never the current directory: the folder
// named by argv[0] when that names this very executable (a link keeps its own folder), else
// the folder of /proc/self/exe. Empty when neither can be found.
std::string programFolder(const char* argv0);

}  // namespace mixdown

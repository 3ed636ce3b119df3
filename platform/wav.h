// The canonical 44-byte WAV header of track files and masters.
#pragma once
#include <array>
#include <cstdint>
#include <string_view>

namespace platform {

constexpr int kWavHeaderBytes = 44;

// The canonical header for `dataBytes` bytes of 16-bit PCM at 44100 Hz.
std::array<uint8_t, kWavHeaderBytes> wavHeader(int channels, uint32_t dataBytes);
// Channel count read from a header (offset 22), 1 when the header is not a valid 1/2.
int wavChannels(const uint8_t* header44);
// True when the header is the plain form of a track: "RIFF", "WAVE", a 16-byte "fmt " chunk at
// byte 12 of PCM, one channel, 44,100 Hz, 16 bits, and the "data" chunk at byte 36, so that
// sample i lies at byte 44 + 2i and the sizes lie at bytes 4 and 40.
bool isPlainHeader(const uint8_t* header44);
// True when the file at a logical path is an ordinary file with a plain track header.
bool isPlainTrack(std::string_view path);

}  // namespace platform

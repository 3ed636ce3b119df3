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
// True when the header describes 16-bit mono PCM, the format of a track.
bool isMono16Header(const uint8_t* header44);
// True when the file at a logical path is an ordinary file whose header is 16-bit mono PCM.
bool isMono16Track(std::string_view path);

}  // namespace platform

// The canonical 44-byte WAV header of track files and masters.
#pragma once
#include <array>
#include <cstdint>

namespace platform {

constexpr int kWavHeaderBytes = 44;

// The canonical header for `dataBytes` bytes of 16-bit PCM at 44100 Hz.
std::array<uint8_t, kWavHeaderBytes> wavHeader(int channels, uint32_t dataBytes);
// Channel count read from a header (offset 22), 1 when the header is not a valid 1/2.
int wavChannels(const uint8_t* header44);

}  // namespace platform

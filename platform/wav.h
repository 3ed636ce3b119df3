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
// True when the header is the plain form of a track (one channel) or of a stereo file (two):
// "RIFF", "WAVE", a 16-byte "fmt " chunk at byte 12 of PCM, that many channels, 44,100 Hz,
// 16 bits, and the "data" chunk at byte 36, so that the sound starts at byte 44 and the sizes
// lie at bytes 4 and 40.
bool isPlainHeader(const uint8_t* header44, int channels = 1);
// True when the file at a logical path is an ordinary file with a plain header of `channels`.
// A chunk after its sound is allowed (a reader stops at the sound, see soundBytes).
bool hasPlainHeader(std::string_view path, int channels);
// True when the file at a logical path is an ordinary file with a plain track header and no
// chunk after its sound (see soundBytes).
bool isPlainTrack(std::string_view path);
// Bytes of sound in an open track or master file: those from byte 44 to the end of the file,
// whatever the header's sizes say (a take cut short, a streamed size, a track lengthened past
// its header), except when another chunk follows the data chunk at byte 36 (the LIST or "id3 "
// tags that taggers and editors append): then the data chunk's size. It follows when, at the
// data's end plus the pad byte of an odd size, four printable characters name a chunk whose
// size fits in the rest of the file. -1 when the file cannot be read.
int64_t soundBytes(int fd);

}  // namespace platform

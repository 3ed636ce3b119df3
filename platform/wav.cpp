#include "platform/wav.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/paths.h"

namespace platform {

namespace {

struct HeaderWriter {
  std::array<uint8_t, kWavHeaderBytes> bytes{};
  size_t at = 0;
  void text(const char* four) {
    for (int i = 0; i < 4; ++i) bytes[at++] = static_cast<uint8_t>(four[i]);
  }
  void le(uint32_t v, int size) {  // little-endian, size bytes
    for (int i = 0; i < size; ++i) bytes[at++] = static_cast<uint8_t>(v >> (8 * i));
  }
};

// The little-endian value of `size` bytes at p, as a header's fields are stored.
uint32_t le(const uint8_t* p, int size) {
  uint32_t v = 0;
  for (int i = size - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

// The data chunk's size when, in the file fd of len bytes with the header h, another chunk
// follows it (see soundBytes); nothing otherwise.
std::optional<int64_t> soundBeforeChunk(int fd, const uint8_t* h, int64_t len) {
  if (std::memcmp(h + 36, "data", 4) != 0) return std::nullopt;
  const int64_t data = le(h + 40, 4);
  const int64_t at = kWavHeaderBytes + data + (data & 1);
  uint8_t c[8];
  if (at + 8 > len || ::pread(fd, c, sizeof c, at) != static_cast<ssize_t>(sizeof c))
    return std::nullopt;
  const bool named = std::all_of(c, c + 4, [](uint8_t b) { return b >= 0x20 && b <= 0x7E; });
  if (!named || at + 8 + le(c + 4, 4) > len) return std::nullopt;
  return data;
}

}  // namespace

std::array<uint8_t, kWavHeaderBytes> wavHeader(int channels, uint32_t dataBytes) {
  const uint32_t ch = channels == 2 ? 2 : 1;
  constexpr uint32_t kRate = 44100;
  constexpr uint32_t kMaxData = std::numeric_limits<uint32_t>::max() - 36;
  HeaderWriter w;
  w.text("RIFF");
  w.le(dataBytes > kMaxData ? std::numeric_limits<uint32_t>::max() : 36 + dataBytes, 4);
  w.text("WAVE");
  w.text("fmt ");
  w.le(16, 4);              // fmt chunk size
  w.le(1, 2);               // PCM
  w.le(ch, 2);
  w.le(kRate, 4);
  w.le(kRate * 2 * ch, 4);  // bytes per second
  w.le(2 * ch, 2);          // block align
  w.le(16, 2);              // bits per sample
  w.text("data");
  w.le(dataBytes, 4);
  return w.bytes;
}

int wavChannels(const uint8_t* header44) {
  if (!header44) return 1;
  const uint32_t ch = le(header44 + 22, 2);
  return ch == 1 || ch == 2 ? static_cast<int>(ch) : 1;
}

bool isPlainHeader(const uint8_t* h, int channels) {
  if (!h) return false;
  return std::memcmp(h, "RIFF", 4) == 0 && std::memcmp(h + 8, "WAVE", 4) == 0 &&
         std::memcmp(h + 12, "fmt ", 4) == 0 && le(h + 16, 4) == 16 && le(h + 20, 2) == 1 &&
         le(h + 22, 2) == static_cast<uint32_t>(channels) && le(h + 24, 4) == 44100 &&
         le(h + 34, 2) == 16 && std::memcmp(h + 36, "data", 4) == 0;
}

namespace {
// The plain-header test of the file at `path` (see hasPlainHeader); with `soundOnly`, a chunk
// after the sound fails it too.
bool plainFile(std::string_view path, int channels, bool soundOnly) {
  const std::string host = hostPath(path);
  if (host.empty()) return false;
  const int fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st {};
  uint8_t h[kWavHeaderBytes];
  const bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                  ::pread(fd, h, sizeof h, 0) == static_cast<ssize_t>(sizeof h) &&
                  isPlainHeader(h, channels) &&
                  !(soundOnly && soundBeforeChunk(fd, h, st.st_size));
  ::close(fd);
  return ok;
}
}  // namespace

bool hasPlainHeader(std::string_view path, int channels) {
  return plainFile(path, channels, false);
}

bool isPlainTrack(std::string_view path) { return plainFile(path, 1, true); }

int64_t soundBytes(int fd) {
  struct stat st {};
  if (fd < 0 || ::fstat(fd, &st) != 0) return -1;
  const int64_t rest = std::max<int64_t>(0, st.st_size - kWavHeaderBytes);
  uint8_t h[kWavHeaderBytes];
  if (rest == 0 || ::pread(fd, h, sizeof h, 0) != static_cast<ssize_t>(sizeof h)) return rest;
  return soundBeforeChunk(fd, h, st.st_size).value_or(rest);
}

}  // namespace platform

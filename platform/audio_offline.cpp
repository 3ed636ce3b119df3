#include "platform/audio_offline.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>

#include "platform/sound.h"
#include "platform/wav.h"

namespace platform::audio {

static_assert(std::endian::native == std::endian::little, "WAV samples are read in place");

namespace {

bool writeAt(int fd, const void* data, size_t len, off_t offset) {
  const char* p = static_cast<const char*>(data);
  while (len > 0) {
    const ssize_t n = ::pwrite(fd, p, len, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    len -= size_t(n);
    offset += n;
  }
  return true;
}

}  // namespace

// ---- WavSource -------------------------------------------------------------------------------

bool WavSource::open(const std::string& path, int outChannels, std::string& error) {
  close();
  outChannels_ = outChannels == 2 ? 2 : 1;
  inChannels_ = 1;
  offset_ = kWavHeaderBytes;
  if (path.empty()) return true;
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) {
    error = "cannot open the offline input " + path + ": " + std::strerror(errno);
    return false;
  }
  uint8_t header[kWavHeaderBytes] = {};
  if (::pread(fd_, header, sizeof header, 0) == ssize_t(sizeof header))
    inChannels_ = wavChannels(header);
  return true;
}

void WavSource::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void WavSource::read(int16_t* out, size_t frames) {
  size_t got = 0;  // whole input frames read
  if (fd_ >= 0) {
    raw_.resize(frames * size_t(inChannels_));
    const size_t want = raw_.size() * sizeof(int16_t);
    size_t bytes = 0;
    while (bytes < want) {
      const ssize_t n = ::pread(fd_, reinterpret_cast<char*>(raw_.data()) + bytes, want - bytes,
                                off_t(offset_ + bytes));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      bytes += size_t(n);
    }
    got = bytes / (sizeof(int16_t) * size_t(inChannels_));
    offset_ += got * sizeof(int16_t) * size_t(inChannels_);
  }
  for (size_t f = 0; f < got; ++f) {
    const int16_t* in = raw_.data() + f * size_t(inChannels_);
    if (inChannels_ == outChannels_) {
      std::copy_n(in, outChannels_, out + f * size_t(outChannels_));
    } else if (outChannels_ == 2) {
      out[2 * f] = out[2 * f + 1] = in[0];
    } else {
      out[f] = int16_t((int(in[0]) + int(in[1])) / 2);
    }
  }
  std::fill(out + got * size_t(outChannels_), out + frames * size_t(outChannels_), int16_t(0));
}

// ---- OutputSink ------------------------------------------------------------------------------

bool OutputSink::reset(const std::string& wavPath, std::string& error) {
  closeWav();
  memory_.clear();
  firstFrame_ = 0;
  dataBytes_ = 0;
  if (wavPath.empty()) return true;
  fd_ = ::open(wavPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd_ < 0) {
    error = "cannot create the offline output " + wavPath + ": " + std::strerror(errno);
    return false;
  }
  headerStale_ = true;
  flush();
  return true;
}

void OutputSink::append(const int16_t* stereo, size_t frames) {
  if (fd_ >= 0) {
    if (!writeAt(fd_, stereo, frames * 4, off_t(kWavHeaderBytes + dataBytes_))) {
      closeWav();  // a full disk ends the file; the run goes on
      return;
    }
    dataBytes_ += frames * 4;
    headerStale_ = true;
    return;
  }
  memory_.insert(memory_.end(), stereo, stereo + 2 * frames);
  const size_t cap = size_t(kMemorySeconds * kSampleRate * 2);
  if (memory_.size() > cap + size_t(kTrimSeconds * kSampleRate * 2)) {
    const size_t drop = memory_.size() - cap;
    memory_.erase(memory_.begin(), memory_.begin() + std::ptrdiff_t(drop));
    firstFrame_ += int64_t(drop / 2);
  }
}

void OutputSink::flush() {
  if (fd_ < 0 || !headerStale_) return;
  const uint32_t bytes = uint32_t(std::min<uint64_t>(dataBytes_, UINT32_MAX - 36));
  const auto h = wavHeader(2, bytes);
  writeAt(fd_, h.data(), h.size(), 0);
  headerStale_ = false;
}

void OutputSink::closeWav() {
  if (fd_ < 0) return;
  flush();
  ::close(fd_);
  fd_ = -1;
}

}  // namespace platform::audio

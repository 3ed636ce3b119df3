// The recording device and the shared device file helpers. See mci_recorder.h.
#include "platform/mci_recorder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/mci_io.h"
#include "platform/sound.h"
#include "platform/wav.h"

static_assert(std::endian::native == std::endian::little,
              "samples are written to WAV files in memory order");

namespace platform::mci {

// ---- File helpers --------------------------------------------------------------------------

bool pwriteAll(int fd, const void* data, size_t len, uint64_t offset) {
  auto* p = static_cast<const char*>(data);
  while (len > 0) {
    ssize_t n = ::pwrite(fd, p, len, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    len -= static_cast<size_t>(n);
    offset += static_cast<uint64_t>(n);
  }
  return true;
}

bool preadAll(int fd, void* data, size_t len, uint64_t offset) {
  auto* p = static_cast<char*>(data);
  while (len > 0) {
    ssize_t n = ::pread(fd, p, len, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) {
      errno = EIO;  // the file ended early
      return false;
    }
    p += n;
    len -= static_cast<size_t>(n);
    offset += static_cast<uint64_t>(n);
  }
  return true;
}

std::string errnoText() { return std::strerror(errno); }

std::string saveWav(const std::string& hostPath, int channels, int srcFd,
                    const std::vector<Segment>& segments) {
  uint64_t total = 0;
  for (const Segment& s : segments) total += s.length;
  if (total > 0xFFFFFFFFull - 36) return "the sound is too long for a WAV file";

  std::string dir = ".", base = hostPath;
  if (size_t slash = hostPath.rfind('/'); slash != std::string::npos) {
    dir = slash == 0 ? "/" : hostPath.substr(0, slash);
    base = hostPath.substr(slash + 1);
  }
  if (base.empty()) return "no file name in " + hostPath;
  std::string tmp = (dir == "/" ? "" : dir) + "/." + base + ".saving";

  int out = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (out < 0) return "cannot write " + hostPath + ": " + errnoText();
  std::string err;
  auto hdr = wavHeader(channels, static_cast<uint32_t>(total));
  if (!pwriteAll(out, hdr.data(), hdr.size(), 0)) err = "cannot write " + hostPath + ": " + errnoText();

  std::vector<uint8_t> block(static_cast<size_t>(kSampleRate) * 2 * static_cast<size_t>(channels));
  uint64_t pos = kWavHeaderBytes;
  for (const Segment& s : segments) {
    for (uint64_t done = 0; err.empty() && done < s.length;) {
      size_t n = static_cast<size_t>(std::min<uint64_t>(block.size(), s.length - done));
      if (!preadAll(srcFd, block.data(), n, s.offset + done))
        err = "cannot read the sound: " + errnoText();
      else if (!pwriteAll(out, block.data(), n, pos))
        err = "cannot write " + hostPath + ": " + errnoText();
      done += n;
      pos += n;
    }
  }
  if (err.empty() && ::fsync(out) != 0) err = "cannot write " + hostPath + ": " + errnoText();
  if (::close(out) != 0 && err.empty()) err = "cannot write " + hostPath + ": " + errnoText();
  if (err.empty() && ::rename(tmp.c_str(), hostPath.c_str()) != 0)
    err = "cannot replace " + hostPath + ": " + errnoText();
  if (!err.empty()) ::unlink(tmp.c_str());
  return err;
}

// ---- Recorder ------------------------------------------------------------------------------

namespace {
using Steady = std::chrono::steady_clock;
constexpr auto kWriterPoll = std::chrono::milliseconds(50);  // the writer drains this often
constexpr auto kSyncEvery = std::chrono::seconds(1);

uint32_t clamp32(uint64_t bytes) {
  return static_cast<uint32_t>(std::min<uint64_t>(bytes, 0xFFFFFFFFull - 36));
}
}  // namespace

Recorder::Recorder(std::string scratchPath, size_t ringSamples)
    : scratchPath_(std::move(scratchPath)) {
  size_t cap = std::bit_ceil(std::max<size_t>(ringSamples, 1024));
  ring_ = std::make_unique<int16_t[]>(cap);
  mask_ = cap - 1;
}

Recorder::~Recorder() {
  stop();
  discardScratch();
}

void Recorder::discardScratch() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
    ::unlink(scratchPath_.c_str());
  }
  dataBytes_ = 0;
  headerBytes_ = 0;
}

std::string Recorder::setChannels(int channels) {
  if (recording_) return "cannot change the format while recording";
  if (channels != channels_ && dataBytes_ > 0) {
    // A take in another format would be garbled: the device starts empty again.
    discardScratch();
  }
  channels_ = channels;
  return "";
}

std::string Recorder::cue() {
  if (fd_ >= 0) return "";
  // A scratch that holds samples is the take of a program that died while recording: it is
  // moved aside (named after its time), never overwritten.
  struct stat sb {};
  if (::stat(scratchPath_.c_str(), &sb) == 0 && sb.st_size > kWavHeaderBytes) {
    std::string kept = scratchPath_;
    const std::string stamp = std::to_string(sb.st_mtime);
    kept.insert(kept.size() - (kept.ends_with(".wav") ? 4 : 0), "-" + stamp);
    ::rename(scratchPath_.c_str(), kept.c_str());
  }
  fd_ = ::open(scratchPath_.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd_ < 0) return "cannot create the recording file " + scratchPath_ + ": " + errnoText();
  dataBytes_ = 0;
  headerBytes_ = 0;
  auto hdr = wavHeader(channels_, 0);
  if (!pwriteAll(fd_, hdr.data(), hdr.size(), 0)) {
    std::string err = "cannot write the recording file " + scratchPath_ + ": " + errnoText();
    discardScratch();
    return err;
  }
  return "";
}

std::string Recorder::record(bool fromZero) {
  if (recording_) return "already recording";
  if (std::string err = cue(); !err.empty()) return err;
  if (fromZero && dataBytes_ > 0) {
    if (::ftruncate(fd_, kWavHeaderBytes) != 0)
      return "cannot reset the recording file " + scratchPath_ + ": " + errnoText();
    dataBytes_ = 0;
  }
  if (!patchHeader())  // the format may have changed since the scratch was made
    return "cannot write the recording file " + scratchPath_ + ": " + errnoText();

  head_ = 0;
  tail_ = 0;
  dropped_ = 0;
  writerFailed_ = false;
  writeErrno_ = 0;
  stopRequest_ = false;
  wakeRequest_ = false;
  blocking_ = activeBackend() == AudioBackendKind::Offline;
  writer_ = std::thread([this] { writerLoop(); });

  const size_t ch = static_cast<size_t>(channels_);
  if (!openCapture(channels_, [this, ch](const int16_t* frames, size_t count) {
        push(frames, count * ch);
      })) {
    {
      std::lock_guard lk(m_);
      stopRequest_ = true;
    }
    cv_.notify_all();
    writer_.join();
    return "the sound input cannot be opened";
  }
  recording_ = true;
  return "";
}

void Recorder::wakeWriter() {
  {
    std::lock_guard lk(m_);
    wakeRequest_ = true;
  }
  cv_.notify_all();
}

// Runs on the capture thread: copies into the ring, never blocks unless the capture runs on
// the UI thread (offline), where waiting for the writer is harmless and keeps memory flat.
void Recorder::push(const int16_t* samples, size_t count) {
  const size_t cap = mask_ + 1;
  while (count > 0) {
    uint64_t h = head_.load(std::memory_order_relaxed);
    uint64_t t = tail_.load(std::memory_order_acquire);
    size_t space = cap - static_cast<size_t>(h - t);
    if (space == 0) {
      if (blocking_ && !writerFailed_.load()) {
        wakeWriter();
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        continue;
      }
      dropped_.fetch_add(count, std::memory_order_relaxed);
      return;
    }
    size_t n = std::min(count, space);
    size_t idx = static_cast<size_t>(h) & mask_;
    size_t first = std::min(n, cap - idx);
    std::memcpy(&ring_[idx], samples, first * sizeof(int16_t));
    std::memcpy(&ring_[0], samples + first, (n - first) * sizeof(int16_t));
    head_.store(h + n, std::memory_order_release);
    samples += n;
    count -= n;
  }
  if (blocking_ && head_.load() - tail_.load() >= cap / 2) wakeWriter();
}

bool Recorder::drain() {
  const size_t cap = mask_ + 1;
  for (;;) {
    uint64_t t = tail_.load(std::memory_order_relaxed);
    uint64_t h = head_.load(std::memory_order_acquire);
    if (h == t) return true;
    size_t idx = static_cast<size_t>(t) & mask_;
    size_t n = std::min(static_cast<size_t>(h - t), cap - idx);
    if (!pwriteAll(fd_, &ring_[idx], n * sizeof(int16_t), kWavHeaderBytes + dataBytes_.load())) {
      writeErrno_ = errno;
      return false;
    }
    dataBytes_ += n * sizeof(int16_t);
    tail_.store(t + n, std::memory_order_release);
  }
}

bool Recorder::patchHeader() {
  auto hdr = wavHeader(channels_, clamp32(dataBytes_));
  if (!pwriteAll(fd_, hdr.data(), hdr.size(), 0)) return false;
  headerBytes_ = dataBytes_;
  return true;
}

void Recorder::writerLoop() {
  const uint64_t bytesPerSecond = static_cast<uint64_t>(kSampleRate) * 2 * channels_;
  auto lastPatch = Steady::now(), lastSync = lastPatch;
  for (;;) {
    bool stopping;
    {
      std::unique_lock lk(m_);
      cv_.wait_for(lk, kWriterPoll, [this] { return stopRequest_ || wakeRequest_; });
      wakeRequest_ = false;
      stopping = stopRequest_;
    }
    if (!drain()) {
      writerFailed_ = true;
      return;
    }
    auto now = Steady::now();
    uint64_t bytes = dataBytes_.load();
    if (bytes != headerBytes_ &&
        (stopping || now - lastPatch >= kSyncEvery || bytes - headerBytes_ >= bytesPerSecond)) {
      if (!patchHeader()) {
        writeErrno_ = errno;
        writerFailed_ = true;
        return;
      }
      lastPatch = now;
    }
    if (stopping || now - lastSync >= kSyncEvery) {
      ::fdatasync(fd_);
      lastSync = now;
    }
    // The capture was closed before the stop request, so the ring is complete and empty now.
    if (stopping) return;
  }
}

std::string Recorder::stop() {
  if (!recording_) return "";
  closeCapture();
  {
    std::lock_guard lk(m_);
    stopRequest_ = true;
  }
  cv_.notify_all();
  writer_.join();
  recording_ = false;
  if (writerFailed_) {
    return "writing the recording file " + scratchPath_ +
           " failed: " + std::strerror(writeErrno_);
  }
  if (uint64_t lost = dropped_.load(); lost > 0) {
    return "the recording lost " + std::to_string(lost / static_cast<uint64_t>(channels_)) +
           " frames: the disk did not keep up";
  }
  return "";
}

std::string Recorder::save(const std::string& hostPath) {
  std::string stopErr = stop();
  if (writerFailed_) return stopErr;
  if (hostPath == scratchPath_) return "cannot save a recording over its own scratch file";
  if (std::string err = cue(); !err.empty()) return err;  // a device that never recorded
  std::vector<Segment> take{{kWavHeaderBytes, dataBytes_.load()}};
  if (std::string err = saveWav(hostPath, channels_, fd_, take); !err.empty()) return err;
  return stopErr;  // saved; still tell about frames the disk lost
}

}  // namespace platform::mci

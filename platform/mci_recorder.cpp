// The recording device and the shared device file helpers. See mci_recorder.h.
#include "platform/mci_recorder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "platform/files.h"
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

  // A fresh file, held while written: nothing stands in for it (a FIFO is never waited on) and
  // no start-up takes it for a leftover.
  int out = createScratch(tmp);
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

// ---- Names and keeping a take ---------------------------------------------------------------

namespace {

std::string parentOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The directory entry of a file just made or renamed reaches the disk too.
void syncDir(const std::string& file) {
  int d = ::open(parentOf(file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (d < 0) return;
  ::fsync(d);
  ::close(d);
}

// rename that never replaces: false with errno EEXIST when `to` exists.
bool moveNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  struct stat sb {};
  if (::lstat(to.c_str(), &sb) == 0) {  // a file system without the flag
    errno = EEXIST;
    return false;
  }
  return ::rename(from.c_str(), to.c_str()) == 0;
}

bool exists(const std::string& path) {
  struct stat sb {};
  return ::lstat(path.c_str(), &sb) == 0;
}

uint32_t clamp32(uint64_t bytes) {
  return static_cast<uint32_t>(std::min<uint64_t>(bytes, 0xFFFFFFFFull - 36));
}

// The start time a scratch's name carries ("...-take-20261207-153012.wav"), "" when none.
std::string stampInName(const std::string& name) {
  size_t at = name.find("-take-");
  if (at == std::string::npos) return "";
  std::string s = name.substr(at + 6, 15);
  if (s.size() != 15 || s[8] != '-') return "";
  for (size_t i = 0; i < s.size(); ++i)
    if (i != 8 && !std::isdigit(static_cast<unsigned char>(s[i]))) return "";
  return s;
}

}  // namespace

std::string numberedWav(std::string stem, int copy) {
  if (copy > 1) {
    stem += '-';
    stem += std::to_string(copy);
  }
  stem += ".wav";
  return stem;
}

std::string timeStamp(std::time_t t) {
  std::tm tm {};
  localtime_r(&t, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y%m%d-%H%M%S", &tm);
  return buf;
}

std::string recoveredName(const std::string& stamp, int copy) {
  return numberedWav("Recovered-" + stamp, copy);
}

std::string keepAs(int fd, const std::string& linkedPath, bool headerFixed, int channels,
                   uint64_t dataBytes, const std::string& stamp,
                   const std::vector<std::string>& dirs, bool& moved) {
  moved = false;
  for (const std::string& dir : dirs) {
    if (dir.empty()) continue;
    ::mkdir(dir.c_str(), 0755);  // a removed song folder comes back; an existing one is fine
    const bool move = headerFixed && !linkedPath.empty() && parentOf(linkedPath) == dir;
    for (int copy = 1; copy <= 99; ++copy) {
      const std::string target = dir + "/" + recoveredName(stamp, copy);
      if (move) {
        if (moveNoReplace(linkedPath, target)) {
          moved = true;
          syncDir(target);
          return target;
        }
        if (errno == EEXIST) continue;
        break;  // this folder cannot take it (read-only, gone): a copy there would fail too
      }
      if (exists(target)) continue;
      if (saveWav(target, channels, fd, {{kWavHeaderBytes, dataBytes}}).empty()) {
        syncDir(target);
        return target;
      }
      break;
    }
  }
  return "";
}

std::string keepFile(const std::string& path, std::string stamp,
                     const std::vector<std::string>& dirs) {
  bool writable = true;
  int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    writable = false;
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  }
  if (fd < 0) return "";
  // A running recorder holds its scratch locked: that take is not left behind.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return "";
  }
  struct stat sb {};
  uint8_t hdr[kWavHeaderBytes] = {};
  int channels = 1;
  if (::fstat(fd, &sb) == 0 && sb.st_size >= kWavHeaderBytes && preadAll(fd, hdr, sizeof hdr, 0))
    channels = wavChannels(hdr);
  const uint64_t frameBytes = 2 * static_cast<uint64_t>(channels);
  const uint64_t size = static_cast<uint64_t>(std::max<off_t>(sb.st_size, 0));
  uint64_t data = size > kWavHeaderBytes ? (size - kWavHeaderBytes) / frameBytes * frameBytes : 0;
  data = std::min<uint64_t>(data, clamp32(data) / frameBytes * frameBytes);
  if (data == 0) {  // nothing was captured: nothing to keep
    ::unlink(path.c_str());
    ::close(fd);
    return "";
  }
  if (stamp.empty()) {  // none known: the take started its length before its last write
    stamp = timeStamp(sb.st_mtime - static_cast<std::time_t>(data / (kSampleRate * frameBytes)));
  }
  const auto h = wavHeader(channels, static_cast<uint32_t>(data));
  const bool fixed = writable && ::ftruncate(fd, static_cast<off_t>(kWavHeaderBytes + data)) == 0 &&
                     pwriteAll(fd, h.data(), h.size(), 0) && ::fdatasync(fd) == 0;
  bool moved = false;
  std::string to = keepAs(fd, path, fixed, channels, data, stamp, dirs, moved);
  if (!to.empty() && !moved) ::unlink(path.c_str());  // copied elsewhere: it may go (if it can)
  ::close(fd);
  return to;
}

std::vector<std::string> recoverScratches(const std::string& scanDir,
                                          const std::vector<std::string>& dirs) {
  std::vector<std::string> kept;
  std::error_code ec;
  std::vector<std::string> found;
  for (const auto& e : std::filesystem::directory_iterator(scanDir, ec)) {
    const std::string name = e.path().filename().string();
    if (name.size() > 1 && name[0] == '.' && name.ends_with(".wav") &&
        name.find("-take") != std::string::npos && e.is_regular_file(ec))
      found.push_back(e.path().string());
  }
  for (const std::string& path : found) {
    const std::string stamp = stampInName(std::filesystem::path(path).filename().string());
    if (std::string to = keepFile(path, stamp, dirs); !to.empty()) kept.push_back(to);
  }
  return kept;
}

// ---- Recorder ------------------------------------------------------------------------------

namespace {
using Steady = std::chrono::steady_clock;
constexpr auto kWriterPoll = std::chrono::milliseconds(50);  // the writer drains this often
constexpr auto kSyncEvery = std::chrono::seconds(1);
}  // namespace

Recorder::Recorder(std::string dir, const std::string& alias, size_t ringSamples)
    : dir_(std::move(dir)) {
  base_.push_back('.');
  for (char c : alias)
    base_.push_back((std::isalnum(static_cast<unsigned char>(c)) || c == '-') ? c : '_');
  base_.append("-take");
  size_t cap = std::bit_ceil(std::max<size_t>(ringSamples, 1024));
  ring_ = std::make_unique<int16_t[]>(cap);
  mask_ = cap - 1;
}

Recorder::~Recorder() {
  stop();
  discardScratch();
}

std::string Recorder::scratchName(const std::string& stamp, int copy) const {
  std::string path = dir_;
  path += '/';
  path += base_;
  path += '-';
  path += stamp;
  return numberedWav(std::move(path), copy);
}

bool Recorder::linked() const {
  struct stat a {}, b {};
  return fd_ >= 0 && ::fstat(fd_, &a) == 0 && ::stat(scratchPath_.c_str(), &b) == 0 &&
         a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

void Recorder::discardScratch() {
  if (fd_ >= 0) {
    if (owned_ && linked()) ::unlink(scratchPath_.c_str());
    ::close(fd_);
    fd_ = -1;
  }
  owned_ = false;
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
  if (fd_ >= 0 && owned_) return "";
  discardScratch();  // a take an earlier save moved away stays where it went
  ::mkdir(dir_.c_str(), 0755);  // the folder may have been removed since start-up
  stamp_ = timeStamp(std::time(nullptr));
  for (int copy = 1; copy <= 99 && fd_ < 0; ++copy) {
    scratchPath_ = scratchName(stamp_, copy);
    fd_ = ::open(scratchPath_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd_ < 0 && errno != EEXIST) break;
  }
  if (fd_ < 0) return "cannot create the recording file " + scratchPath_ + ": " + errnoText();
  ::flock(fd_, LOCK_EX | LOCK_NB);  // marks the take as alive for a start-up looking for leftovers
  owned_ = true;
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

void Recorder::restamp(const std::string& stamp) {
  if (stamp == stamp_) return;
  stamp_ = stamp;
  if (!linked()) return;
  for (int copy = 1; copy <= 99; ++copy) {
    std::string to = scratchName(stamp, copy);
    if (moveNoReplace(scratchPath_, to)) {
      scratchPath_ = to;
      return;
    }
    if (errno != EEXIST) return;  // the old name stays; the time is still known in memory
  }
}

std::string Recorder::record(bool fromZero) {
  if (recording_) return "already recording";
  if (std::string err = cue(); !err.empty()) return err;
  if (fromZero && dataBytes_ > 0) {
    if (::ftruncate(fd_, kWavHeaderBytes) != 0)
      return "cannot reset the recording file " + scratchPath_ + ": " + errnoText();
    dataBytes_ = 0;
  }
  if (dataBytes_ == 0) restamp(timeStamp(std::time(nullptr)));  // the take starts now
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

// Chunks hold whole frames (the ring's size is even and frames are 1 or 2 samples), so a
// failed write keeps every whole frame that reached the disk.
bool Recorder::drain() {
  const size_t cap = mask_ + 1;
  const uint64_t frameBytes = 2 * static_cast<uint64_t>(channels_);
  for (;;) {
    uint64_t t = tail_.load(std::memory_order_relaxed);
    uint64_t h = head_.load(std::memory_order_acquire);
    if (h == t) return true;
    size_t idx = static_cast<size_t>(t) & mask_;
    size_t n = std::min(static_cast<size_t>(h - t), cap - idx);
    const char* p = reinterpret_cast<const char*>(&ring_[idx]);
    const size_t len = n * sizeof(int16_t);
    const uint64_t at = kWavHeaderBytes + dataBytes_.load();
    for (size_t done = 0; done < len;) {
      ssize_t w = ::pwrite(fd_, p + done, len - done, static_cast<off_t>(at + done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        writeErrno_ = w < 0 ? errno : ENOSPC;
        dataBytes_ = (dataBytes_.load() + done) / frameBytes * frameBytes;
        return false;
      }
      done += static_cast<size_t>(w);
    }
    dataBytes_ += len;
    tail_.store(t + n, std::memory_order_release);
  }
}

bool Recorder::patchHeader() {
  auto hdr = wavHeader(channels_, clamp32(dataBytes_));
  if (!pwriteAll(fd_, hdr.data(), hdr.size(), 0)) return false;
  headerBytes_ = dataBytes_;
  return true;
}

bool Recorder::finishInPlace() {
  if (fd_ < 0) return false;
  struct stat sb {};
  const off_t want = static_cast<off_t>(kWavHeaderBytes + dataBytes_.load());
  if (::fstat(fd_, &sb) != 0) return false;
  if (sb.st_size != want && ::ftruncate(fd_, want) != 0) return false;  // a cut write's tail
  return patchHeader() && ::fdatasync(fd_) == 0;
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
  // A failed write was told while the take ran (writeError); the frames the capture could not
  // hand to the stopped writer are part of that.
  if (writerFailed_) return "";
  if (uint64_t lost = dropped_.load(); lost > 0) {
    return "the recording lost " + std::to_string(lost / static_cast<uint64_t>(channels_)) +
           " frames: the disk did not keep up";
  }
  return "";
}

std::string Recorder::save(const std::string& hostPath) {
  stop();  // its report, if any, was given by the stop command before
  if (fd_ < 0) {
    if (std::string err = cue(); !err.empty()) return err;  // a device that never recorded
  }
  const std::vector<Segment> take{{kWavHeaderBytes, dataBytes_.load()}};
  if (!owned_) return saveWav(hostPath, channels_, fd_, take);  // moved by an earlier save
  if (hostPath == scratchPath_) return "cannot save a recording over its own scratch file";
  if (!linked())
    return "cannot save " + hostPath + ": the recording file " + scratchPath_ + " is gone";
  if (!finishInPlace())
    return "cannot finish the recording file " + scratchPath_ + ": " + errnoText();
  if (::rename(scratchPath_.c_str(), hostPath.c_str()) == 0) {
    owned_ = false;
    syncDir(hostPath);
    return "";
  }
  if (errno != EXDEV) return "cannot save " + hostPath + ": " + errnoText();
  // Another file system: a copy; the scratch stays the device's until it is closed.
  return saveWav(hostPath, channels_, fd_, take);
}

std::string Recorder::keep(const std::vector<std::string>& dirs) {
  stop();
  if (fd_ < 0 || dataBytes_ == 0) return "";
  const bool own = owned_ && linked();
  const bool fixed = own && finishInPlace();
  bool moved = false;
  std::string kept =
      keepAs(fd_, own ? scratchPath_ : "", fixed, channels_, dataBytes_, stamp_, dirs, moved);
  if (moved) owned_ = false;
  return kept;
}

}  // namespace platform::mci

#include "mixdown/mixdown.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "platform/wav.h"

namespace mixdown {

static_assert(std::endian::native == std::endian::little, "samples are read as they lie on disk");

namespace {

namespace fs = std::filesystem;

int16_t le16(std::span<const uint8_t> b, size_t at) {
  return int16_t(uint16_t(b[at] | (b[at + 1] << 8)));
}

std::string trackName(int n) {  // 1-based
  return std::string("T") + char('0' + n / 10) + char('0' + n % 10) + ".wav";
}

std::string reason(const std::string& what, int err) { return what + ": " + std::strerror(err); }

// An open file descriptor, closed when it goes.
class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  Fd(Fd&& o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
  Fd& operator=(Fd&& o) noexcept {
    std::swap(fd_, o.fd_);
    return *this;
  }
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_ = -1;
};

// Reads up to `bytes` at `offset`; the count read (short only at the end), or -1 with errno.
ssize_t readAt(int fd, void* buf, size_t bytes, off_t offset) {
  size_t done = 0;
  while (done < bytes) {
    ssize_t r = ::pread(fd, static_cast<char*>(buf) + done, bytes - done, offset + off_t(done));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return -1;
    if (r == 0) break;
    done += size_t(r);
  }
  return ssize_t(done);
}

bool writeAt(int fd, const void* buf, size_t bytes, off_t offset) {
  size_t done = 0;
  while (done < bytes) {
    ssize_t w =
        ::pwrite(fd, static_cast<const char*>(buf) + done, bytes - done, offset + off_t(done));
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      if (w == 0) errno = EIO;
      return false;
    }
    done += size_t(w);
  }
  return true;
}

// A track of the song: its file (none when missing), its samples and its gains.
struct Track {
  Fd fd;
  int64_t frames = 0;
  Gains gains;
};

int64_t samplesOf(int fd) {  // mono samples of the track's sound (a tag chunk after it is none)
  const int64_t bytes = platform::soundBytes(fd);
  return bytes < 0 ? -1 : bytes / 2;
}

// Writes the mixed master to the open `out`, one second at a time. The seconds are independent,
// so a few threads take them in turn, each writing its own place in the file.
class Streamer {
 public:
  Streamer(int out, const std::vector<Track>& tracks, int64_t frames)
      : out_(out),
        tracks_(tracks),
        frames_(frames),
        blocks_((frames + int64_t(kBlockFrames) - 1) / int64_t(kBlockFrames)) {}

  Result run() {
    const uint64_t dataBytes = uint64_t(frames_) * 4;
    const auto header = platform::wavHeader(2, uint32_t(dataBytes));
    if (!writeAt(out_, header.data(), header.size(), 0))
      return {false, reason("cannot write Copymix.wav", errno)};
    const int64_t cores = std::clamp<int64_t>(std::thread::hardware_concurrency(), 1, 8);
    const int64_t helpers = std::min(blocks_, cores) - 1;  // this thread works too
    std::vector<std::thread> threads;
    try {
      for (int64_t i = 0; i < helpers; ++i) threads.emplace_back([this] { work(); });
    } catch (const std::system_error&) {
      // no more threads: the ones there are (this one at least) do all the work
    }
    work();
    for (auto& t : threads) t.join();
    return failed_ ? Result{false, error_} : Result{true, {}};
  }

 private:
  void work() {
    try {
      mixBlocks();
    } catch (const std::exception& e) {  // out of memory for the buffers
      fail(std::string("cannot mix: ") + e.what());
    }
  }
  void mixBlocks() {
    std::vector<int16_t> in(kTracks * kBlockFrames), mixed(2 * kBlockFrames);
    std::array<const int16_t*, kTracks> sources{};
    std::array<Gains, kTracks> gains{};
    for (int64_t b; !failed_ && (b = next_++) < blocks_;) {
      const int64_t pos = b * int64_t(kBlockFrames);
      const size_t n = size_t(std::min<int64_t>(int64_t(kBlockFrames), frames_ - pos));
      for (size_t k = 0; k < kTracks; ++k) {
        const Track& t = tracks_[k];
        sources[k] = nullptr;
        if (!t.fd || t.gains.silent() || pos >= t.frames) continue;
        int16_t* buf = in.data() + k * kBlockFrames;
        const size_t want = size_t(std::min<int64_t>(int64_t(n), t.frames - pos));
        const ssize_t got =
            readAt(t.fd.get(), buf, 2 * want, off_t(platform::kWavHeaderBytes + 2 * pos));
        if (got < 0) return fail(reason("cannot read " + trackName(int(k) + 1), errno));
        std::fill(buf + got / 2, buf + n, int16_t(0));  // cut short meanwhile: silence
        sources[k] = buf;
        gains[k] = t.gains;
      }
      mixBlock(sources, gains, n, mixed.data());
      if (!writeAt(out_, mixed.data(), 4 * n, off_t(platform::kWavHeaderBytes + 4 * pos)))
        return fail(reason("cannot write Copymix.wav", errno));
    }
  }
  void fail(std::string why) {
    std::lock_guard lock(mutex_);
    if (!failed_) error_ = std::move(why);
    failed_ = true;
  }

  const int out_;
  const std::vector<Track>& tracks_;
  const int64_t frames_, blocks_;
  std::atomic<int64_t> next_{0};
  std::atomic<bool> failed_{false};
  std::mutex mutex_;
  std::string error_;
};

}  // namespace

std::optional<Request> parseRequest(std::span<const uint8_t> bytes, std::string& error) {
  if (bytes.size() < kRequestBytes) {
    error = "Parms is too short: " + std::to_string(bytes.size()) + " bytes, a request needs " +
            std::to_string(kRequestBytes);
    return std::nullopt;
  }
  if (int code = le16(bytes, kCodeOffset); code != kRequestCode) {
    error = "Parms holds no mixdown request: code " + std::to_string(code) + ", not 99";
    return std::nullopt;
  }
  Request r;
  for (size_t n = 0; n < kTracks; ++n) {
    r.volume[n] = le16(bytes, kValuesOffset + 4 * n);
    r.pan[n] = le16(bytes, kValuesOffset + 4 * n + 2);
  }
  return r;
}

double volumeLevel(int volume) {
  const double t = std::abs(volume) / 60.0;  // the fader's travel in pixels
  if (t < 2) return kSilent;
  if (t > 46 && t < 50) return -1536;
  if (t > 92) return 0;
  return -32 * (94 - t);
}

double panLevel(int pan) {
  const double d = std::clamp(pan, 0, 94 * 348) / 348.0;  // pixels from the left end
  if (d >= 46 && d <= 48) return 0;
  return std::clamp(110 * d - 5000, -5000.0, 5000.0);
}

Gains trackGains(int volume, int pan) {
  const double v = volumeLevel(volume);
  if (v <= kSilent) return {};
  const double p = panLevel(pan);
  auto gain = [](double level) { return level <= kSilent ? 0.0 : std::pow(10.0, level / 2000.0); };
  return {gain(v + std::min(0.0, -p)), gain(v + std::min(0.0, p))};
}

void mixBlock(std::span<const int16_t* const> tracks, std::span<const Gains> gains, size_t frames,
              int16_t* out) {
  constexpr size_t kChunk = 1024;
  alignas(64) double left[kChunk], right[kChunk];
  const size_t count = std::min(tracks.size(), gains.size());
  for (size_t at = 0; at < frames; at += kChunk) {
    const size_t n = std::min(kChunk, frames - at);
    std::fill_n(left, n, 0.0);
    std::fill_n(right, n, 0.0);
    for (size_t k = 0; k < count; ++k) {
      if (!tracks[k] || gains[k].silent()) continue;
      const int16_t* __restrict s = tracks[k] + at;
      const double gl = gains[k].left, gr = gains[k].right;
      for (size_t i = 0; i < n; ++i) {
        left[i] += s[i] * gl;
        right[i] += s[i] * gr;
      }
    }
    // Saturate, then round to nearest with halves to even: adding and taking away 1.5 x 2^52
    // leaves the nearest whole number (this stays branch-free and vectorises).
    constexpr double kRound = 6755399441055744.0;
    int16_t* __restrict o = out + 2 * at;
    for (size_t i = 0; i < n; ++i) {
      const double l = std::min(std::max(left[i], -32768.0), 32767.0);
      const double r = std::min(std::max(right[i], -32768.0), 32767.0);
      o[2 * i] = int16_t((l + kRound) - kRound);
      o[2 * i + 1] = int16_t((r + kRound) - kRound);
    }
  }
}

Result run(const std::string& folder) {
  const std::string parmsPath = folder + "/Parms";
  const std::string song = folder + "/Mysong/";

  Fd parms(::open(parmsPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!parms)
    return {false,
            errno == ENOENT ? "no Parms in " + folder : reason("cannot read " + parmsPath, errno)};
  std::array<uint8_t, 512> bytes{};
  const ssize_t got = readAt(parms.get(), bytes.data(), bytes.size(), 0);
  if (got < 0) return {false, reason("cannot read " + parmsPath, errno)};
  std::string error;
  const auto request = parseRequest(std::span(bytes.data(), size_t(got)), error);
  if (!request) return {false, error};

  std::vector<Track> tracks(kTracks);
  for (int k = 0; k < kTracks; ++k) {
    const std::string name = trackName(k + 1);
    Track& t = tracks[size_t(k)];
    // Only an ordinary file is a track: a FIFO or a device is never waited on.
    t.fd = Fd(::open((song + name).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat st {};
    if (t.fd && (::fstat(t.fd.get(), &st) != 0 || !S_ISREG(st.st_mode)))
      return {false, "cannot read " + song + name + ": not an ordinary file"};
    if (!t.fd) {
      if (errno == ENOENT && k == 0) return {false, "no " + name + " in " + song};
      if (errno == ENOENT) continue;  // a track not recorded: silent
      return {false, reason("cannot read " + song + name, errno)};
    }
    if ((t.frames = samplesOf(t.fd.get())) < 0)
      return {false, reason("cannot read " + song + name, errno)};
    t.gains = trackGains(request->volume[size_t(k)], request->pan[size_t(k)]);
    ::posix_fadvise(t.fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
  }

  // The header's sizes are 32-bit: a master past them would be a file no program reads right.
  const uint64_t masterBytes = uint64_t(tracks[0].frames) * 4;
  if (masterBytes > kMaxWavDataBytes)
    return {false, "T01.wav is too long for a stereo master: its " +
                       std::to_string(masterBytes) + " bytes of sound pass the " +
                       std::to_string(kMaxWavDataBytes) + " a WAV file can hold"};

  const std::string copy = song + "Copymix.wav", master = song + "Mix.wav";
  // A fresh file of this program's, held until it is the master: a second program's start-up
  // leaves it alone, and nothing else at that name (a FIFO, a link) is written or waited on.
  Fd out(platform::createScratch(copy));
  if (!out) return {false, reason("cannot write " + copy, errno)};
  Result r = Streamer(out.get(), tracks, tracks[0].frames).run();
  if (r.ok && ::fdatasync(out.get()) != 0) r = {false, reason("cannot write " + copy, errno)};
  if (r.ok && !platform::renameReplace(copy, master))
    r = {false, reason("cannot replace " + master, errno)};
  if (!r.ok) ::unlink(copy.c_str());
  return r;
}

std::string programFolder(const char* argv0) {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (ec || !self.is_absolute()) return {};
  if (argv0 && std::strchr(argv0, '/')) {
    const fs::path named = fs::absolute(argv0, ec).lexically_normal();
    if (!ec && fs::equivalent(named, self, ec)) return named.parent_path();
  }
  return self.parent_path();
}

}  // namespace mixdown

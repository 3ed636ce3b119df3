#include "platform/files.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <limits>
#include <mutex>
#include <exception>
#include <set>
#include <sys/stat.h>
#include <sys/file.h>
#include <unistd.h>
#include <vector>

#include "platform/paths.h"
#include "platform/text.h"
#include "platform/wav.h"

static_assert(sizeof(off_t) == 8, "64-bit file offsets are required");
static_assert(std::endian::native == std::endian::little, "files store integers little-endian");

namespace platform {

namespace {

// One numbered file. The table is used from the UI thread only.
struct Slot {
  int fd = -1;
  int64_t pos = 0;  // 0-based offset of the next read/write
  bool eof = false;
  int64_t end = -1;  // reads stop here (endAtSound); -1: at the file's end
};
std::array<Slot, kMaxFileNumber + 1> gSlots;  // index 0 unused

std::mutex gHookMutex;
std::set<std::string> gFailHooks;   // host paths that do not open
std::set<std::string> gFailDelete;  // host paths that are not deleted

Slot* slotOf(int fn) {
  if (fn < 1 || fn > kMaxFileNumber || gSlots[fn].fd < 0) return nullptr;
  return &gSlots[fn];
}

bool hooked(const std::string& host, const std::set<std::string>& hooks = gFailHooks) {
  std::lock_guard lock(gHookMutex);
  return hooks.count(host) != 0;
}

bool statRegular(const std::string& host, struct stat& st) {
  return !host.empty() && ::stat(host.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}
bool lstatRegular(const std::string& host, struct stat& st) {
  return !host.empty() && ::lstat(host.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Moves to pos1 when it is given (a seek: the end-of-file state is cleared). Null when fn is
// not open, pos1 is invalid, or n bytes from there would pass the largest offset.
Slot* place(int fn, int64_t pos1, size_t n) {
  Slot* s = slotOf(fn);
  if (!s || pos1 < 0) return nullptr;
  int64_t at = pos1 == 0 ? s->pos : pos1 - 1;
  if (n > static_cast<uint64_t>(std::numeric_limits<int64_t>::max() - at)) return nullptr;
  if (pos1 != 0) {
    s->pos = at;
    s->eof = false;
  }
  return s;
}

// Reads up to n bytes at the position; returns how many came. A short read sets eof.
size_t readAt(int fn, int64_t pos1, void* buf, size_t n) {
  Slot* s = place(fn, pos1, n);
  if (!s) return 0;
  size_t want = n;  // a file limited to its sound reads as if it ended there
  if (s->end >= 0) want = static_cast<size_t>(std::clamp<int64_t>(s->end - s->pos, 0, int64_t(n)));
  size_t got = 0;
  while (got < want) {
    ssize_t r = ::pread(s->fd, static_cast<char*>(buf) + got, want - got, s->pos + static_cast<int64_t>(got));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    got += static_cast<size_t>(r);
  }
  s->pos += static_cast<int64_t>(got);
  if (n > 0) s->eof = got < n;
  return got;
}

bool writeAt(int fn, int64_t pos1, const void* buf, size_t n) {
  Slot* s = place(fn, pos1, n);
  if (!s) return false;
  size_t done = 0;
  while (done < n) {
    ssize_t r = ::pwrite(s->fd, static_cast<const char*>(buf) + done, n - done, s->pos + static_cast<int64_t>(done));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    done += static_cast<size_t>(r);
  }
  s->pos += static_cast<int64_t>(done);
  return done == n;
}

// Reads a fixed-size value; zero when not wholly read.
template <typename T>
bool getValue(int fn, int64_t pos1, T& v) {
  std::array<uint8_t, sizeof(T)> raw{};
  bool whole = readAt(fn, pos1, raw.data(), raw.size()) == raw.size();
  std::memcpy(&v, raw.data(), sizeof v);
  if (!whole) v = 0;
  return whole;
}

// Removes an ordinary file that no running program holds (a shared lock on it), never
// anything else: a link, a FIFO or a device is not even opened.
bool killUnheldHost(const std::string& host) {
  struct stat ln {}, st {};
  if (!lstatRegular(host, ln)) return false;
  int fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
  if (fd < 0) return false;
  // Still the file locked (not one renamed there meanwhile) when it goes.
  bool gone = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
              ::lstat(host.c_str(), &ln) == 0 && ln.st_ino == st.st_ino && ln.st_dev == st.st_dev &&
              ::unlink(host.c_str()) == 0;
  ::close(fd);
  return gone;
}

// Clears the name of a scratch file about to be made: true when nothing is there or an unheld
// ordinary leftover went. Otherwise errno is EEXIST (something that is not an ordinary file of
// the program's) or EBUSY (one a running program holds).
bool makeWay(const std::string& host) {
  struct stat st {};
  if (::lstat(host.c_str(), &st) != 0) return errno == ENOENT;
  if (killUnheldHost(host)) return true;
  errno = S_ISREG(st.st_mode) ? EBUSY : EEXIST;
  return false;
}

// Creates a new ordinary file at host, never opening what is already there, and holds it.
int createHeld(const std::string& host) {
  int fd = ::open(host.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) return -1;
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);  // used as any other open file
  ::flock(fd, LOCK_SH | LOCK_NB);
  return fd;
}

int writeAll(int fd, const char* p, size_t n) {
  while (n > 0) {
    ssize_t w = ::write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return -1;
    p += w;
    n -= static_cast<size_t>(w);
  }
  return 0;
}

}  // namespace

int freeFile() {
  for (int fn = 1; fn <= kMaxFileNumber; ++fn)
    if (gSlots[fn].fd < 0) return fn;
  return 0;
}

bool fileOpen(int fn, std::string_view path, OpenMode mode) {
  if (fn < 1 || fn > kMaxFileNumber || gSlots[fn].fd >= 0) return false;
  std::string host = hostPath(path);
  if (host.empty() || hooked(host)) return false;
  if (mode == OpenMode::Scratch) {
    const int fd = createScratch(path);
    if (fd >= 0) gSlots[fn] = Slot{fd, 0, false};
    return fd >= 0;
  }
  int flags = O_CLOEXEC | (mode == OpenMode::Read ? O_RDONLY : O_RDWR);
  if (mode == OpenMode::ReadWrite) flags |= O_CREAT;
  // Only an ordinary file opens: never blocks on a FIFO or a device.
  int fd = ::open(host.c_str(), flags | O_NONBLOCK, 0666);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    ::close(fd);
    return false;
  }
  // A file open for writing is held, so that another start-up never takes it for a leftover.
  if (mode != OpenMode::Read) ::flock(fd, LOCK_SH | LOCK_NB);
  gSlots[fn] = Slot{fd, 0, false};
  return true;
}

bool isOpen(int fn) { return slotOf(fn) != nullptr; }

void fileClose(int fn) {
  if (Slot* s = slotOf(fn)) {
    ::close(s->fd);
    *s = Slot{};
  }
}

void closeAll() {
  for (int fn = 1; fn <= kMaxFileNumber; ++fn) fileClose(fn);
}

int64_t seekPos(int fn) {
  Slot* s = slotOf(fn);
  return s ? s->pos + 1 : 0;
}

bool seek(int fn, int64_t pos1) { return pos1 >= 1 && place(fn, pos1, 0) != nullptr; }

int64_t lof(int fn) {
  Slot* s = slotOf(fn);
  struct stat st {};
  return s && ::fstat(s->fd, &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}

// A file number that is not open has nothing more to read: report the end, so that a
// read-until-end loop on it stops.
bool eof(int fn) {
  Slot* s = slotOf(fn);
  return !s || s->eof;
}

bool endAtSound(int fn) {
  Slot* s = slotOf(fn);
  const int64_t sound = s ? soundBytes(s->fd) : -1;
  if (sound >= 0) s->end = kWavHeaderBytes + sound;
  return sound >= 0;
}

bool getInt16(int fn, int64_t pos1, int16_t& v) { return getValue(fn, pos1, v); }
bool getUInt32(int fn, int64_t pos1, uint32_t& v) { return getValue(fn, pos1, v); }

size_t getInt16s(int fn, int64_t pos1, std::span<int16_t> out) {
  size_t got = readAt(fn, pos1, out.data(), out.size_bytes()) / sizeof(int16_t);
  std::fill(out.begin() + static_cast<std::ptrdiff_t>(got), out.end(), int16_t{0});
  return got;
}

bool getString(int fn, int64_t pos1, size_t len, std::string& out) {
  try {
    out.assign(len, ' ');
  } catch (const std::exception&) {  // an absurd length
    out.clear();
    return false;
  }
  size_t got = readAt(fn, pos1, out.data(), len);
  std::fill(out.begin() + static_cast<std::ptrdiff_t>(got), out.end(), ' ');
  return got == len && isOpen(fn);
}

size_t getBytes(int fn, int64_t pos1, std::span<uint8_t> out) {
  size_t got = readAt(fn, pos1, out.data(), out.size());
  std::fill(out.begin() + static_cast<std::ptrdiff_t>(got), out.end(), uint8_t{0});
  return got;
}

bool putInt16(int fn, int64_t pos1, int16_t v) { return writeAt(fn, pos1, &v, sizeof v); }
bool putUInt32(int fn, int64_t pos1, uint32_t v) { return writeAt(fn, pos1, &v, sizeof v); }
bool putInt16s(int fn, int64_t pos1, std::span<const int16_t> data) {
  return writeAt(fn, pos1, data.data(), data.size_bytes());
}
bool putString(int fn, int64_t pos1, std::string_view bytes) {
  return writeAt(fn, pos1, bytes.data(), bytes.size());
}
bool putBytes(int fn, int64_t pos1, std::span<const uint8_t> data) {
  return writeAt(fn, pos1, data.data(), data.size());
}

bool truncateTo(int fn, int64_t len) {
  Slot* s = slotOf(fn);
  return s && len >= 0 && ::ftruncate(s->fd, len) == 0;
}

bool reserve(int fn, int64_t len) {
  Slot* s = slotOf(fn);
  struct stat st {};
  if (!s || len < 0 || ::fstat(s->fd, &st) != 0) return false;
  if (len <= st.st_size) return true;
  int err = ::posix_fallocate(s->fd, 0, static_cast<off_t>(len));
  if (err == 0) return true;
  // Whatever a failed attempt added goes again: the file keeps its old length.
  if (::ftruncate(s->fd, st.st_size) != 0) return false;
  errno = err;
  return false;
}

bool flush(int fn) {
  Slot* s = slotOf(fn);
  return s && ::fdatasync(s->fd) == 0;
}

int64_t fileLen(std::string_view path) {
  struct stat st {};
  return statRegular(hostPath(path), st) ? static_cast<int64_t>(st.st_size) : -1;
}

std::optional<std::string> dirOne(std::string_view path) {
  std::string host = hostPath(path);
  size_t slash = host.rfind('/');
  if (host.empty() || slash == std::string::npos) return std::nullopt;
  std::string dir = slash == 0 ? "/" : host.substr(0, slash);
  std::string name = host.substr(slash + 1);
  if (name.empty() || name.front() == '.') return std::nullopt;
  struct stat st {};
  if (statRegular(host, st)) return name;
  // No file of exactly that name: find one that differs only in case, with its stored name.
  DIR* d = ::opendir(dir.c_str());
  if (!d) return std::nullopt;
  std::optional<std::string> found;
  while (dirent* e = ::readdir(d)) {
    std::string_view stored = e->d_name;
    if (stored.empty() || stored.front() == '.' || !iequals(stored, name)) continue;
    if (!statRegular(dir + "/" + std::string(stored), st)) continue;
    if (!found || stored < *found) found = std::string(stored);  // the same answer every time
  }
  ::closedir(d);
  return found;
}

std::optional<std::time_t> fileDateTime(std::string_view path) {
  struct stat st {};
  if (!statRegular(hostPath(path), st)) return std::nullopt;
  return st.st_mtime;
}

bool fileCopy(std::string_view from, std::string_view to) {
  std::string src = hostPath(from), dst = hostPath(to);
  if (src.empty() || dst.empty() || hooked(src)) return false;
  int in = ::open(src.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (in < 0) return false;
  struct stat st {};
  if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(in);
    return false;
  }
  // Written beside the target under a hidden name, then renamed over it: the target is
  // either the old file or the whole copy, never a part.
  size_t slash = dst.rfind('/');
  std::string tmp = dst.substr(0, slash + 1) + "." + dst.substr(slash + 1) + std::string(kHiddenCopyTag) + "XXXXXX";
  int out = ::mkostemp(tmp.data(), O_CLOEXEC);
  if (out < 0) {
    ::close(in);
    return false;
  }
  ::flock(out, LOCK_SH | LOCK_NB);
  bool ok = true;
  std::vector<char> buf(1 << 18);
  for (;;) {
    ssize_t r = ::read(in, buf.data(), buf.size());
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) ok = false;
    if (r <= 0) break;
    if (writeAll(out, buf.data(), static_cast<size_t>(r)) != 0) {
      ok = false;
      break;
    }
  }
  ok = ok && ::fchmod(out, st.st_mode & 0777) == 0 && ::fdatasync(out) == 0;
  ok = ::close(out) == 0 && ok;
  ::close(in);
  ok = ok && ::rename(tmp.c_str(), dst.c_str()) == 0;
  if (!ok) ::unlink(tmp.c_str());
  return ok;
}

bool kill(std::string_view path) {
  std::string host = hostPath(path);
  return !host.empty() && !hooked(host, gFailDelete) && ::unlink(host.c_str()) == 0;
}

bool renameReplace(std::string_view from, std::string_view to) {
  std::string src = hostPath(from), dst = hostPath(to);
  if (src.empty() || dst.empty() || hooked(src)) return false;
  return ::rename(src.c_str(), dst.c_str()) == 0;
}

bool killUnheld(std::string_view path) {
  const std::string host = hostPath(path);
  return !hooked(host, gFailDelete) && killUnheldHost(host);
}

int createScratch(std::string_view path) {
  const std::string host = hostPath(path);
  if (host.empty() || !makeWay(host)) return -1;
  return createHeld(host);
}

std::vector<std::string> listNames(std::string_view dir) {
  std::vector<std::string> names;
  std::string host = hostPath(dir);
  DIR* d = host.empty() ? nullptr : ::opendir(host.c_str());
  if (!d) return names;
  while (const dirent* e = ::readdir(d)) {
    const std::string_view n = e->d_name;
    if (n != "." && n != "..") names.emplace_back(n);
  }
  ::closedir(d);
  return names;
}

bool secondName(std::string_view path, std::string_view name) {
  std::string src = hostPath(path), dst = hostPath(name);
  // Only an ordinary file of one name gets another: a link at `path` is never made a second link.
  struct stat st {};
  if (dst.empty() || hooked(src) || !lstatRegular(src, st) || st.st_nlink != 1) return false;
  if (!makeWay(dst)) return false;
  if (::link(src.c_str(), dst.c_str()) == 0) return true;
  // Only a file system without links gets a copy; a name taken meanwhile stays as it is.
  return errno != EEXIST && fileCopy(path, name);
}

bool isOrdinaryFile(std::string_view path) {
  struct stat st {};
  return lstatRegular(hostPath(path), st);
}

bool isLinked(std::string_view path) {
  const std::string host = hostPath(path);
  struct stat st {};
  return !host.empty() && ::lstat(host.c_str(), &st) == 0 &&
         (S_ISLNK(st.st_mode) || (S_ISREG(st.st_mode) && st.st_nlink > 1));
}

bool mayWrite(std::string_view path) {
  const std::string host = hostPath(path);
  struct stat st {};
  return !host.empty() && ::stat(host.c_str(), &st) == 0 && (st.st_mode & 0222) != 0 &&
         ::access(host.c_str(), W_OK) == 0;
}

bool mkDir(std::string_view path) {
  std::string host = hostPath(path);
  if (host.empty()) return false;
  ::mkdir(host.c_str(), 0777);
  return dirExists(path);
}

bool dirExists(std::string_view path) {
  std::string host = hostPath(path);
  struct stat st {};
  return !host.empty() && ::stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

FolderHold::FolderHold(std::string_view path) {
  const std::string host = hostPath(path);
  if (host.empty()) return;
  fd_ = ::open(host.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd_ < 0) return;
  int r;
  while ((r = ::flock(fd_, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {}
  if (r == 0) return;
  busy_ = errno == EWOULDBLOCK;
  ::close(fd_);
  fd_ = -1;
}

FolderHold::~FolderHold() {
  if (fd_ >= 0) ::close(fd_);
}

bool fileExists(std::string_view path) { return fileLen(path) > 0; }

void failOpenFor(std::string_view path) {
  std::string host = hostPath(path);
  std::lock_guard lock(gHookMutex);
  if (!host.empty()) gFailHooks.insert(host);
}

void failDeleteFor(std::string_view path) {
  std::string host = hostPath(path);
  std::lock_guard lock(gHookMutex);
  if (!host.empty()) gFailDelete.insert(host);
}

void clearFailHooks() {
  std::lock_guard lock(gHookMutex);
  gFailHooks.clear();
  gFailDelete.clear();
}

}  // namespace platform

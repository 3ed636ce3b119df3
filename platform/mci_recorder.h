// The wave-audio recording device behind an alias such as cap44 (private to mci*.cpp).
//
// The capture callback only pushes frames into a fixed lock-free ring (one producer, one
// consumer). A disk-writer thread drains the ring into a scratch WAV file in the scratch folder
// (the song folder), writing several times a second and patching the header sizes and syncing
// about once a second, so the scratch is a playable WAV that holds all but the last second of a
// take if the program dies. The scratch's hidden name carries the local time its take started
// (".cap44-take-20261207-153012.wav"), so a take left behind can be named after it.
//
// `save` moves the take into place: the header is finished in the scratch itself, synced, and
// the scratch renamed to the target, so a take that fits on the disk once is never copied; only
// a target on another file system gets a copy. A take that cannot be saved is kept under
// "Recovered-YYYYMMDD-HHMMSS.wav" (keepTake). Memory stays flat however long the take.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace platform::mci {

// "20261207-153012": the local time t in the form recovered takes are named with.
std::string timeStamp(std::time_t t);
// "Recovered-20261207-153012.wav", with "-2", "-3" ... before ".wav" for later copies.
std::string recoveredName(const std::string& stamp, int copy = 1);
// stem + ".wav", or stem + "-2.wav" ... for copy 2 ...
std::string numberedWav(std::string stem, int copy);

// Keeps the take held by `fd` (`channels`, `dataBytes` bytes of samples after the 44-byte
// header) as "Recovered-STAMP.wav" in the first of `dirs` that takes it, never over an existing
// file: moved there by rename when `linkedPath` (the take's own file, "" when it has no name
// any more) lies in that folder and its header is already right (`headerFixed`), else copied
// from fd (a missing folder is made first). Returns the kept file's path, "" when no folder
// took it; `moved` tells whether the take's own file was renamed.
std::string keepAs(int fd, const std::string& linkedPath, bool headerFixed, int channels,
                   uint64_t dataBytes, const std::string& stamp,
                   const std::vector<std::string>& dirs, bool& moved);

// Keeps the WAV file at `path` as a take started at `stamp` ("" : its length before its last
// write): given a header that matches its whole frames and kept as above, the file itself gone
// (moved, or removed once copied). "" when it is locked (a running recorder's scratch), holds no
// whole frame (it is then removed) or no folder took it (it then stays).
std::string keepFile(const std::string& path, std::string stamp,
                     const std::vector<std::string>& dirs);

// Takes left in `scanDir` by a program that ended while recording: every hidden take file not
// in use by a running recorder is kept as keepFile does, under the start time its name carries.
// Returns the kept files' paths.
std::vector<std::string> recoverScratches(const std::string& scanDir,
                                          const std::vector<std::string>& dirs);

class Recorder {
 public:
  // The scratch lives in `dir` under a hidden name made from `alias`. The ring holds
  // `ringSamples` samples (a power of two is used, at least that many).
  Recorder(std::string dir, const std::string& alias, size_t ringSamples = size_t{1} << 20);
  ~Recorder();  // stops and discards a scratch that is still the recorder's own
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  int channels() const { return channels_; }
  bool recording() const { return recording_; }
  const std::string& scratchPath() const { return scratchPath_; }
  // The local start time of the take ("20261207-153012"), "" before the first cue.
  const std::string& stamp() const { return stamp_; }

  // Each returns "" on success, else the reason.
  std::string setChannels(int channels);  // refused while recording
  std::string cue();                      // creates the scratch file when there is none
  // Starts the capture; fromZero discards what an earlier take of this device holds.
  std::string record(bool fromZero);
  // Closes the capture, drains everything to the scratch, parks the writer. Reports frames
  // the disk did not keep up with; a failed write is told by writeError() instead.
  std::string stop();
  // Moves the take to hostPath (a copy when it lies on another file system, or when the take
  // was already moved by an earlier save).
  std::string save(const std::string& hostPath);
  // Keeps the take as "Recovered-STAMP.wav" in the first of `dirs` that takes it (keepAs).
  // The kept file's path; "" when the take holds no samples or no folder took it.
  std::string keep(const std::vector<std::string>& dirs);
  // Bytes of samples in the take (complete after stop()).
  uint64_t dataBytes() const { return dataBytes_.load(); }
  // errno of the writer's failed write during the last recording; 0 while all went to disk.
  int writeError() const { return writerFailed_.load() ? writeErrno_.load() : 0; }

 private:
  void push(const int16_t* samples, size_t count);  // capture thread
  void writerLoop();
  bool drain();                                     // writer thread; false on a write error
  bool patchHeader();
  // The header and the length finished for what was written, synced.
  bool finishInPlace();
  void wakeWriter();
  void discardScratch();
  // The scratch file still has its name (the song folder was not removed meanwhile).
  bool linked() const;
  // Gives the scratch the start time `stamp` in its name.
  void restamp(const std::string& stamp);
  // The scratch's host path for a take started at `stamp` (copy 2 ...: a name already taken).
  std::string scratchName(const std::string& stamp, int copy) const;

  std::string dir_, base_;
  std::string scratchPath_;
  std::string stamp_;      // local start time of the take
  int fd_ = -1;
  bool owned_ = false;     // fd_ is the scratch (a save moves it away)
  int channels_ = 1;
  bool recording_ = false;
  bool blocking_ = false;  // offline backend: the sink runs on the UI thread and may wait

  std::unique_ptr<int16_t[]> ring_;
  size_t mask_;
  std::atomic<uint64_t> head_{0};  // samples pushed (producer)
  std::atomic<uint64_t> tail_{0};  // samples written (consumer)
  std::atomic<uint64_t> dropped_{0};

  std::thread writer_;
  std::mutex m_;
  std::condition_variable cv_;
  bool stopRequest_ = false;
  bool wakeRequest_ = false;
  std::atomic<bool> writerFailed_{false};
  std::atomic<int> writeErrno_{0};
  std::atomic<uint64_t> dataBytes_{0};  // bytes on disk after the header
  uint64_t headerBytes_ = 0;            // size the header last announced
};

}  // namespace platform::mci

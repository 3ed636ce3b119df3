// The wave-audio recording device behind an alias such as cap44 (private to mci.cpp).
//
// The capture callback only pushes frames into a fixed lock-free ring (one producer, one
// consumer). A disk-writer thread drains the ring into a scratch WAV file, writing several
// times a second and patching the header sizes and syncing about once a second, so the scratch
// is a playable WAV that holds all but the last second of a take if the program dies. `save`
// streams the take into the target in blocks; memory stays flat however long the take.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace platform::mci {

class Recorder {
 public:
  // scratchPath: host path of the scratch WAV. The ring holds `ringSamples` samples (a power
  // of two is used, at least that many).
  Recorder(std::string scratchPath, size_t ringSamples = size_t{1} << 20);
  ~Recorder();  // stops and discards the scratch
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  int channels() const { return channels_; }
  bool recording() const { return recording_; }
  const std::string& scratchPath() const { return scratchPath_; }

  // Each returns "" on success, else the reason.
  std::string setChannels(int channels);  // refused while recording
  std::string cue();                      // creates the scratch file when there is none
  // Starts the capture; fromZero discards what an earlier take of this device holds.
  std::string record(bool fromZero);
  // Closes the capture, drains everything to the scratch, parks the writer.
  std::string stop();
  // Writes the canonical header and the take to hostPath (a temporary beside it, renamed over).
  std::string save(const std::string& hostPath);
  // Bytes of samples in the take (complete after stop()).
  uint64_t dataBytes() const { return dataBytes_.load(); }

 private:
  void push(const int16_t* samples, size_t count);  // capture thread
  void writerLoop();
  bool drain();                                     // writer thread; false on a write error
  bool patchHeader();
  void wakeWriter();
  void discardScratch();

  std::string scratchPath_;
  int fd_ = -1;
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
  int writeErrno_ = 0;
  std::atomic<uint64_t> dataBytes_{0};  // bytes on disk after the header
  uint64_t headerBytes_ = 0;            // size the header last announced
};

}  // namespace platform::mci

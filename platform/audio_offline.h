// The offline backend's input and output files (private to sound.cpp). Everything here runs on
// the thread that drives the offline renders (the UI thread in tests).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace platform::audio {

// What the offline recorder hears: the samples of a mono or stereo WAV (data from byte 44,
// channel count from its header), converted to the channels asked for (mono to stereo
// duplicates, stereo to mono averages); silence without a file and past its end.
class WavSource {
 public:
  ~WavSource() { close(); }
  // "" gives silence. False (with `error` set) when the file cannot be opened.
  bool open(const std::string& path, int outChannels, std::string& error);
  void close();
  // Fills `frames` frames of `outChannels` interleaved samples.
  void read(int16_t* out, size_t frames);

 private:
  int fd_ = -1;
  int inChannels_ = 1;
  int outChannels_ = 1;
  uint64_t offset_ = 44;
  std::vector<int16_t> raw_;
};

// Where the offline output goes: an in-memory copy when no WAV is named, else a stereo WAV
// whose header sizes are rewritten after every append.
//
// The in-memory copy holds at most the last kMemorySeconds of output (tests read short runs;
// a long simulated run must not grow without bound). When it passes the cap by kTrimSeconds the
// oldest frames are dropped in one move; firstFrame() tells the index of the first frame kept.
class OutputSink {
 public:
  static constexpr int64_t kMemorySeconds = 30;
  static constexpr int64_t kTrimSeconds = 5;

  ~OutputSink() { closeWav(); }
  // Starts afresh: empty memory, and a new (truncated) WAV when `wavPath` is not "".
  bool reset(const std::string& wavPath, std::string& error);
  void append(const int16_t* stereo, size_t frames);
  void flush();  // rewrites the WAV header sizes
  void closeWav();
  const std::vector<int16_t>& memory() const { return memory_; }
  int64_t firstFrame() const { return firstFrame_; }

 private:
  std::vector<int16_t> memory_;
  int64_t firstFrame_ = 0;
  int fd_ = -1;
  uint64_t dataBytes_ = 0;
  bool headerStale_ = false;
};

}  // namespace platform::audio

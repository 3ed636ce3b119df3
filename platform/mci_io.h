// File helpers shared by the wave-audio devices (private to mci*.cpp). Host paths, POSIX
// descriptors: the devices never use the program's numbered files, and the recorder's writer
// runs on its own thread.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace platform::mci {

// Full positional read/write (retries short transfers and EINTR). False on error or, for a
// read, on reaching the end early.
bool pwriteAll(int fd, const void* data, size_t len, uint64_t offset);
bool preadAll(int fd, void* data, size_t len, uint64_t offset);
std::string errnoText();  // "No such file or directory"

// A byte range of a source file.
struct Segment {
  uint64_t offset;
  uint64_t length;
};

// Writes the canonical header for `channels` and the concatenated segments of srcFd to
// hostPath: into a temporary beside it, synced, then renamed over it (the old file survives a
// failure). Copies in blocks of about a second of audio. "" on success, else the reason.
std::string saveWav(const std::string& hostPath, int channels, int srcFd,
                    const std::vector<Segment>& segments);

}  // namespace platform::mci

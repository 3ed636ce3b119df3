// Files for tests: a temporary folder standing in as the program's drive C:, and the bytes of
// the files put on it. Platform-level only, so that the platform tests can use it too.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "platform/paths.h"
#include "platform/wav.h"

namespace test_support {

using Bytes = std::vector<uint8_t>;

inline Bytes readAll(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void writeAll(const std::filesystem::path& p, const Bytes& b) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

// A WAV file as the program writes it: the canonical header, then `samples` (interleaved when
// there are two channels).
inline Bytes wavFile(int channels, const std::vector<int16_t>& samples) {
  const auto h = platform::wavHeader(channels, uint32_t(samples.size() * 2));
  Bytes b(h.begin(), h.end());
  b.resize(b.size() + samples.size() * 2);
  if (!samples.empty()) std::memcpy(b.data() + h.size(), samples.data(), samples.size() * 2);
  return b;
}

// A fresh folder (mkdtemp, named `prefix` and six random characters, inside `parent`) as the
// drive root for the life of the object, with the working directory inside it, so that "C:\"
// is also the current directory. Destruction puts the working directory and the drive root
// back and removes the folder with everything in it.
class TempDrive {
 public:
  explicit TempDrive(const std::string& prefix,
                     const std::filesystem::path& parent = std::filesystem::temp_directory_path()) {
    std::string tmpl = (parent / (prefix + "XXXXXX")).string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("cannot make a folder like " + tmpl);
    path_ = std::filesystem::canonical(tmpl);
    oldCwd_ = std::filesystem::current_path();
    platform::setDriveRoot(path_.string());
    std::filesystem::current_path(path_);
  }
  ~TempDrive() {
    std::error_code ec;
    std::filesystem::current_path(oldCwd_, ec);
    platform::setDriveRoot("");
    std::filesystem::remove_all(path_, ec);
  }
  TempDrive(const TempDrive&) = delete;
  TempDrive& operator=(const TempDrive&) = delete;

  // The drive root's host path.
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_, oldCwd_;
};

}  // namespace test_support

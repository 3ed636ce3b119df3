#include "platform/paths.h"

#include <climits>
#include <cstdlib>
#include <mutex>
#include <unistd.h>

namespace platform {

namespace {

std::mutex gRootMutex;
std::string gRootOverride;

// "/a//b/" -> "/a/b"; "/" stays "/".
std::string tidySlashes(std::string s) {
  std::string out;
  out.reserve(s.size());
  for (char c : s)
    if (!(c == '/' && !out.empty() && out.back() == '/')) out += c;
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  return out;
}

std::string workingDir() {
  char buf[PATH_MAX];
  return getcwd(buf, sizeof buf) ? std::string(buf) : std::string("/");
}

std::string join(const std::string& dir, std::string_view rest) {
  std::string out = dir;
  out += '/';
  out += rest;
  return tidySlashes(std::move(out));
}

}  // namespace

std::string driveRoot() {
  std::string root;
  {
    std::lock_guard lock(gRootMutex);
    root = gRootOverride;
  }
  if (root.empty()) {
    const char* drive = std::getenv("VEMRA_DRIVE");
    const char* home = std::getenv("HOME");
    root = drive && *drive ? drive : home && *home ? home : "/";
  }
  // The resolved form, so that it compares with the working directory the system reports.
  if (char* real = realpath(root.c_str(), nullptr)) {
    root = real;
    std::free(real);
  }
  return tidySlashes(root);
}

void setDriveRoot(std::string hostDir) {
  std::lock_guard lock(gRootMutex);
  gRootOverride = std::move(hostDir);
}

std::string curDir() {
  std::string root = driveRoot();
  std::string cwd = workingDir();
  std::string rel;
  if (root == "/") {
    rel = cwd.substr(1);
  } else if (cwd.size() > root.size() && cwd.compare(0, root.size(), root) == 0 &&
             cwd[root.size()] == '/') {
    rel = cwd.substr(root.size() + 1);
  }
  for (char& c : rel)
    if (c == '/') c = '\\';
  return "C:\\" + rel;
}

std::string hostPath(std::string_view logical) {
  // Fixed-length fields come blank-padded (or zero-filled when read from a file).
  while (!logical.empty() && (logical.back() == ' ' || logical.back() == '\0')) logical.remove_suffix(1);
  // Empty, or a NUL inside, names no file: the empty host path makes every call fail.
  if (logical.empty() || logical.find('\0') != std::string_view::npos) return {};
  if (logical.front() == '/') return tidySlashes(std::string(logical));  // host absolute

  std::string rest(logical);
  for (char& c : rest)
    if (c == '\\') c = '/';
  bool hasDrive = rest.size() >= 2 && rest[1] == ':' &&
                  ((rest[0] >= 'A' && rest[0] <= 'Z') || (rest[0] >= 'a' && rest[0] <= 'z'));
  if (hasDrive) rest.erase(0, 2);
  // "C:\a", "\a": from the drive root; "C:a", "a": from the working directory.
  if (!rest.empty() && rest.front() == '/') return join(driveRoot(), rest);
  return join(workingDir(), rest);
}

}  // namespace platform

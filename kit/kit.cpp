#include "kit/kit.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "platform/wav.h"

namespace fs = std::filesystem;

namespace kit {

namespace {

constexpr const char* kFolder = "Vemracd";
constexpr const char* kSongFolder = "Mysong";
constexpr const char* kTextFiles[] = {"TROUBLE.TXT", "MVTIPS.TXT", "Tips.htm"};
constexpr const char* kProgram = "Mv01.exe";

enum class State { Missing, Present, NotAFile };

// A file counts as missing when it is absent, a dangling link or empty: the program itself
// treats a zero-length file as missing, and replacing one loses nothing.
State stateOf(const fs::path& p) {
  std::error_code ec;
  const fs::file_status st = fs::status(p, ec);
  if (st.type() == fs::file_type::not_found) return State::Missing;
  if (ec) return State::NotAFile;
  if (!fs::is_regular_file(st)) return State::NotAFile;
  const auto size = fs::file_size(p, ec);
  return !ec && size == 0 ? State::Missing : State::Present;
}

fs::path tempFor(const fs::path& target) {
  std::string name = ".";
  name.append(target.filename().string()).append(".kit-").append(std::to_string(getpid()));
  return target.parent_path() / name;
}

// Moves a finished temporary onto `target` (replacing it atomically) or removes it on failure.
std::string commit(const fs::path& tmp, const fs::path& target) {
  std::error_code ec;
  fs::rename(tmp, target, ec);
  if (!ec) return {};
  std::error_code ignored;
  fs::remove(tmp, ignored);
  return "cannot put " + target.string() + " in place: " + ec.message();
}

std::string writeBytes(const fs::path& target, const std::vector<uint8_t>& bytes) {
  const fs::path tmp = tempFor(target);
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      std::error_code ignored;
      fs::remove(tmp, ignored);
      return "cannot write " + tmp.string();
    }
  }
  return commit(tmp, target);
}

std::string copyFile(const fs::path& from, const fs::path& target, fs::perms add) {
  const fs::path tmp = tempFor(target);
  std::error_code ec;
  fs::copy_file(from, tmp, fs::copy_options::overwrite_existing, ec);
  if (!ec) fs::permissions(tmp, add, fs::perm_options::add, ec);
  if (ec) {
    std::error_code ignored;
    fs::remove(tmp, ignored);
    return "cannot copy " + from.string() + ": " + ec.message();
  }
  return commit(tmp, target);
}

Entry folderEntry(const fs::path& dir, const std::string& name) {
  std::error_code ec;
  if (fs::is_directory(dir, ec)) return {name, Outcome::Kept, {}};
  if (fs::exists(fs::symlink_status(dir, ec)))
    return {name, Outcome::Failed, dir.string() + " exists and is not a folder"};
  if (!fs::create_directory(dir, ec) || ec)
    return {name, Outcome::Failed, "cannot create " + dir.string() + ": " + ec.message()};
  return {name, Outcome::Created, {}};
}

// Installs one file that the user may own: only when it is missing. `write` makes it.
template <class Write>
Entry installOnce(const fs::path& target, const std::string& name, Write write) {
  switch (stateOf(target)) {
    case State::Present: return {name, Outcome::Kept, {}};
    case State::NotAFile: return {name, Outcome::Failed, target.string() + " is not a file; left alone"};
    case State::Missing: break;
  }
  std::string error = write();
  if (!error.empty()) return {name, Outcome::Failed, std::move(error)};
  return {name, Outcome::Created, {}};
}

}  // namespace

std::vector<uint8_t> templateWav(int channels) {
  const auto header = platform::wavHeader(channels, 0);
  return {header.begin(), header.end()};
}

std::vector<uint8_t> blankParms() {
  std::vector<uint8_t> bytes(kParmsBytes, 0);
  std::fill_n(bytes.begin() + kEditPathOffset, kEditPathBytes, uint8_t{' '});
  return bytes;
}

std::string filesFolder() { return VEMRA_KIT_FILES; }

const char* outcomeName(Outcome o) {
  switch (o) {
    case Outcome::Created: return "installed";
    case Outcome::Kept: return "kept";
    case Outcome::Refreshed: return "refreshed";
    case Outcome::NoSource: return "not installed";
    case Outcome::Failed: return "FAILED";
  }
  return "?";
}

bool InstallResult::ok() const {
  for (const Entry& e : entries)
    if (e.outcome == Outcome::Failed) return false;
  return true;
}

const Entry* InstallResult::find(const std::string& name) const {
  for (const Entry& e : entries)
    if (e.name == name) return &e;
  return nullptr;
}

InstallResult install(const std::string& driveRoot, const std::string& mv01Exe,
                      const std::string& textSource) {
  InstallResult r;
  const std::string folderName = kFolder;
  std::error_code ec;
  if (driveRoot.empty() || !fs::is_directory(driveRoot, ec)) {
    r.entries.push_back({folderName, Outcome::Failed,
                         "the drive root '" + driveRoot + "' is not an existing folder"});
    return r;
  }
  const fs::path folder = fs::path(driveRoot) / kFolder;
  r.folder = folder.string();
  r.entries.push_back(folderEntry(folder, folderName));
  if (r.entries.back().outcome == Outcome::Failed) return r;
  r.entries.push_back(folderEntry(folder / kSongFolder, folderName + "/" + kSongFolder));

  auto name = [&](const char* file) { return folderName + "/" + file; };
  for (int channels : {1, 2}) {
    const char* file = channels == 1 ? "def" : "def1";
    r.entries.push_back(installOnce(folder / file, name(file),
                                    [&] { return writeBytes(folder / file, templateWav(channels)); }));
  }
  r.entries.push_back(installOnce(folder / "Parms", name("Parms"),
                                  [&] { return writeBytes(folder / "Parms", blankParms()); }));
  for (const char* file : kTextFiles) {
    const fs::path from = fs::path(textSource) / file;
    r.entries.push_back(installOnce(folder / file, name(file), [&]() -> std::string {
      if (stateOf(from) != State::Present) return "the kit's copy " + from.string() + " is missing";
      return copyFile(from, folder / file, fs::perms::owner_read | fs::perms::owner_write);
    }));
  }

  // The mixdown program is a build product, not a user file: always the build's copy.
  const std::string program = name(kProgram);
  if (mv01Exe.empty()) {
    r.entries.push_back({program, Outcome::NoSource, "the mixdown program was not built"});
  } else if (stateOf(mv01Exe) != State::Present) {
    r.entries.push_back({program, Outcome::NoSource, "no built program at " + mv01Exe});
  } else {
    constexpr fs::perms kExec = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec;
    std::string error = copyFile(mv01Exe, folder / kProgram, kExec);
    r.entries.push_back(error.empty() ? Entry{program, Outcome::Refreshed, {}}
                                      : Entry{program, Outcome::Failed, std::move(error)});
  }
  return r;
}

}  // namespace kit

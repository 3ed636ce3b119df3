// The track-settings file `vsets`: names, knob positions, pans and volumes of all 28 tracks
// from one run to the next. 532 bytes, no header: the 140 elements of layouttab as signed 16-bit
// little-endian integers (element e at offset 2e), then the 28 names of 9 bytes each from
// offset 280. Files written by other copies of the program load byte for byte (values out of
// range are brought within range), and bytes past 532 of a longer file are left alone.
#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "platform/text.h"
#include "shell/main_form.h"
#include "shell/shell.h"

namespace shell {

namespace ui = platform::ui;
namespace colour = ui::colour;

namespace {

constexpr const char* kLoadTitle = " Load vsets ?";
constexpr const char* kLoadQuestion = " Do you want names/pans/vols loaded from vsets file ?";
constexpr const char* kNotSavedTitle = "vsets NOT SAVED";

constexpr int kNamesOffset = 2 * Shell::kLayoutLen;  // 280
static_assert(kNamesOffset + Shell::kTracks * Shell::kNameLen == Shell::kSetsLen);

// The file's name with a leading dot and ".new" after it, in the same folder: no listing of
// the program shows it.
std::string hiddenBeside(std::string_view path) {
  std::string p = platform::rtrim(path);
  p.insert(p.find_last_of("\\/") + 1, 1, '.');  // npos + 1: a bare name
  return p.append(".new");
}

// Puts `image` at the start of the file at `path` under file number fn, so that the file is
// either as it was or whole with the new bytes, never empty or cut (a full disk, a write that
// fails half-way, a crash): the new file is written beside it under a hidden name, synced, and
// renamed over it. The bytes an earlier, longer file holds past the image are carried over.
// On failure nothing is left beside it.
bool writeWhole(int fn, std::string_view path, std::span<const uint8_t> image) {
  const std::string tmp = hiddenBeside(path);
  // A fresh name of the program's own (one left by a run that ended half-way goes).
  if (!platform::fileOpen(fn, tmp, platform::OpenMode::Scratch)) return false;
  platform::fileClose(fn);
  bool ok = platform::fileLen(path) < 0 || platform::fileCopy(path, tmp);
  ok = ok && platform::fileOpen(fn, tmp, platform::OpenMode::ReadWrite);
  if (ok) {
    ok = platform::putBytes(fn, 1, image) && platform::flush(fn);
    platform::fileClose(fn);
  }
  ok = ok && platform::renameReplace(tmp, path);
  if (!ok) platform::killUnheld(tmp);
  return ok;
}

}  // namespace

// Start-up and the exit paths call these; there is nothing to attach.
void Shell::wireSettings() {}

void Shell::wmixrec() {
  // The page on screen is current in the controls; the other half is as the tables hold it.
  if (form_.t0114->foreColor() == colour::kWhite) {
    takeElements(0, kPage2Base, false);
    storeNames(false);
  }
  if (form_.t1528->foreColor() == colour::kWhite) {
    takeElements(kPage2Base, kLayoutLen, true);
    storeNames(true);
  }

  std::array<uint8_t, kSetsLen> image{};
  for (int e = 0; e < kLayoutLen; ++e) {
    const auto v = static_cast<uint16_t>(layouttab[e]);
    image[2 * e] = static_cast<uint8_t>(v & 0xFF);
    image[2 * e + 1] = static_cast<uint8_t>(v >> 8);
  }
  for (int t = 0; t < kTracks; ++t) {
    const std::string name = platform::fixedLen(trknames[t], kNameLen);
    std::copy(name.begin(), name.end(), image.begin() + kNamesOffset + kNameLen * t);
  }

  setsfnum = platform::freeFile();
  const bool saved = setsfnum > 0 && writeWhole(setsfnum, setsfname, image);
  if (!saved)
    ui::msgBox(" Pans, volumes and track names could not be saved in the vsets file (" +
                   platform::rtrim(setsfname) +
                   "). Please check that the song folder exists and can be written.",
               ui::kOkOnly, kNotSavedTitle);
}

void Shell::rmixrec() {
  setsfnum = platform::freeFile();
  if (!FileExists(setsfname)) return;
  if (ui::msgBox(kLoadQuestion, ui::kYesNo, kLoadTitle) != ui::kYes) return;
  if (setsfnum <= 0 || !platform::fileOpen(setsfnum, setsfname, platform::OpenMode::Read)) return;
  std::array<uint8_t, kSetsLen> image{};
  const size_t got = platform::getBytes(setsfnum, 1, image);
  platform::fileClose(setsfnum);

  // Only entries the file holds whole are taken; a shorter file leaves the rest as they were.
  const int elements = static_cast<int>(std::min<size_t>(kLayoutLen, got / 2));
  const size_t nameBytes = got > static_cast<size_t>(kNamesOffset) ? got - kNamesOffset : 0;
  const int names = static_cast<int>(std::min<size_t>(kTracks, nameBytes / kNameLen));
  for (int e = 0; e < elements; ++e)
    layouttab[e] = static_cast<int16_t>(image[2 * e] | (image[2 * e + 1] << 8));
  for (int t = 0; t < names; ++t)
    trknames[t].assign(reinterpret_cast<const char*>(image.data()) + kNamesOffset + kNameLen * t,
                       kNameLen);

  // The page in the rows gets its knobs and names; every loaded pan and volume goes into its
  // Tag at once, so playback uses them whatever the page.
  putElements(0, elements, page1528());
  showNames(page1528(), names);
}

}  // namespace shell

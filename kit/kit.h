// The program folder kit: the files that `Vemracd/` under the drive root must hold for the
// program to start cleanly, and the installer that puts them there.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace kit {

// The request file: 284 bytes, zero except the outside editor's path field, which is blank.
constexpr int kParmsBytes = 284;
constexpr int kEditPathOffset = 192;
constexpr int kEditPathBytes = 25;

// The blank track templates: `def` (channels 1) and `def1` (channels 2), a 44-byte header
// announcing no samples.
std::vector<uint8_t> templateWav(int channels);
std::vector<uint8_t> blankParms();

// Where the kit's text files (TROUBLE.TXT, MVTIPS.TXT, Tips.htm) are kept in the source tree.
std::string filesFolder();

enum class Outcome {
  Created,    // was missing (or empty) and is now installed
  Kept,       // already there; left as the user has it
  Refreshed,  // Mv01.exe: replaced by the build's copy
  NoSource,   // Mv01.exe: no built program to copy; the rest is installed anyway
  Failed,     // could not be installed (see message)
};
const char* outcomeName(Outcome o);

struct Entry {
  std::string name;  // relative to the drive root, e.g. "Vemracd/def"
  Outcome outcome;
  std::string message;  // why, for NoSource and Failed
};

struct InstallResult {
  std::string folder;          // <driveRoot>/Vemracd
  std::vector<Entry> entries;  // folders first, then the files, Mv01.exe last
  bool ok() const;             // nothing Failed
  const Entry* find(const std::string& name) const;
};

// Creates <driveRoot>/Vemracd and Vemracd/Mysong when missing; writes def, def1 and Parms and
// copies the text files from `textSource` when each is missing or empty (never replacing a
// file with content: the user may have edited it); always replaces Vemracd/Mv01.exe with
// `mv01Exe` ("" when it was not built), atomically and executable. Every file is written to a
// temporary name first and renamed into place, so an interrupted install leaves no half file.
InstallResult install(const std::string& driveRoot, const std::string& mv01Exe,
                      const std::string& textSource = filesFolder());

}  // namespace kit

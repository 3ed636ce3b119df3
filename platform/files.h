// Numbered files and file-system calls, as the program's file-number interface expects them.
// Positions given to get/put count the first byte of a file as 1; offsets are 64-bit.
// Every path argument is a logical path (see paths.h). Nothing here throws: failures are
// reported by the return value.
#pragma once
#include <cstdint>
#include <ctime>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class OpenMode {
  Read,               // read only; never creates
  ReadWrite,          // read and write; creates a missing file (vsets, Parms, temp.wav); never truncates
  ReadWriteExisting,  // read and write on an existing file only (header patches)
  Scratch,            // read and write on a fresh scratch file (see createScratch)
};

constexpr int kMaxFileNumber = 511;

// The lowest file number (1..511) not in use, or 0 when all are.
int freeFile();
// Opens a logical path under file number fn (1..511). False when fn is in use or out of
// range, the path is not an ordinary file (a folder, a FIFO, a device: never waited on), the
// file cannot be opened, or a test hook makes the path fail.
bool fileOpen(int fn, std::string_view path, OpenMode mode);
bool isOpen(int fn);
void fileClose(int fn);
void closeAll();

// Position of the next read/write (1-based), or 0 when fn is not open.
int64_t seekPos(int fn);
bool seek(int fn, int64_t pos1);  // pos1 >= 1; beyond the end is allowed (a write lengthens)
int64_t lof(int fn);              // length of an open file in bytes, -1 when not open
// True only after a read on fn came up short (reached the end); a seek clears it.
bool eof(int fn);
// Makes reads of the open track or master file fn end where its sound does (soundBytes in
// wav.h), so that a tag chunk after the sound is never taken for samples: a read past it comes
// up short and sets eof as at the file's end. Writes are not limited. False when fn is not open
// or cannot be read.
bool endAtSound(int fn);

// Reads at pos1 (>= 1), or at the current position when pos1 is 0. Return false when fn is
// not open or the read came up short; a short read leaves eof(fn) true. Values not read are
// zero (numbers, array elements) or blanks (strings) so no stale data survives.
bool getInt16(int fn, int64_t pos1, int16_t& v);
bool getUInt32(int fn, int64_t pos1, uint32_t& v);
// Returns the number of elements wholly read; the rest of `out` is set to zero.
size_t getInt16s(int fn, int64_t pos1, std::span<int16_t> out);
// Reads exactly len bytes as text (a fixed-length field); short reads are blank-padded.
bool getString(int fn, int64_t pos1, size_t len, std::string& out);
size_t getBytes(int fn, int64_t pos1, std::span<uint8_t> out);

// Writes at pos1 (>= 1), or at the current position when pos1 is 0. False on any failure.
bool putInt16(int fn, int64_t pos1, int16_t v);
bool putUInt32(int fn, int64_t pos1, uint32_t v);
bool putInt16s(int fn, int64_t pos1, std::span<const int16_t> data);
bool putString(int fn, int64_t pos1, std::string_view bytes);  // the bytes as they are
bool putBytes(int fn, int64_t pos1, std::span<const uint8_t> data);
// Cuts or extends an open file to len bytes.
bool truncateTo(int fn, int64_t len);
// Makes room on the disk for the open file to grow to len bytes (the new bytes read as zero; a
// file already that long is left alone). False when there is no room: the file is as it was.
bool reserve(int fn, int64_t len);
bool flush(int fn);

// By name.
int64_t fileLen(std::string_view path);  // -1 when it cannot be read
// The stored name of an ordinary file (not hidden: no leading dot), with its case, when a
// file of exactly that name exists; nothing otherwise. Like a one-name directory listing.
std::optional<std::string> dirOne(std::string_view path);
std::optional<std::time_t> fileDateTime(std::string_view path);
// Replaces `to` with a whole copy: written beside it under a hidden name of the program's own
// (".NAME.vemra-XXXXXX", held while written) and renamed over it.
constexpr std::string_view kHiddenCopyTag = ".vemra-";
bool fileCopy(std::string_view from, std::string_view to);
bool kill(std::string_view path);
// Renames `from` to `to`, replacing `to` atomically when it exists.
bool renameReplace(std::string_view from, std::string_view to);
// Removes a scratch file of the program's that no running program holds: every file the
// program writes is held (a shared lock) while it is open. Only an ordinary file goes.
bool killUnheld(std::string_view path);
// Creates `path` as a fresh, empty ordinary file of the program's own and holds it: an unheld
// ordinary leftover there goes first; anything else there (a folder, a FIFO, a device, a
// link, a file a running program holds) makes it fail, so nothing stands in for the new file
// and nothing is waited on. Returns the open descriptor (read and write), or -1 with errno set.
int createScratch(std::string_view path);
// The names in a folder (hidden ones too, no "." or ".."); empty when it cannot be read.
std::vector<std::string> listNames(std::string_view dir);
// A second name for an ordinary file of a single name: a hard link, or a whole copy where the
// file system has no links. False, nothing made, when `path` is anything else (a symbolic link,
// a file with other names). The name is made fresh as by createScratch: false when something
// other than an unheld ordinary leftover is there, or when neither link nor copy can be made.
bool secondName(std::string_view path, std::string_view name);
// True when an ordinary file stands at the name itself: a link there is none, whatever it names.
bool isOrdinaryFile(std::string_view path);
// True when the name is a symbolic link, or an ordinary file that has other names too (hard
// links): a write through it changes the file under its other names, a rename parts it from them.
bool isLinked(std::string_view path);
// True when the user may write the file: its mode has a write bit and access() allows it (root
// is allowed whatever the mode, so a file made read-only counts as such for root as well).
bool mayWrite(std::string_view path);
bool mkDir(std::string_view path);
bool dirExists(std::string_view path);

// Holds a folder for as long as it lives: an advisory lock on the folder itself that no other
// holder gets meanwhile (another process, or another holder in this process) and that the
// system drops when the process ends, however it ends, so nothing stale is left. Nothing is
// written, and the programs this process starts do not inherit it.
class FolderHold {
 public:
  explicit FolderHold(std::string_view path);
  ~FolderHold();
  FolderHold(const FolderHold&) = delete;
  FolderHold& operator=(const FolderHold&) = delete;
  // True when another holder has the folder. False when this one holds it, and when the
  // folder is not there or cannot be opened or locked (nothing is held then).
  bool busy() const { return busy_; }

 private:
  int fd_ = -1;
  bool busy_ = false;
};

// "File exists": its length can be read and is greater than zero.
bool fileExists(std::string_view path);

// Test hooks: opening (by number or for copy/rename sources) a path whose host path equals
// that of `path` fails, whatever the mode; deleting one named by failDeleteFor fails.
void failOpenFor(std::string_view path);
void failDeleteFor(std::string_view path);
void clearFailHooks();

}  // namespace platform

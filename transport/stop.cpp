// STOP and the finishing of a recorded take.
//
// STOP ends whatever the transport runs: a solo playback of the track menu, real-time playback,
// or a recording. After a recording it turns the recorder's take into a finished track file:
// stop, 100 ms, save into the file fixed when the take started, 2200 ms, close, then the header
// patches, and for a mono take started at a later second of the song that many seconds of
// silence in front (through temp.wav), so that it lines up with the tracks it was played over.
//
// The device moves the take into its file. A take that cannot be saved there (the song folder
// removed or read-only, a folder in the file's place), or whose silence cannot be put in front
// (no room, something else at temp.wav), is kept as "Recovered-...wav" and the message line
// says where; a take without samples leaves no file. Either way the row's record button turns
// red again.
//
// The finishing yields to the event loop for 2.3 s while the transport already shows the
// stopped state. Mouse and key input (the close box included) are dropped meanwhile and
// finishing() is true, so that nothing can start, delete or end anything before the take is on
// disk; QUIT is enabled only once it is.
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/mci.h"
#include "platform/ui.h"
#include "platform/wav.h"
#include "shell/main_form.h"
#include "shell/shell.h"
#include "transport/transport.h"
#include "waveform/waveform.h"

namespace transport {

namespace ui = platform::ui;
namespace colour = platform::ui::colour;

namespace {

constexpr int kStereoTrack = 29;
constexpr int32_t kSamplesPerSec = 44100;
constexpr int64_t kHeader = platform::kWavHeaderBytes;
// File numbers of the late-start rewrite.
constexpr int kTempFile = 85, kTrackFile = 86;

// Drops mouse and key input for as long as it lives (and puts back what was there before).
class InputBlock {
 public:
  InputBlock() : was_(ui::inputBlocked()) { ui::setInputBlocked(true); }
  ~InputBlock() { ui::setInputBlocked(was_); }
  InputBlock(const InputBlock&) = delete;
  InputBlock& operator=(const InputBlock&) = delete;

 private:
  bool was_;
};

// The file name of a logical path ("C:\\Vemracd\\Mysong\\T03.wav" -> "T03.wav").
std::string fileNameOf(std::string_view path) {
  const size_t at = path.find_last_of("\\/");
  return std::string(at == std::string_view::npos ? path : path.substr(at + 1));
}

// Yields to the event loop until more than `ms` milliseconds have passed.
void waitMoreThan(int64_t ms) { platform::waitFor(ms + 1); }

// Writes 16-bit values from byte offset `offset` of an existing file, under the next free file
// number (the engine holds the track files under theirs while playback runs).
bool patch(std::string_view path, int64_t offset, std::span<const int16_t> values) {
  const int fn = platform::freeFile();
  if (fn == 0 || !platform::fileOpen(fn, path, platform::OpenMode::ReadWriteExisting)) return false;
  bool ok = true;
  for (size_t i = 0; i < values.size() && ok; ++i)
    ok = platform::putInt16(fn, offset + 1 + 2 * static_cast<int64_t>(i), values[i]);
  platform::fileClose(fn);
  return ok;
}

}  // namespace

bool Transport::monohdr(std::string_view path) {
  // 88200 bytes per second as two 16-bit halves (22664 + 1 x 65536), then block align 2.
  const int16_t rate[] = {22664, 1, 2};
  return patch(path, 28, rate);
}

bool Transport::stereohdr(std::string_view path) {
  // Channels 2, 44100 per second, 176400 bytes per second (45328 + 2 x 65536), block align 4.
  const int16_t fmt[] = {2, static_cast<int16_t>(0xAC44), 0, static_cast<int16_t>(45328), 2, 4};
  return patch(path, 22, fmt);
}

void Transport::RPSTOP_Click() {
  shell::MainForm& f = sys_.form;
  waveform::Waveform& w = *sys_.waveform;
  if (f.RPSTOP->foreColor() == colour::kRed) return;  // nothing runs
  f.late->setCaption("");
  setClock(pinhrs_, pinmins_, pinsecs_ - 1);  // the next step shows the start point
  f.Timer1->setEnabled(false);
  f.pfrom->setCaption("P all");
  f.recd->setVisible(false);

  if (w.solowav == 1) {  // a solo waveform plays: it stops and nothing else changes
    platform::mciExecute("Stop " + w.seltrkfile);
    w.solowav = 0;
    f.PLAY->setForeColor(colour::kYellow);
    f.RPSTOP->setForeColor(colour::kRed);
    w.soloptr = 3;
    f.timeptr->setWidth(w.soloptr);
  }
  if (f.RPSTOP->foreColor() == colour::kRed) return;

  w.enablewavdisplays();
  f.setPointer(ui::Pointer::Hourglass);
  // A take to finish: fixed now, before any wait. QUIT stays disabled until it is saved.
  const bool takeRuns = w.soloplay != 1 && tpmode_ == 2 && take.active &&
                        take.armedtrk >= 1 && take.armedtrk <= kStereoTrack;
  f.HLPDOC->setEnabled(true);
  f.MIX->setEnabled(true);
  f.Umsg->setCaption(kStoppedText);
  f.PLAY->setForeColor(colour::kYellow);
  f.RPSTOP->setForeColor(colour::kRed);
  if (!takeRuns) f.QUIT->setEnabled(true);

  if (w.soloplay == 1) {
    platform::mciExecute("Stop " + w.seltrkfile);
    w.soloplay = 0;
    f.setPointer(ui::Pointer::Arrow);
    return;
  }
  if (tpmode_ == 1) {
    tpmode_ = 0;
    sys_.engine->stopdsound();
    f.setPointer(ui::Pointer::Arrow);
    return;
  }
  if (tpmode_ == 2) {
    sys_.engine->stopdsound();  // also ends the playback of an overdub
    recbusy_ = false;
  }
  platform::kill(sys_.shell->t00fname);
  if (takeRuns) {
    const Take t = take;
    take.active = false;  // finished once, whatever happens meanwhile
    finishTake(t);
  }
  f.setPointer(ui::Pointer::Arrow);
  f.QUIT->setEnabled(true);
}

void Transport::finishTake(const Take& t) {
  shell::MainForm& f = sys_.form;
  shell::Shell& sh = *sys_.shell;
  finishing_ = true;
  {
    InputBlock block;
    recbusy_ = false;
    send("stop cap44 ");
    waitMoreThan(100);
    // The take moves into its file. One that cannot go there is kept at once under a name of
    // its own; the message line tells either outcome, so the save reports nothing itself.
    const bool saved = platform::mciExecuteQuiet("save cap44 " + t.file);
    std::optional<platform::KeptTake> kept;
    if (!saved) kept = platform::mciKeepTake("cap44");
    waitMoreThan(2200);
    const std::string stamp = platform::mciTakeStamp("cap44");  // known until the close
    send("close cap44 ");
    platform::kill(sh.t00fname);
    if (kept) {
      takeKept(t, kept->folder, kept->name);
    } else if (!saved || platform::fileLen(t.file) <= kHeader) {
      takeLost(t);  // no samples were taken
    } else {
      monohdr(t.file);
      f.refresh();
      if (t.stereo) {
        stereohdr(t.file);  // the stereo track gets no silence in front
      } else if (t.startSecond > 0 && !lateStart(t)) {
        // Without its silence in front the take would not line up with the tracks it was
        // played over: it is kept apart, as one that could not be saved (else it stays).
        if (auto k = platform::mciKeepFile(t.file, stamp)) takeKept(t, k->folder, k->name);
      }
    }
  }
  finishing_ = false;
}

bool Transport::send(const std::string& command) const {
  return quietFinish_ ? platform::mciExecuteQuiet(command) : platform::mciExecute(command);
}

void Transport::markNotRecorded(const Take& t) {
  shell::MainForm& f = sys_.form;
  const bool rows1528 = sys_.shell->page1528();
  if (t.armedtrk == kStereoTrack) {
    f.ST01->setForeColor(colour::kRed);
  } else if (!rows1528 && t.armedtrk <= 14) {
    f.R[t.armedtrk - 1]->setForeColor(colour::kRed);
  } else if (rows1528 && t.armedtrk >= 15) {
    f.R[t.armedtrk - 15]->setForeColor(colour::kRed);
  }
}

void Transport::takeLost(const Take& t) {
  // A file without samples (an empty take, a scrap shorter than a header) holds no sound:
  // removing it keeps "red" and "no file" one.
  const int64_t len = platform::fileLen(t.file);
  if (len >= 0 && len <= kHeader) platform::kill(t.file);
  markNotRecorded(t);
  sys_.form.Umsg->setCaption(kNothingSavedText);
}

void Transport::takeKept(const Take& t, const std::string& folder, const std::string& keptName) {
  markNotRecorded(t);
  sys_.form.Umsg->setCaption(notSavedText(fileNameOf(t.file), folder, keptName));
}

std::string Transport::notSavedText(std::string_view file, std::string_view folder,
                                    std::string_view kept) {
  return " Recording not saved as " + std::string(file) + " - kept in " + std::string(folder) +
         " as " + std::string(kept) + ". Please Re-try.";
}

void Transport::showRecorderFault() {
  if (!take.active || take.faultShown) return;
  const int err = platform::mciWriteError("cap44");
  if (err == 0) return;
  take.faultShown = true;
  sys_.form.Umsg->setCaption(
      err == ENOSPC || err == EDQUOT
          ? std::string(kDiskFullText)
          : " DISK ERROR - the recording stopped being written (" + std::string(std::strerror(err)) +
                "). Click STOP to keep what was recorded.");
}

bool Transport::lateStart(const Take& t) {
  shell::MainForm& f = sys_.form;
  shell::Shell& sh = *sys_.shell;
  f.setPointer(ui::Pointer::Hourglass);
  armedtrk_ = 0;
  const std::string& temp = sh.scratchfname;
  auto abandon = [&] {
    platform::fileClose(kTempFile);
    platform::fileClose(kTrackFile);
    platform::killUnheld(temp);
    return false;
  };

  // The result must still be a WAV: its sizes are 32-bit.
  const int64_t taken = platform::fileLen(t.file) - kHeader;
  const int64_t silence = int64_t{t.startSecond} * kSamplesPerSec * 2;
  const int64_t blocks = taken / (kSamplesPerSec * 2) + 1;
  if (kHeader + silence + blocks * kSamplesPerSec * 2 > std::numeric_limits<uint32_t>::max())
    return false;

  // temp.wav: def's header, or the canonical one written here when def is missing or short.
  if (!openFromTemplate(kTempFile, temp)) return abandon();
  if (!platform::fileOpen(kTrackFile, t.file, platform::OpenMode::Read)) return abandon();

  // The silence, a second at a time, then the take in blocks of a second from its byte 44.
  // The read that reaches the end comes back short or empty; the block is written whole, with
  // zeros where nothing was read.
  std::vector<int16_t> block(kSamplesPerSec);
  if (!platform::seek(kTempFile, kHeader + 1)) return abandon();
  for (int32_t s = 0; s < t.startSecond; ++s)
    if (!platform::putInt16s(kTempFile, 0, block)) return abandon();
  if (!platform::seek(kTrackFile, kHeader + 1)) return abandon();
  while (!platform::eof(kTrackFile)) {
    platform::getInt16s(kTrackFile, 0, block);
    if (!platform::putInt16s(kTempFile, 0, block)) return abandon();
  }

  const int64_t len = platform::lof(kTempFile);
  if (len < kHeader || !platform::putUInt32(kTempFile, 5, static_cast<uint32_t>(len - 8)) ||
      !platform::putUInt32(kTempFile, 41, static_cast<uint32_t>(len - kHeader)) ||
      !platform::flush(kTempFile))
    return abandon();
  platform::closeAll();
  // One rename replaces the track: it is the saved take or the padded one, never neither.
  if (!platform::renameReplace(temp, t.file)) return abandon();
  return true;
}

void Transport::finishTakeBeforeExit(bool quiet) {
  if (!recbusy_ || finishing_) return;
  // STOP acts only while its button is yellow; a running recording must be saved regardless.
  sys_.form.RPSTOP->setForeColor(colour::kYellow);
  quietFinish_ = quiet;
  RPSTOP_Click();
  quietFinish_ = false;
}

}  // namespace transport

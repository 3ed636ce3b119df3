// The stereo track (ST records St.wav, DST deletes it) and the two splits of a stereo file onto
// a pair of tracks: the master onto tracks 01/02 (MX-->1/2), the stereo track onto 13/14 (1314).
//
// A split takes only a source with the plain stereo header (44.1 kHz, 16 bits, the sound from
// byte 44) and reads its interleaved samples up to the end of its sound (never a chunk that
// follows it) in blocks of 88,194 values, and writes the left ones to one track, the right ones
// to the other, each whole block (what the last read did not fill is silence). It leaves alone
// a target track that is a link or read-only. A split runs to its end without yielding.
//
// The two tracks change together or not at all, whatever step a crash or a failed rename or
// delete cuts short. For the pair T01/T02 (T13/T14 alike) a split writes T01.new and T02.new
// whole and flushes both to the disk; then the old T01, when there is one, gets the second name
// T01.keep; then T01.new is renamed over T01.wav, T02.new over T02.wav, and T01.keep goes.
// So T01.new exists until the first rename, and once it is gone both halves are whole. The
// files present alone decide how a split cut short is settled (by the split itself when a
// rename fails, and at every start):
//   - T01.new there: nothing was placed - undone. When T01.wav is gone, T01.keep (if there)
//     takes its name back (where T01.wav is there, it is the old track itself); then T02.new,
//     T01.new and T01.keep are deleted, in that order.
//   - T01.new gone, T02.new there: T01 is the new half - finished. T02.new is renamed over
//     T02.wav, then T01.keep is deleted. When T02.new cannot be placed, T01.wav is renamed back
//     to T01.new and the split undone as above. When T01.wav is gone (deleted since), T02.new is
//     renamed to T01.new instead and the split undone as above: T01.keep, the only T01 left,
//     takes its name back, and T02 stays as it was.
//   - neither: T01.keep, if there, is deleted.
// Only ordinary files count as the split's files: a link, a folder or a FIFO at such a name is
// not the program's, and is neither used nor deleted.
// A step that fails stops the settling and leaves the files as they are, so that the next start
// goes on by the same rule; T01.new is never deleted before T02.new, so T02.new without T01.new
// is always a whole half, and T01.keep is never deleted while T01.new still waits. A split
// first settles what an earlier one left. A failed split puts the row values and the window
// back and says where the tracks stand: as they were, or to be settled at the next start.
#include <array>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "platform/files.h"
#include "platform/mci.h"
#include "platform/text.h"
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

constexpr int kRows = shell::MainForm::kRows;
constexpr int16_t kStereoTrack = 29;
constexpr int64_t kHeader = platform::kWavHeaderBytes;
constexpr size_t kSplitBlock = 88194;  // values read at a time: 44,097 frames

constexpr const char* kAlreadyRecorded =
    "Stereo and/or tracks 13 & 14 already recorded on. Please delete first. Ready.";
constexpr const char* kRecordingStereo =
    "      RECORDING STEREO TRACK  - Click STOP to stop. Then Click 1314 button to transfer to T13 "
    "and T14.";
constexpr const char* kSplitTitle = "Perform Split Function";
constexpr const char* kSplitCancelled = " Split function cancelled. Ready.";
constexpr const char* kDoneTitle =
    " VemraCd Version 4.3                         Real Time Multitrack Recording and Mixing "
    "Display.";

// What each split says and where it goes.
struct SplitText {
  const char* noSource;
  const char* noSourceTitle;
  const char* confirm;
  const char* title;
  const char* working;
  const char* done;
  const char* failed;
  const char* unsettled;
  const char* notPlain;
};
constexpr SplitText kMasterSplit{
    " There is no mix file to split to T01 & T02. Function cancelled - Ready.",
    "No mix file to split.",
    " Ready to split Mix to T01/T02. If you have deleted T01 & T02 (rec boxes are red), then "
    "click Ok to do split - or Cancel. Split is complete when Tk01/02's rec boxes turn blue. Then "
    "record more tracks.  See Help for more details.",
    "  SPLITTING MIX TO T01 & T02 . . . . PLEASE WAIT. Message line above Play/Stop will inform "
    "you when split is done..........",
    " Splitting Mix to T01/2. Please wait.",
    " Split of Mix to T01/2 done. See Help for details. Ready.",
    " The split could not be written - T01 and T02 are as they were. Please Re-try.",
    " The split could not be finished - the next start will finish it or put T01 and T02 back "
    "as they were. Please Re-start.",
    " Mix.wav is not a plain 44.1 kHz 16-bit stereo WAV - nothing was split, T01 and T02 are as "
    "they were. Please Re-try."};
constexpr SplitText kStereoSplit{
    " There is no Stereo track  to split to T13 & T14. Function cancelled - Ready.",
    "No stereo file to split.",
    " Ready to split Stereo Track to T13/T14. If you have deleted T13 & T14 (rec boxes are red), "
    "then click Ok to do split - or Cancel. See Help for more details.",
    "  SPLITTING STEREO TO T13 & T14 . . . . Message line above Stop/Play will inform you when "
    "split is done..........",
    " Splitting Stereo track to T13/14. Please wait.",
    " Split of Stereo track to T13/14 done. See Help for more details. Ready.",
    " The split could not be written - T13 and T14 are as they were. Please Re-try.",
    " The split could not be finished - the next start will finish it or put T13 and T14 back "
    "as they were. Please Re-start.",
    " St.wav is not a plain 44.1 kHz 16-bit stereo WAV - nothing was split, T13 and T14 are as "
    "they were. Please Re-try."};
constexpr const char* kSplitFailedTitle = "Split failed";

// The temporary file a split writes a target into ("...\\T01.wav" -> "...\\T01.new"), and
// the name the old left track keeps until both targets are in place ("...\\T01.keep").
std::string splitTemp(const std::string& track, const char* ext = ".new") {
  const std::string t = platform::rtrim(track);
  return t.substr(0, t.size() - 4) + ext;
}

// Every row value and colour a split may change, to put back when it fails.
struct RowState {
  std::array<std::string, kRows> panKnob, volKnob, panLabel, volLabel;
  std::array<double, kRows> panLeft{};
  std::array<int32_t, kRows> rec{};
  std::array<int16_t, kRows> trkvals{};
  int32_t split = 0;
  std::string title;

  void take(const shell::MainForm& f, const shell::Shell& sh) {
    for (int i = 0; i < kRows; ++i) {
      panKnob[i] = f.P[i]->tag();
      volKnob[i] = f.V[i]->tag();
      panLabel[i] = f.PL[i]->tag();
      volLabel[i] = f.VL[i]->tag();
      panLeft[i] = f.P[i]->left();
      rec[i] = f.R[i]->foreColor();
    }
    trkvals = sh.trkvals;
    split = f.Split->foreColor();
    title = f.title();
  }
  void put(shell::MainForm& f, shell::Shell& sh) const {
    for (int i = 0; i < kRows; ++i) {
      f.P[i]->setTag(panKnob[i]);
      f.V[i]->setTag(volKnob[i]);
      f.PL[i]->setTag(panLabel[i]);
      f.VL[i]->setTag(volLabel[i]);
      f.P[i]->setLeft(panLeft[i]);
      f.R[i]->setForeColor(rec[i]);
    }
    sh.trkvals = trkvals;
    f.Split->setForeColor(split);
    f.setTitle(title);
  }
};

// True when the split's file `path` is not there (anything but an ordinary file is not one of
// the split's), or is there no longer once removed (never while a running program holds it).
bool gone(const std::string& path) {
  return !platform::isOrdinaryFile(path) || platform::killUnheld(path);
}

}  // namespace

bool Transport::openFromTemplate(int fn, const std::string& path) const {
  if (!platform::fileOpen(fn, path, platform::OpenMode::Scratch)) return false;
  auto h = platform::wavHeader(1, 0);
  const int from = platform::freeFile();
  if (from != 0 && platform::fileOpen(from, sys_.shell->blankwav, platform::OpenMode::Read)) {
    std::array<uint8_t, kHeader> def{};
    if (platform::getBytes(from, 1, def) == def.size()) h = def;
    platform::fileClose(from);
  }
  return platform::putBytes(fn, 1, h);
}

Transport::SplitEnd Transport::settleSplit(int left) {
  const std::string& track = sys_.shell->tkfname[left - 1];
  const std::string& right = sys_.shell->tkfname[left];
  const std::string lnew = splitTemp(track), rnew = splitTemp(right);
  const std::string keep = splitTemp(track, ".keep");
  auto has = [](const std::string& p) { return platform::isOrdinaryFile(p); };
  const bool leftThere = platform::fileLen(track) >= 0;
  if (!has(lnew) && has(rnew)) {
    if (leftThere && platform::renameReplace(rnew, right)) {
      gone(keep);
      return SplitEnd::Halves;
    }
    if (!platform::renameReplace(leftThere ? track : rnew, lnew)) return SplitEnd::Unsettled;
  }
  if (has(lnew)) {
    if (platform::fileLen(track) < 0 && has(keep) && !platform::renameReplace(keep, track))
      return SplitEnd::Unsettled;
    if (gone(rnew) && gone(lnew)) gone(keep);
    return SplitEnd::AsBefore;
  }
  gone(keep);
  return SplitEnd::AsBefore;
}

Transport::SplitEnd Transport::splitStereo(const std::string& source, int left, int right) {
  shell::Shell& sh = *sys_.shell;
  const std::string targets[2] = {sh.tkfname[left - 1], sh.tkfname[right - 1]};
  const std::string temps[2] = {splitTemp(targets[0]), splitTemp(targets[1])};
  int fns[3] = {0, 0, 0};  // source, left, right
  // Whatever an earlier split left waiting is settled first.
  if (settleSplit(left) == SplitEnd::Unsettled) return SplitEnd::Unsettled;
  auto abandon = [&] {
    for (int fn : fns)
      if (fn != 0) platform::fileClose(fn);
    if (gone(temps[1])) gone(temps[0]);  // a right half that stays keeps the left one too
    return SplitEnd::AsBefore;
  };
  for (int k = 0; k < 3; ++k) {
    fns[k] = platform::freeFile();
    if (fns[k] == 0) return abandon();
    const bool open = k == 0 ? platform::fileOpen(fns[k], source, platform::OpenMode::Read)
                             : openFromTemplate(fns[k], temps[k - 1]);
    if (!open) return abandon();
  }
  // The source read now must still be plain (the mixdown program may have replaced the master
  // meanwhile), and its reads end with its sound.
  std::array<uint8_t, kHeader> h{};
  if (platform::getBytes(fns[0], 1, h) != h.size() || !platform::isPlainHeader(h.data(), 2) ||
      !platform::endAtSound(fns[0]))
    return abandon();
  if (!platform::seek(fns[0], kHeader + 1) || !platform::seek(fns[1], kHeader + 1) ||
      !platform::seek(fns[2], kHeader + 1))
    return abandon();

  // The end shows only after a read that comes up short, so a source of whole blocks gets one
  // more block of silence.
  std::vector<int16_t> block(kSplitBlock);
  std::vector<int16_t> half[2] = {std::vector<int16_t>(kSplitBlock / 2),
                                  std::vector<int16_t>(kSplitBlock / 2)};
  int64_t n = 0;  // samples written to each target
  while (!platform::eof(fns[0])) {
    platform::getInt16s(fns[0], 0, block);
    for (size_t i = 0; i < kSplitBlock / 2; ++i) {
      half[0][i] = block[2 * i];
      half[1][i] = block[2 * i + 1];
    }
    if (!platform::putInt16s(fns[1], 0, half[0]) || !platform::putInt16s(fns[2], 0, half[1]))
      return abandon();
    n += static_cast<int64_t>(kSplitBlock / 2);
  }
  for (int k = 1; k <= 2; ++k) {
    if (!platform::putUInt32(fns[k], 5, static_cast<uint32_t>(2 * n + 36)) ||
        !platform::putUInt32(fns[k], 41, static_cast<uint32_t>(2 * n)) || !platform::flush(fns[k]))
      return abandon();
  }
  for (int& fn : fns) {
    platform::fileClose(fn);
    fn = 0;
  }
  // Both halves are whole and on the disk: the old left track gets its second name, then the
  // halves take the tracks' names, the left one first.
  const std::string aside = splitTemp(targets[0], ".keep");
  platform::killUnheld(aside);
  const bool placed =
      (platform::fileLen(targets[0]) < 0 || platform::secondName(targets[0], aside)) &&
      platform::renameReplace(temps[0], targets[0]) &&
      platform::renameReplace(temps[1], targets[1]);
  const SplitEnd end = settleSplit(left);
  return placed ? SplitEnd::Halves : end;
}

void Transport::runSplit(bool master) {
  shell::MainForm& f = sys_.form;
  shell::Shell& sh = *sys_.shell;
  const SplitText& text = master ? kMasterSplit : kStereoSplit;
  const int left = kSplitLefts[master ? 0 : 1], right = left + 1;
  const std::string& source = master ? sh.mixfname : sh.stfname;

  // The source's refusal, when it is missing or not plain stereo: true when it was shown.
  auto sourceRefused = [&] {
    if (!platform::fileDateTime(source))
      ui::msgBox(text.noSource, ui::kOkOnly, text.noSourceTitle);
    else if (!platform::hasPlainHeader(source, 2))
      ui::msgBox(text.notPlain, ui::kOkOnly, kSplitFailedTitle);
    else
      return false;
    return true;
  };
  if (sourceRefused() || !sys_.waveform->trackFormatOk(sh.tkfname[left - 1], true) ||
      !sys_.waveform->trackFormatOk(sh.tkfname[right - 1], true))
    return;
  if (ui::msgBox(text.confirm, ui::kOkCancel, kSplitTitle) == ui::kCancel) {
    f.Umsg->setCaption(kSplitCancelled);
    f.setTitle(std::string(45, ' ') + "Digital Multitrack Recording and Mixing Display.");
    return;
  }

  RowState was;
  was.take(f, sh);
  const std::string umsg = f.Umsg->caption();
  // Hard left and hard right in the mixer, both at the same level.
  struct Side { int row; const char* panKnob; const char* panLabel; double knobLeft; };
  for (const Side& s : {Side{left, "-10000", "0", 122}, Side{right, "10000", "32272", 214}}) {
    const int i = s.row - 1;
    f.R[i]->setForeColor(colour::kBlue);
    f.P[i]->setTag(s.panKnob);
    f.PL[i]->setTag(s.panLabel);
    f.V[i]->setTag("-1500");
    f.VL[i]->setTag("1720");
    f.P[i]->setLeft(s.knobLeft);
  }
  if (master) f.Split->setForeColor(colour::kRed);
  f.setTitle(text.title);
  f.Umsg->setCaption(text.working);
  f.refresh();
  f.setPointer(ui::Pointer::Hourglass);
  if (master) {
    sh.trkvals.fill(0);
    for (int i = 2; i < kRows; ++i) f.V[i]->setTag("-3220");  // the other tracks turned down
  }

  const SplitEnd end = splitStereo(source, left, right);
  if (end != SplitEnd::Halves) {
    was.put(f, sh);
    f.Umsg->setCaption(umsg);
    f.setPointer(ui::Pointer::Arrow);
    if (end == SplitEnd::Unsettled)
      ui::msgBox(text.unsettled, ui::kOkOnly, kSplitFailedTitle);
    else if (!sourceRefused())
      ui::msgBox(text.failed, ui::kOkOnly, kSplitFailedTitle);
    return;
  }
  sys_.waveform->hidewavs_Click();
  sys_.waveform->hidewavs_Click();
  f.Umsg->setCaption(text.done);
  if (master) f.Split->setForeColor(colour::kBlack);
  f.setTitle(kDoneTitle);
  f.setPointer(ui::Pointer::Arrow);
}

void Transport::Split_Click() {
  shell::MainForm& f = sys_.form;
  if (mixplaying_ || mixing_ || finishingTake() || f.PLAY->foreColor() == colour::kRed ||
      sys_.shell->page1528())
    return;
  runSplit(true);
}

void Transport::STSP_Click() {
  shell::MainForm& f = sys_.form;
  if (mixing_ || finishingTake()) return;
  if (sys_.shell->page1528()) {
    ui::msgBox("Please flip to T0114 to do this function.");
    return;
  }
  if (f.PLAY->foreColor() == colour::kRed) return;
  runSplit(false);
}

void Transport::ST01_Click() {
  shell::MainForm& f = sys_.form;
  shell::Shell& sh = *sys_.shell;
  if (mixplaying_ || f.PLAY->foreColor() == colour::kRed || finishingTake()) return;
  const bool page2 = sh.page1528();
  if (!page2 && f.R[0]->foreColor() == colour::kRed) {
    f.PLAY->setForeColor(colour::kYellow);
    f.RPSTOP->setForeColor(colour::kRed);
    f.QUIT->setEnabled(true);
    ui::msgBox(" Please record T01 first.", ui::kOkOnly, "   ");
    return;
  }
  // Tracks 13 and 14 by their buttons where they are on screen, else by their files.
  const bool t1314 = page2 ? platform::fileDateTime(sh.tkfname[12]).has_value() ||
                                 platform::fileDateTime(sh.tkfname[13]).has_value()
                           : f.R[12]->foreColor() == colour::kBlue ||
                                 f.R[13]->foreColor() == colour::kBlue;
  if (f.ST01->foreColor() == colour::kBlue || t1314) {
    f.Umsg->setCaption(kAlreadyRecorded);
    return;
  }
  if (platform::fileDateTime(sh.stfname)) {
    f.ST01->setForeColor(colour::kBlue);
    f.Umsg->setCaption(kAlreadyRecorded);
    return;
  }

  const std::string before = f.Umsg->caption();
  const int16_t armed = armedtrk_;
  f.Umsg->setCaption(kRecordingStereo);
  f.HLPDOC->setEnabled(false);
  f.QUIT->setEnabled(false);
  armedtrk_ = kStereoTrack;
  // The stereo track always starts at the start of the song: a pending pause is dropped too.
  setStartPoint(0, 0, 0);
  setClock(0, 0, 0);
  f.prind->setVisible(false);
  f.Punchins->setCaption(" From");
  platform::fileCopy(sh.blankwav1, sh.t00fname);
  tpmode_ = 2;
  f.PLAY->setForeColor(colour::kRed);
  f.RPSTOP->setForeColor(colour::kYellow);
  recbusy_ = true;

  engine::Engine& e = *sys_.engine;
  if (!setUpEngine()) {  // the engine has put the transport back and said why
    f.Umsg->setCaption(before);
    armedtrk_ = armed;
    platform::kill(sh.t00fname);
    return;
  }
  f.ST01->setForeColor(colour::kBlue);
  platform::mciExecute("open new type waveaudio alias cap44 ");
  platform::mciExecute("set cap44 bitspersample 16 channels 2 samplespersec 44100 ");
  platform::mciExecute("record cap44 From 0 ");
  take = Take{true, sh.stfname, kStereoTrack, true, 0};
  e.playloop();
}

void Transport::DST_Click() {
  shell::MainForm& f = sys_.form;
  if (f.ST01->foreColor() == colour::kRed || f.PLAY->foreColor() == colour::kRed ||
      finishingTake())
    return;
  if (ui::msgBox(" Click OK to delete Stereo Track. Cancel - no delete.", ui::kOkCancel,
                 "Delete Track") == ui::kCancel) {
    f.Umsg->setCaption(" Track Delete Cancelled. Ready.");
    return;
  }
  const std::string& st = sys_.shell->stfname;
  // A stereo track already gone counts as deleted; one that stays is said so.
  if (!platform::kill(st) && platform::fileDateTime(st)) {
    f.Umsg->setCaption(" Stereo Track could not be deleted. Ready.");
    return;
  }
  f.Umsg->setCaption(" Stereo Track deleted. Ready.");
  f.ST01->setForeColor(colour::kRed);
  if (armedtrk_ == kStereoTrack) armedtrk_ = 0;
}

}  // namespace transport

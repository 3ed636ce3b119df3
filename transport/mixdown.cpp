// The mixdown request, the stereo master's header and its playback.
//
// MIXDOWN writes the volumes and pans of rows 01-14 into the request file Parms and starts the
// sibling program Mv01.exe hidden, attached: the click returns at once and the window shows the
// mixdown (title, hourglass, MIX red, QUIT off, "Please wait.") until the program ends. Its
// completion then tells the outcome: the master is announced only once it exists. The program
// runs on to its end if this program closes meanwhile; the completion then finds the transport
// gone and does nothing.
#include <memory>
#include <string>

#include "platform/files.h"
#include "platform/mci.h"
#include "platform/shell.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "shell/main_form.h"
#include "shell/shell.h"
#include "transport/transport.h"

namespace transport {

namespace ui = platform::ui;
namespace colour = platform::ui::colour;

namespace {

constexpr const char* kFlipPage = "Please flip to first 14 tracks to do this function.";
constexpr const char* kNeedT01 =
    " Mix needs Track 01 to be recorded as a reference for song length. Please record TK 01.";
constexpr const char* kMixTitle = "MIX Message";
constexpr const char* kMixingTitle =
    "    M I X I N G STEREO MASTER. . . . . WHEN MIXING ENDS CLICK MP TO PLAY/STOP MASTER........";
constexpr const char* kPleaseWait =
    " Mixing down audio Tracks 01 to 14 to stereo master - Please wait.";
constexpr const char* kModuleDeleted =
    "Somehow a module critical to my operation has been deleted from the program directory. "
    "Please go back to download archive - and re-install.";
constexpr const char* kModuleDeletedTitle = "Important Module deleted";
constexpr const char* kParmsNotWritten =
    " The mixdown request file Parms could not be written. Nothing was mixed. Please Re-try.";
constexpr const char* kMasterPlaying = " Playing stereo mixdown. Click MP again to stop.";
constexpr const char* kMasterStopped = " Stereo mixdown playback stopped. Ready.";
constexpr const char* kMasterNotPrepared =
    " The master Mix.wav could not be prepared for playing. Please Re-try.";

constexpr int64_t kCodeOffset = 11, kValuesOffset = 15, kTrkvalsOffset = 256;
constexpr int16_t kMixCode = 99;

}  // namespace

bool Transport::writeParms() {
  shell::MainForm& f = sys_.form;
  shell::Shell& sh = *sys_.shell;
  const int fn = platform::freeFile();
  if (fn == 0 || !platform::fileOpen(fn, sh.parmsfname, platform::OpenMode::ReadWrite))
    return false;
  bool ok = platform::putInt16(fn, kCodeOffset + 1, kMixCode);
  // Twice the mixer-scale volume and the pan of each row, saturated to 16 bits.
  for (int n = 1; n <= shell::MainForm::kRows && ok; ++n) {
    const int64_t at = kValuesOffset + 4 * (n - 1) + 1;
    ok = platform::putInt16(fn, at, platform::sat16(platform::val(f.VL[n - 1]->tag()) * 2)) &&
         platform::putInt16(fn, at + 2, platform::sat16(platform::val(f.PL[n - 1]->tag())));
  }
  for (int n = 1; n <= shell::MainForm::kRows && ok; ++n)
    ok = platform::putInt16(fn, kTrkvalsOffset + 2 * (n - 1) + 1, sh.trkvals[n - 1]);
  ok = platform::flush(fn) && ok;
  platform::fileClose(fn);
  return ok;
}

void Transport::MIX_Click() {
  shell::MainForm& f = sys_.form;
  if (mixplaying_ || mixing_ || finishingTake()) return;
  if (sys_.shell->page1528()) {
    ui::msgBox(kFlipPage);
    return;
  }
  if (f.PLAY->foreColor() == colour::kRed) return;
  if (f.R[0]->foreColor() != colour::kBlue) {
    ui::msgBox(kNeedT01, ui::kOkOnly, kMixTitle);
    return;
  }
  const MixWindow was{f.title(), f.Umsg->caption(), f.MIX->foreColor()};
  auto restore = [this, &f, &was] {
    f.setTitle(was.title);
    f.MIX->setForeColor(was.mixColour);
    f.setPointer(ui::Pointer::Arrow);
    enableQuitIfIdle();
  };
  f.setTitle(kMixingTitle);
  f.QUIT->setEnabled(false);
  f.MIX->setForeColor(colour::kRed);
  f.setPointer(ui::Pointer::Hourglass);

  // A silent track 01 would make a silent master: its volume goes to the least audible one.
  const std::string v01 = f.VL[0]->tag();
  if (platform::val(v01) == 0) f.VL[0]->setTag("3");
  if (!writeParms()) {
    f.VL[0]->setTag(v01);
    restore();
    ui::msgBox(kParmsNotWritten, ui::kOkOnly, kMixTitle);
    return;
  }

  f.QUIT->setEnabled(false);
  f.Umsg->setCaption(kPleaseWait);
  f.refresh();
  std::weak_ptr<int> alive = alive_;
  mixing_ = platform::shellExecuteAttached(
      sys_.shell->mixerexe, platform::WindowMode::Hidden, [this, alive, was](int code) {
        if (alive.expired()) return;  // the program closed meanwhile
        mixdownEnded(code, was);
      });
  if (!mixing_) {
    f.setPointer(ui::Pointer::Arrow);
    ui::msgBox(kModuleDeleted, ui::kOkOnly, kModuleDeletedTitle);
    restore();
  }
}

void Transport::mixdownEnded(int exitCode, const MixWindow& was) {
  shell::MainForm& f = sys_.form;
  mixing_ = false;
  if (exitCode != 0) {
    f.setTitle(was.title);
    f.MIX->setForeColor(was.mixColour);
    f.Umsg->setCaption(kMixFailed);
  } else {
    f.Umsg->setCaption(kMixFinished);
    f.setTitle(shell::kMainTitle);
    hdrfix22to44();
    f.Mutemix->setForeColor(colour::kRed);
    f.MIX->setForeColor(colour::kBlack);
  }
  f.setPointer(ui::Pointer::Arrow);
  enableQuitIfIdle();
  f.refresh();
}

void Transport::enableQuitIfIdle() {
  shell::MainForm& f = sys_.form;
  if (f.PLAY->foreColor() != colour::kRed && !recbusy_ && !finishing_) f.QUIT->setEnabled(true);
}

void Transport::hdrfix22to44() {
  const std::string& mix = sys_.shell->mixfname;
  if (sys_.shell->FileExists(mix)) stereohdr(mix);
}

void Transport::Mutemix_Click() {
  shell::MainForm& f = sys_.form;
  if (f.PLAY->foreColor() == colour::kRed) return;
  const std::string mix = platform::rtrim(sys_.shell->mixfname);
  if (!mixplaying_ && sys_.shell->FileExists(mix)) {
    if (!stereohdr(mix)) {  // nothing plays and nothing changes, but the user is told
      ui::msgBox(kMasterNotPrepared, ui::kOkOnly, kMixTitle);
      return;
    }
    platform::mciExecute("Play " + mix + " From " + platform::str(playfrom_));
    mixplaying_ = true;
    f.Umsg->setCaption(kMasterPlaying);
  } else if (mixplaying_) {
    platform::mciExecute("Stop " + mix);
    mixplaying_ = false;
    f.Umsg->setCaption(kMasterStopped);
  }
}

}  // namespace transport

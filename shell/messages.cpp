// The message line, the tips line, the MONO switch, and the top strip's buttons: the pop-up menu
// of outside programs (O), the audio editor's path (S), the tips page (Tips html) and the list of
// new features (N).
#include <array>
#include <string>
#include <string_view>

#include "app/application.h"
#include "platform/files.h"
#include "platform/shell.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "shell/main_form.h"
#include "shell/shell.h"
#include "transport/transport.h"

namespace shell {
namespace {

namespace ui = platform::ui;

constexpr std::array<std::string_view, Shell::kTips> kTipTexts = {
    "QUICKSTART: R01 to record Tk01. STOP to Stop. 02 to 28 the same. PLAY plays. Click me for tips.",
    " To display or solo waveform - click tracks F button.",
    " To edit - hold down left button, drag mouse to right, and let up button.",
    " Too far right in edit ? - sweep mouse left, and let up button to cancel.",
    " To edit one second - click on a tracks wavelet - and click 1 sec button.",
    " To move through waveform displays - use Back(<), Fwd(>), m-, and m+.",
    "New track ahead of beat?? - click its Fnn. Insert - 2 to 3000 smpls.",
    "New track behind beat?? - click its Fnn. Delete - 2 to 3000 smpls.",
    "Fnn buttons let you delete, shift, and synch tracks perfectly, and do FX.",
    " Read MVTips.txt for more tips, and Trouble.txt for perfect synch.",
    "For MEGATRACKS - see MVtips.txt and on-line HELP for details.",
    "Vemra reads external 44.1K/16 bit/mono and stereos. See MVTips.txt.",
    "To monitor signal levels - use a cassette deck, DAT, or external mixer.",
    "To solo a displayed 1 sec waveform - use tracks Fnn button.",
    "Left click on a waveform and sample number displays. Usefull for editing.",
    "Use DA thru' PR for advanced silence/cut/paste on tracks.",
    "To build rhythm/sound tracks from samples - use SP and box buttons.",
    "Can use F1 to F12 for delayed recording. ",
    "Can use big plus key on RHS of PC kbd to start/stop play/rec. ",
    "For volume boost - click wave start and end. Enter percent. Click V++.",
    "For volume cut - click wave start and end. Enter percent. Click V--.",
    "For DA or SA - click once on wave for start smple. Click DA or SA.",
    "For DR - click on wave twice (start and end). Click DR.",
    "For SR - click on wave twice (start and end). Click SR.",
    "For PR - click on wave thrice (start,end,paste start smple). Click PR.",
    "Multiple pastes ? - as before but add # pastes, and interval. Click PR.",
    "You can override any entries in the black boxes used for cut/paste.",
    "Small Intervals = closer multiple pastes. Larger = further apart.",
    "For just one paste - leave # pastes, interval, and BPM blank.",
    "Record a blank work track to build sample tks from other tks.",
    "To use BPM record a 1 min or more blank work track. See Editor.txt.",
    "To move fast through waves; click P, enter a time. Click show waves.",
    "To go to zero - dont enter a time in P dialogue. Click 0 button.",
    "Put your 44.1K/16 bit mono samples in Mysong with id's SP01 thru' 99.",
    "To use sample click SPnn or box button. Right click over wave pastes.",
    "On slower PC's - use tks Fnn buttons - to hide/show tks. HW hides all.",
    " To pause/continue playback of mix - click elapsed time.",
    " To get 28 tracks - click T1528 button, and 14 more tracks display.",
    " For 54 tks bring the 28 tk stereo mix back in from dat, and record 26 more tks.",
    " When recording T02 to T28 a guide to system speed/latency in millisecs displays.",
    " Latency of a few millisecs wont be heard.",
    " Recorded levels should peak just shy of the top and bottom of each waveform panel.",
    " If you got this far - your obviously a true professional. Enjoy Vemra.",
};

constexpr std::string_view kVersionLine = " VemraCd Version 4.3. Ready.";

// The programs of the options menu, by their documented paths.
constexpr std::string_view kMixerProgram = "C:\\Windows\\sndvol32.exe";
constexpr std::string_view kExplorerProgram = "C:\\Windows\\explorer.exe";
constexpr std::string_view kNotepadProgram = "C:\\Windows\\notepad.exe";

constexpr std::string_view kEditorTitle = "ENTER AUDIO EDITOR PATH.";
constexpr std::string_view kEditorPrompt =
    "Enter EXACTLY the full path of the audio editor you want to use with this application. "
    "Please use EXACTLY the path you see in windows explorer. Leave rest of field blank. "
    "eg C:\\Wave\\Editor.exe  After entering - click the O box to call editor at any point.";
constexpr std::string_view kEditorNotSaved =
    " The editor path could not be written to Parms. Please Re-try.";
constexpr std::string_view kEditorTooLong =
    " The editor path can be at most 25 characters long - it was not saved. Please Re-try.";

constexpr std::string_view kNewFeaturesTitle = " VemraCd V 4.2/V4.3 - New Features.";
constexpr std::string_view kNewFeatures =
    " 1. New mixer display screen.\n"
    " 2. T01 to T14 Fader (pans/vols) automation. Click on HELP for usage.\n"
    " 4. More tips added to long tip bar at bottom of waveforms. Just click it.\n"
    " 5. When recording T02 to T28 a rough guide to system speed/latency displays in "
    "millisecs.\n"
    " 6. Fast forward >> , and Fast rewind buttons << for PLAYback.\n"
    "     left click on buttons for back/fwd by seconds, right click for back/fwd by minutes.\n"
    "   Celeron 466 recommended(min), fast udma hard drive, Direct X 6.1, full duplex sound.";

// The Parms field's blanks, and the zero bytes a freshly created request file holds there.
std::string trimField(std::string_view s) {
  const auto isPad = [](char c) { return c == ' ' || c == '\0'; };
  while (!s.empty() && isPad(s.front())) s.remove_prefix(1);
  while (!s.empty() && isPad(s.back())) s.remove_suffix(1);
  return std::string(s);
}

}  // namespace

void Shell::wireMessages() {
  form_.Umsg->onClick = [this] { Umsg_Click(); };
  form_.tiplbl->onClick = [this] { tiplbl_Click(); };
  form_.monolbl->onClick = [this] { monolbl_Click(); };
  form_.old->onClick = [this] { old_Click(); };
  form_.mnuedit->onClick = [this] { mnuedit_Click(); };
  form_.mnuwmix->onClick = [this] { mnuwmix_Click(); };
  form_.mnuwexp->onClick = [this] { mnuwexp_Click(); };
  form_.mnuwnote->onClick = [this] { mnuwnote_Click(); };
  form_.S->onClick = [this] { S_Click(); };
  form_.netdoc->onClick = [this] { netdoc_Click(); };
  form_.Newsng->onClick = [this] { Newsng_Click(); };
  for (int r = 1; r <= kRows; ++r) form_.N[r - 1]->onChange = [this, r] { N_Change(r); };

  sys_.app.registerVar("tipidx", [this] { return std::to_string(tipidx); });
  sys_.app.registerVar("monoon", [this] { return std::string(monoon() ? "true" : "false"); });
}

void Shell::Umsg_Click() { form_.Umsg->setCaption(kVersionLine); }

void Shell::tiplbl_Click() {
  if (tipidx < 0 || tipidx >= kTips) tipidx = 0;
  form_.tiplbl->setCaption(kTipTexts[static_cast<size_t>(tipidx)]);
  tipidx = (tipidx + 1) % kTips;
}

void Shell::monolbl_Click() {
  ui::Label& mono = *form_.monolbl;
  if (mono.foreColor() == ui::colour::kBlack)
    mono.setForeColor(ui::colour::kRed);
  else if (mono.foreColor() == ui::colour::kRed)
    mono.setForeColor(ui::colour::kBlack);
}

bool Shell::monoon() const { return form_.monolbl->foreColor() == ui::colour::kRed; }

bool Shell::playOrMasterRuns() const {
  return (sys_.transport && sys_.transport->mixplaying()) ||
         form_.PLAY->foreColor() == ui::colour::kRed;
}

void Shell::old_Click() {
  if (playOrMasterRuns()) return;
  ui::popupMenu(*form_.mnuoptions);
}

// Starts an outside program in a normal window, not waited for; a missing program does nothing,
// and one that cannot be started is passed over.
void Shell::startProgram(std::string_view command) const {
  if (command.empty() || !platform::programExists(command)) return;
  platform::shellExecute(command, platform::WindowMode::Normal);
}

// The editor path in Parms: its 25 bytes at offset 192, blanks trimmed. A request file too short
// to hold them gives what it has (the rest reads as blanks); an unreadable one gives "".
std::string Shell::readEditPath() const {
  const int fn = platform::freeFile();
  if (fn == 0 || !platform::fileOpen(fn, parmsfname, platform::OpenMode::Read)) return {};
  std::string field;
  platform::getString(fn, kEditPathOffset + 1, kEditPathLen, field);
  platform::fileClose(fn);
  return platform::fromCp1252(trimField(field));
}

void Shell::mnuedit_Click() {
  if (!FileExists(parmsfname)) return;
  startProgram(readEditPath());
}

void Shell::mnuwmix_Click() { startProgram(kMixerProgram); }
void Shell::mnuwexp_Click() { startProgram(kExplorerProgram); }
void Shell::mnuwnote_Click() { startProgram(kNotepadProgram); }

// The editor path is written as the whole 25-byte field, blank-padded, so a shorter path never
// keeps the tail of a longer one. A longer path would be cut and then name no program, so it is
// refused and Parms stays as it was. An empty answer (or Cancel) writes nothing.
void Shell::S_Click() {
  if (playOrMasterRuns() || !FileExists(parmsfname)) return;
  const std::string answer = ui::inputBox(kEditorPrompt, kEditorTitle);
  if (answer.empty()) return;
  if (platform::toCp1252(answer).size() > kEditPathLen) {  // one byte a character in the file
    ui::msgBox(kEditorTooLong, ui::kOkOnly, kEditorTitle);
    return;
  }
  const std::string field = platform::toCp1252(platform::fixedLen(answer, kEditPathLen));
  const int fn = platform::freeFile();
  bool written = fn != 0 && platform::fileOpen(fn, parmsfname, platform::OpenMode::ReadWrite);
  if (written) {
    written = platform::putString(fn, kEditPathOffset + 1, field);
    platform::fileClose(fn);
  }
  if (!written) form_.Umsg->setCaption(kEditorNotSaved);
}

void Shell::netdoc_Click() {
  if (sys_.transport && sys_.transport->recbusy()) return;
  platform::shellExecute("start.exe file:///" + drvletter + "|/Vemracd/Tips.htm",
                         platform::WindowMode::Hidden);
}

void Shell::Newsng_Click() {
  if (playOrMasterRuns()) return;
  ui::msgBox(kNewFeatures, ui::kOkOnly, kNewFeaturesTitle);
}

void Shell::N_Change(int) {}

}  // namespace shell

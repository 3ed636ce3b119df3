// Start-up: the main window's load handler, the fixed path table and the file-existence test.
//
// Start-up checks its surroundings (sound devices, display size, the program folder's files) and
// shows one box for each check that fails, then carries on: no failed check ends the program.
// A take left behind by a program that ended while recording is kept under its own name and
// told of in a box.
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "app/application.h"
#include "platform/files.h"
#include "platform/mci.h"
#include "platform/paths.h"
#include "platform/sound.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "shell/main_form.h"
#include "shell/shell.h"
#include "transport/transport.h"
#include "waveform/waveform.h"

namespace shell {

namespace ui = platform::ui;
namespace colour = platform::ui::colour;

namespace {

constexpr int kMinWidth = 800, kMinHeight = 600;
constexpr double kWindowLeft = 50, kWindowTop = 5;  // twips, screen coordinates

constexpr std::string_view kSoundTitle = "SOUND NOT CONFIGURED";
constexpr std::string_view kSoundText =
    " It seems that you do not have sound configured. Please exit application by clicking x in "
    "top right corner, read Troubleshooting, and install multimedia/sound for full duplex.";
constexpr std::string_view kDisplayTitle = "DISPLAY NOT CONFIGURED TO 800 by 600";
constexpr std::string_view kModuleTitle = "DIGITAL RECORDING MODULE MISSING.";
constexpr std::string_view kRecoveredTitle = "RECORDING RECOVERED";
constexpr std::string_view kRunningText =
    " VemraCd is already running with this program folder - nothing was changed. Please close "
    "it first.";
constexpr std::string_view kWelcome =
    "WELCOME - IF A FIRST TIME USER - PLEASE READ QUICKSTART AT BOTTOM OF DISPLAY AND HELP.";

// The box for a missing file of the program folder. The templates and the request file come
// with the installation (so the advice is to reinstall it); the mixdown program can be put back
// from the archive alone.
enum class Missing { Installed, MixdownProgram };

std::string moduleMissingText(Missing what) {
  std::string text =
      " A module/program critical to the digital recording programs operation has been erased "
      "accidentally somehow from your system. When main mixer screen appears - please quit, ";
  text += what == Missing::Installed
              ? "de-install MV (Win95 add/remove programs) and re-install from the download "
                "archive."
              : "and re-install from the download archive.";
  text += " Please check the following files are in the directory -->> ";
  text += "vemra, def, def1, intro, parms, trouble, Mv01, help, tips";
  if (what == Missing::Installed) text += ", Editor";
  return text;
}

void moduleMissing(Missing what) {
  ui::msgBox(moduleMissingText(what), ui::kOkOnly, kModuleTitle);
}

using platform::twoDigits;

// The one-name listing of `path` gives back exactly `name`, letter case included.
bool listsAs(std::string_view path, std::string_view name) {
  const auto stored = platform::dirOne(path);
  return stored && *stored == name;
}

std::string nameOf(std::string_view path) {
  const std::string p = platform::rtrim(path);
  return p.substr(p.find_last_of('\\') + 1);
}

// A split cut short (a crash, a failed rename) is finished or undone by the split's own rule, so
// that each pair of tracks it writes is either as it was or both of its halves. Gives back the
// names of the split's files that must wait for the next start: nothing else deletes them.
std::set<std::string> finishCutShortSplits(const Shell& sh, transport::Transport& tp) {
  std::set<std::string> waiting;
  const std::string dir = platform::rtrim(sh.songdir) + "\\";
  for (const int left : transport::Transport::kSplitLefts) {
    tp.settleSplit(left);
    const std::string l = "T" + twoDigits(left), r = "T" + twoDigits(left + 1);
    for (const std::string& name : {l + ".new", r + ".new", l + ".keep"})
      if (platform::isOrdinaryFile(dir + name)) waiting.insert(name);
  }
  return waiting;
}

// The scratch files that an earlier run, ended half-way (killed, a power cut), left in the song
// folder, unless a running program still holds them: the edits' temp and its save, the splits'
// targets and the left track they keep aside, the settings file's new image, and the hidden
// copies a file copy writes beside its target (".NAME.vemra-XXXXXX"). A track, the stereo track,
// the master, the sample files and every other file of the user's are never among them, nor
// are the takes' scratches, nor the split's files that are `waiting`.
void removeLeftScratch(const Shell& sh, const std::set<std::string>& waiting) {
  std::set<std::string> scratch = {nameOf(sh.tempfname), nameOf(sh.scratchfname),
                                   "." + nameOf(sh.tempfname) + ".saving",
                                   "." + nameOf(sh.setsfname) + ".new"};
  for (int n = 1; n <= Shell::kTracks; ++n)
    for (const char* ext : {".new", ".keep"}) scratch.insert("T" + twoDigits(n) + ext);
  // The names a hidden copy may stand beside: the scratch files and the song's own files.
  std::set<std::string> ours = scratch;
  for (const std::string& p : sh.tkfname) ours.insert(nameOf(p));
  for (const std::string& p : sh.spfname) ours.insert(nameOf(p));
  for (const std::string* p :
       {&sh.t00fname, &sh.stfname, &sh.mixfname, &sh.copymixfname, &sh.setsfname})
    ours.insert(nameOf(*p));

  std::vector<std::string> found;
  const size_t tail = platform::kHiddenCopyTag.size() + 6;  // ".vemra-XXXXXX"
  for (const std::string& name : platform::listNames(sh.songdir)) {
    const bool copy = name.size() > tail + 1 && name[0] == '.' &&
                      name.compare(name.size() - tail, platform::kHiddenCopyTag.size(),
                                   platform::kHiddenCopyTag) == 0 &&
                      ours.count(name.substr(1, name.size() - tail - 1)) > 0;
    if (copy || scratch.count(name) > 0) found.push_back(name);
  }
  const std::string dir = platform::rtrim(sh.songdir) + "\\";
  for (const std::string& name : found)
    if (waiting.count(name) == 0) platform::killUnheld(dir + name);
}

}  // namespace

void Shell::wireStartup() {
  form_.onLoad = [this] { Form_Load(); };
  app::Application& a = sys_.app;
  a.registerVar("drvletter", [this] { return drvletter; });
  a.registerVar("kbplay", [this] { return platform::str(sys_.transport->kbplay()); });
  a.registerVar("elapsecs", [this] { return platform::str(sys_.transport->elapsecs()); });
  a.registerVar("pinmins", [this] { return platform::str(sys_.transport->pinmins()); });
  a.registerVar("pinsecs", [this] { return platform::str(sys_.transport->pinsecs()); });
  a.registerVar("keypreview", [this] {
    return std::string(form_.keyPreview() ? "true" : "false");
  });
}

bool Shell::FileExists(std::string_view path) const { return platform::fileExists(path); }

void Shell::MVinitialise() {
  auto at = [this](std::string_view rest) { return drvletter + std::string(rest); };
  t00fname = at(":\\Vemracd\\Mysong\\T00.wav");
  for (int n = 1; n <= kTracks; ++n)
    tkfname[n - 1] = at(":\\Vemracd\\Mysong\\T" + twoDigits(n) + ".wav");
  blankwav = at(":\\Vemracd\\def");
  blankwav1 = at(":\\Vemracd\\def1");
  mixerexe = at(":\\Vemracd\\Mv01.exe");
  songdir = at(":\\Vemracd\\Mysong");
  mixfname = at(":\\Vemracd\\Mysong\\Mix.wav");
  copymixfname = at(":\\Vemracd\\Mysong\\Copymix.wav");
  parmsfname = at(":\\Vemracd\\Parms");
  scratchfname = at(":\\Vemracd\\Mysong\\temp.wav");
  tempfname = at(":\\Vemracd\\Mysong\\temp");
  stfname = at(":\\Vemracd\\Mysong\\St.wav");
  for (int n = 1; n <= static_cast<int>(spfname.size()); ++n)
    spfname[n - 1] = at(":\\Vemracd\\Mysong\\SP" + twoDigits(n) + ".wav");
  setsfname = at(":\\Vemracd\\Mysong\\vsets");
}

void Shell::Form_Load() {
  MainForm& f = form_;
  transport::Transport& tp = *sys_.transport;
  waveform::Waveform& wv = *sys_.waveform;

  // The window, the page of tracks 01-14, the first tip.
  f.move(kWindowLeft, kWindowTop);
  f.Label6->setVisible(false);
  f.Shape15->setVisible(false);
  f.recd->setVisible(false);
  f.t0114->setForeColor(colour::kWhite);
  tiplbl_Click();

  // Tracks 15-28 start with the default names and the fader state rows 01-14 show now.
  for (int t = 15; t <= kTracks; ++t)
    trknames[t - 1] = platform::fixedLen("Track" + twoDigits(t), 9);
  for (int m = 0; m < kRows; ++m) {
    const int e = 84 + 4 * m;
    layouttab[e] = platform::sat16(f.P[m]->left());
    layouttab[e + 1] = platform::sat16(f.V[m]->left());
    layouttab[e + 2] = platform::sat16(platform::val(f.selrect[m]->tag()));
    layouttab[e + 3] = platform::sat16(platform::val(f.wd[m]->tag()));
  }
  tp.setKbplay(0);
  // Keys reach the window's own handler even while a name box has the focus.
  f.setKeyPreview(true);

  drvletter = platform::fixedLen(platform::curDir(), 1);
  MVinitialise();
  // One running copy per program folder: a second would delete and remake the first's scratch
  // files and settle the same cut-short split again. It leaves before it looks at any file, and
  // without the exit questions (nothing of it needs saving). On a new drive root the folder is
  // made first (as the song folder is below): a copy started once the kit is installed into it
  // still finds it held.
  const std::string programFolder = drvletter + ":\\Vemracd";
  platform::mkDir(programFolder);
  folderHold_ = std::make_unique<platform::FolderHold>(programFolder);
  if (folderHold_->busy()) {
    ui::msgBox(kRunningText, ui::kOkOnly);
    exiting_ = true;  // a close request meets no question either
    sys_.app.setFinished(1);
    return;
  }
  // Takes stream into the song folder, so that a save is a rename there.
  platform::setMciScratchDir(platform::hostPath(songdir));

  // Surroundings: one box per failed check, then on.
  if (platform::waveInDeviceCount() == 0 || platform::waveOutDeviceCount() == 0)
    ui::msgBox(kSoundText, ui::kOkOnly, kSoundTitle);
  const auto [w, h] = ui::screenSizePixels();
  if (w < kMinWidth || h < kMinHeight) {
    ui::msgBox(" Your display is set to : " + platform::str(w) + " x " + platform::str(h) +
                   " - i need 800 x 600. Please exit by clicking x in top right corner and re-set "
                   "display. Please see HELP.Txt.",
               ui::kOkOnly, kDisplayTitle);
  }

  // The transport, stopped.
  trkvals.fill(0);
  tp.setPintime(0, 0);
  f.RPSTOP->setForeColor(colour::kRed);
  f.PLAY->setForeColor(colour::kYellow);
  f.Elapset->setCaption("Elapsed");
  f.Punchins->setCaption("From");
  platform::mciExecute("close all");

  // The program folder's files.
  if (!FileExists(blankwav)) moduleMissing(Missing::Installed);
  if (!FileExists(blankwav1)) moduleMissing(Missing::Installed);
  if (!FileExists(mixerexe)) moduleMissing(Missing::MixdownProgram);

  // The song: its folder (already there is fine), the master, the recorded tracks of this page,
  // the stereo track; the scratch files of the last run go.
  platform::mkDir(songdir);
  const std::set<std::string> waiting = finishCutShortSplits(*this, tp);
  if (FileExists(mixfname)) {
    f.Mutemix->setBackColor(colour::kBlack);
    f.Mutemix->setForeColor(colour::kRed);
  }
  for (int n = 1; n <= kRows; ++n) {
    // Only the exact name counts: "t03.wav" is not track 03's recording.
    const std::string nn = twoDigits(n);
    if (!listsAs(tkfname[n - 1], "T" + nn + ".wav")) continue;
    f.R[n - 1]->setForeColor(colour::kBlue);
    if (n == 1) tp.setElapsecs(-1);
    wv.wvdispt(n);
  }
  if (listsAs(stfname, "St.wav")) f.ST01->setForeColor(colour::kBlue);
  platform::killUnheld(copymixfname);  // a running mixdown's stays
  if (FileExists(t00fname)) platform::kill(t00fname);
  // A take that a program which ended while recording left behind gets its own name.
  for (const platform::KeptTake& k : platform::mciRecoverTakes()) {
    ui::msgBox(" A recording cut short when the program last ended is kept in " + k.folder +
                   " as " + k.name + ".",
               ui::kOkOnly, kRecoveredTitle);
  }
  removeLeftScratch(*this, waiting);

  if (!FileExists(parmsfname)) {
    moduleMissing(Missing::Installed);
    return;
  }
  wv.minus_Click();
  f.Umsg->setCaption(kWelcome);
  rmixrec();
}

}  // namespace shell

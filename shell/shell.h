// The application shell: start-up and the fixed path table, the track table shown as two pages of
// 14 mixer rows, the track-settings file, the message and tips lines, the options menu, and exit.
//
// One object for the whole run, made by the application with the main window. Its handlers are
// attached to the main window's controls by wire(). State the documents keep in controls stays
// there (the page buttons' colours, the name boxes, the knobs' positions, the Tags).
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "app/system.h"

namespace platform { class FolderHold; }

namespace shell {

class MainForm;

class Shell {
 public:
  static constexpr int kTracks = 28;
  static constexpr int kRows = 14;

  explicit Shell(app::System& sys);
  ~Shell();  // gives the termination signals back their default actions
  // Attaches every handler of this subsystem to the main window's controls.
  void wire();

  // ======== Start-up and the fixed path table (startup.cpp) ========
  void Form_Load();
  void MVinitialise();
  bool FileExists(std::string_view path) const;

  std::string drvletter = "C";  // one character
  // The fixed paths, each exactly as wide as its text (drive letter included).
  std::array<std::string, kTracks> tkfname;  // 25 each
  std::array<std::string, 14> spfname;       // 26 each
  std::string t00fname, blankwav, blankwav1, mixerexe, songdir, mixfname, copymixfname,
      parmsfname, scratchfname, tempfname, stfname, setsfname;

  // ======== Track pages and the fader-state table (pages.cpp) ========
  void t0114_Click();
  void t1528_Click();
  // True while tracks 15-28 are on screen (the page button t1528 shows white).
  bool page1528() const;

  // Track names, element t-1 for track t: 9 characters each in Windows-1252, blank-padded, as
  // the settings file stores them (the name boxes hold UTF-8 text).
  std::array<std::string, kTracks> trknames;
  std::array<int16_t, 140> layouttab{};       // knob positions and values of the 28 tracks
  std::array<int16_t, kTracks> inports{};     // input port of track t at element t-1
  std::array<int16_t, kRows> trkvals{};       // written into the request file

  static constexpr int kNameLen = 9;
  // layouttab: tracks 01-14 use six elements each from 0 (pan knob, pan, mixdown pan, volume
  // knob, volume, mixdown volume); tracks 15-28 four each from kPage2Base (pan knob, volume
  // knob, pan, volume).
  static constexpr int kLayoutLen = 140;
  static constexpr int kPage2Base = 84;
  // Knob positions, pans and volumes put into the controls are kept within these, in the
  // table too (mixdown values are taken as they are).
  static constexpr int kKnobMin = 120, kKnobMax = 215;
  static constexpr int kPanMin = -10000, kPanMax = 10000;
  static constexpr int kVolMin = -10000, kVolMax = 0;

 private:
  // Track pages (pages.cpp).
  void showPage(bool page2);
  // Controls -> layouttab[first, last) / layouttab[first, last) -> controls, with the rows
  // showing page 15-28 when rows1528. Knob positions of the page not in the rows are skipped
  // (putting them only brings them within range in the table); the Tags hold their own track
  // whatever the page.
  void takeElements(int first, int last, bool rows1528);
  void putElements(int first, int last, bool rows1528);
  // Name boxes -> trknames of the page in the rows / trknames -> name boxes (only the names
  // below `known`).
  void storeNames(bool rows1528);
  void showNames(bool rows1528, int known = kTracks);
  // True when listing track t's path gives exactly its file name ("T07.wav").
  bool trackFileListed(int t) const;

 public:
  // ======== Track-settings file (settings.cpp) ========
  void rmixrec();  // offers to load vsets
  void wmixrec();  // saves vsets

  static constexpr int kSetsLen = 532;  // 280 bytes of layouttab, then 28 names of 9 bytes
  int setsfnum = 0;                     // file number of vsets while it is open

  // ======== Exit (exit.cpp) ========
  void QUIT_Click();
  void Form_Unload(int& cancel);
  // True while an exit question is open, and for good once the exit is confirmed; a request to
  // leave that arrives meanwhile (the close box, QUIT) is ignored.
  bool exiting() const { return exiting_; }
  // A request from outside to end (SIGTERM, SIGINT, SIGHUP; wired to the signals): a
  // recording is stopped and saved as STOP saves it (a finish already under way completes
  // first), then the program ends with no question, no box and no settings save.
  void terminate();

 private:
  // Exit (exit.cpp): the common end once the user chose to leave.
  void leave();
  bool exiting_ = false;
  bool terminating_ = false;

 public:

  // ======== Message line, tips line and options menu (messages.cpp) ========
  void Umsg_Click();
  void tiplbl_Click();
  void monolbl_Click();
  void old_Click();
  void mnuedit_Click();
  void mnuwmix_Click();
  void mnuwexp_Click();
  void mnuwnote_Click();
  void S_Click();
  void netdoc_Click();
  void Newsng_Click();
  // Change of the name box of row 1..14 (N01 .. N14): nothing to do, the page switch and the
  // settings file read the boxes' texts when they need them.
  void N_Change(int row);
  // True while the mono mix is switched on (the MONO button's text is red).
  bool monoon() const;

  int tipidx = 0;  // next tip to show, 0 .. 42

  static constexpr int kTips = 43;
  static constexpr int64_t kEditPathOffset = 192;  // the editor path's bytes in Parms
  static constexpr size_t kEditPathLen = 25;

 private:
  // Message line, tips line and options menu (messages.cpp).
  bool playOrMasterRuns() const;  // PLAY red or the stereo master playing
  std::string readEditPath() const;
  void startProgram(std::string_view command) const;

 public:

 private:
  // Each part attaches its own handlers.
  void wireStartup();
  void wirePages();
  void wireSettings();
  void wireExit();
  void wireMessages();

  app::System& sys_;
  MainForm& form_;
  // The program folder, held from start-up until the shell goes: one running copy per folder.
  std::unique_ptr<platform::FolderHold> folderHold_;
};

}  // namespace shell

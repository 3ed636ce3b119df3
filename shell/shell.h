// The application shell: start-up and the fixed path table, the track table shown as two pages of
// 14 mixer rows, the track-settings file, the message and tips lines, the options menu, and exit.
//
// One object for the whole run, made by the application with the main window. Its handlers are
// attached to the main window's controls by wire(). State the documents keep in controls stays
// there (the page buttons' colours, the name boxes, the knobs' positions, the Tags).
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/system.h"

namespace shell {

class MainForm;

class Shell {
 public:
  static constexpr int kTracks = 28;
  static constexpr int kRows = 14;

  explicit Shell(app::System& sys);
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
      parmsfname, scratchfname, stfname, setsfname;

  // ======== Track pages and the fader-state table (pages.cpp) ========
  void t0114_Click();
  void t1528_Click();
  // True while tracks 15-28 are on screen (the page button t1528 shows white).
  bool page1528() const;

  std::array<std::string, kTracks> trknames;  // 9 characters each
  std::array<int16_t, 140> layouttab{};       // knob positions and values of the 28 tracks
  std::array<int16_t, kRows> trkvals{};       // written into the request file

  // ======== Track-settings file (settings.cpp) ========
  void rmixrec();  // offers to load vsets
  void wmixrec();  // saves vsets

  // ======== Exit (exit.cpp) ========
  void QUIT_Click();
  void Form_Unload(int& cancel);

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
  // True while the mono mix is switched on (the MONO button's text is red).
  bool monoon() const;

  int tipidx = 0;  // next tip to show, 0 .. 42

 private:
  // Each part attaches its own handlers.
  void wireStartup();
  void wirePages();
  void wireSettings();
  void wireExit();
  void wireMessages();

  app::System& sys_;
  MainForm& form_;
};

}  // namespace shell

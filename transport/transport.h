// The transport: PLAY, STOP, the record buttons, the song clock, the start point, the master.
//
// The transport's state lives where the rest of the program tests it: the running/stopped state
// in the text colours of PLAY and RPSTOP, "recorded" in the colours of the row record buttons,
// everything else in the fields below. One object for the whole run, made by the application
// with the main window; wire() attaches its handlers to the window's controls.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "app/system.h"

namespace platform::ui { class Form; }

namespace transport {

class Transport {
 public:
  explicit Transport(app::System& sys) : sys_(sys) {}
  ~Transport();
  Transport(const Transport&) = delete;
  Transport& operator=(const Transport&) = delete;

  // Attaches PLAY, STOP, the record buttons and the window timer to their handlers and
  // registers the transport's named state fields. The application calls it once.
  void wire();

  // ---- state the other subsystems read or set ----
  bool recbusy() const { return recbusy_; }        // a recording runs
  bool mixplaying() const { return mixplaying_; }  // the stereo master plays
  void setRecbusy(bool v) { recbusy_ = v; }
  void setMixplaying(bool v) { mixplaying_ = v; }
  // Transport mode: 1 real-time playback, 2 recording, 0 after a stopped playback.
  int16_t tpmode() const { return tpmode_; }
  void setTpmode(int16_t v) { tpmode_ = v; }
  int16_t kbplay() const { return kbplay_; }       // the keyboard's play state
  void setKbplay(int16_t v) { kbplay_ = v; }
  int32_t elapsecs() const { return elapsecs_; }   // song clock seconds
  void setElapsecs(int32_t v) { elapsecs_ = v; }
  // The start point's minutes and seconds (the punch-in time).
  int32_t pinmins() const { return pinmins_; }
  int32_t pinsecs() const { return pinsecs_; }
  void setPintime(int32_t mins, int32_t secs) { pinmins_ = mins; pinsecs_ = secs; }

  // ======== Transport state and PLAY (play.cpp) ========
  // PLAY: plays every recorded track from the start point. Returns when the streaming loop has
  // ended after STOP; every other handler runs inside the loop's yields meanwhile.
  void PLAY_Click();

  // The track being recorded: 1..28, 29 for the stereo track; STOP picks its file by it.
  int16_t armedtrk() const { return armedtrk_; }
  void setArmedtrk(int16_t v) { armedtrk_ = v; }
  // The start point: playfrom in milliseconds, and its hours, minutes and seconds.
  int32_t playfrom() const { return playfrom_; }
  void setPlayfrom(int32_t ms) { playfrom_ = ms; }
  int32_t pinhrs() const { return pinhrs_; }
  // Sets the start point to h:m:s and playfrom to the same time in milliseconds (saturated to
  // what 32 bits hold).
  void setStartPoint(int32_t hrs, int32_t mins, int32_t secs);

  // ======== The punch-in dialog and the start point (punchin.cpp) ========
  // P: shows the dialog Form2 (made on first use, boxes empty) and enables it, while stopped.
  void Pinbtn_Click();
  // The start point from the open, enabled dialog (which it disables), else from the song clock
  // while something runs; nothing while stopped or while the master plays.
  void Punchins_Click();
  // The 3-second view to the dialog's minute (below 5) and second (below 60), else 0.
  void justwl();
  void Zeroelap_Click();  // the start point to 0:0:0
  void punchlbl_Click();  // Punchins_Click, then the dialog unloaded
  void justwl_Click();    // justwl, then the dialog unloaded
  // The view's page to minute m, second s (rounded down to its 3-second page), redrawn; while
  // something runs nothing changes (the page drawn stays the one the time line names).
  void viewJump(int32_t minute, int32_t second);
  // ======== Cueing, the song-position bar, pause and "P all" (cue.cpp) ========
  // A wind button pressed (button 1 left, 2 right: one minute at once): the clock winds while
  // it is held, and on release playback restarts at the wound time. Returns when that ends.
  void wind(bool forward, int button);
  void ffwd_MouseDown(int button, int, double, double) { wind(true, button); }
  void frev_MouseDown(int button, int, double, double) { wind(false, button); }
  // A click on the bar at x twips: playback restarts at the time under the pointer.
  void anyp_MouseDown(int button, int shift, double x, double y);
  void Elapset_Click();  // pause, or continue a pause
  void pfrom_Click();    // "P all" plays every track from the view's time; "S all" stops
  // ======== Keyboard control (keys.cpp) ========
  // The main window's key press: keypad plus (107) plays or stops by kbplay; F1..F12
  // (112..123) press R01..R12 after 12 seconds. Nothing while recording or on tracks 15-28.
  void Form_KeyDown(int keyCode, int shift);
  void reckeypress() {}
  void kpdoall() {}
  void kpdomap() {}

  static constexpr const char* kPlayingText =
      "  REAL TIME MIX PLAYBACK - recorded and not muted tracks. Click on STOP to stop playback.";

  // The dialog while it is loaded (nullptr once unloaded).
  platform::ui::Form* form2() const { return form2_; }

  // What a recording fixed when it started, so that STOP finishes exactly that take whatever
  // changes meanwhile (the start point, the stereo track's state): the file it is saved into,
  // the track, whether it is stereo, and the song second at which the engine positioned the
  // tracks that play with it (the silence STOP puts in front; 0 or less means none).
  struct Take {
    bool active = false;
    std::string file;
    int16_t armedtrk = 0;
    bool stereo = false;
    int32_t startSecond = 0;
    bool faultShown = false;  // the message line has told of a failed write
  } take;

  // ======== Record buttons and recording start (record.cpp) ========
  // The record button of row 1..14 (R01_Click .. R14_Click): on the page of tracks 15-28 it
  // records track row + 14, else track `row`.
  void R_Click(int row);
  void R01_Click() { R_Click(1); }
  void R02_Click() { R_Click(2); }
  void R03_Click() { R_Click(3); }
  void R04_Click() { R_Click(4); }
  void R05_Click() { R_Click(5); }
  void R06_Click() { R_Click(6); }
  void R07_Click() { R_Click(7); }
  void R08_Click() { R_Click(8); }
  void R09_Click() { R_Click(9); }
  void R10_Click() { R_Click(10); }
  void R11_Click() { R_Click(11); }
  void R12_Click() { R_Click(12); }
  void R13_Click() { R_Click(13); }
  void R14_Click() { R_Click(14); }
  // R15_Click .. R28_Click: the recording of track 15..28, reached from the row buttons only.
  void R1528_Click(int track) { recordTrack(track, false); }

  // The sound system went away during a run (platform::soundSystemLost): the run ends as STOP
  // ends it, so a take is saved up to the moment the sound stopped, and a box says so.
  // `endIfSoundLost` asks the platform and does that; true when it did.
  void soundSystemStopped();
  bool endIfSoundLost();
  static constexpr const char* kSoundStoppedTitle = "SOUND STOPPED";
  static constexpr const char* kSoundStoppedText =
      " The sound system stopped. Playback and recording were stopped; a recording was saved up "
      "to that point. Please Re-try.";

  // ======== STOP and finishing a take (stop.cpp) ========
  // STOP: ends whatever runs. After a recording it stops the device, saves the take into the
  // file fixed at its start (`take`), closes the device and patches the header; a mono take
  // started at a later second gets that many seconds of silence in front of it.
  void RPSTOP_Click();
  // True while STOP finishes a take (from the device's stop to the end of the rewrite): input
  // is dropped then and nothing may start (PLAY, the record buttons, the keys refuse).
  bool finishing() const { return finishing_; }
  // The exit's safety net: a recording that still runs is stopped and saved before the
  // program closes its devices. Nothing when no recording runs. `quiet`: the program ends on
  // a request from outside (a signal), so a failing device command shows no box.
  void finishTakeBeforeExit(bool quiet = false);
  // The song clock's tick during a recording: tells on the message line, once per take, that
  // the recording device could no longer write the take (the disk filled).
  void showRecorderFault();
  // The header patches of a saved take, on an existing file only: the mono rates (88200 bytes
  // per second, block align 2) and, for the stereo track, two channels (176400, block 4).
  // False when the file cannot be opened or written.
  static bool monohdr(std::string_view path);
  static bool stereohdr(std::string_view path);
  static constexpr const char* kStoppedText =
      "STOPPED. You can alter Pans/vols, Edit , PLAY, or MIXDOWN to a final stereo master, or "
      "record a new track. Ready.";
  static constexpr const char* kNothingSavedText =
      " Recording failed - no sound was saved. Please Re-try.";
  static constexpr const char* kDiskFullText =
      " DISK FULL - the recording stopped being written. Click STOP to keep what was recorded.";
  // " Recording not saved as T03.wav - kept in Mysong as Recovered-20261207-153012.wav. Please
  // Re-try.": the take's file name, the folder and the name it was kept under.
  static std::string notSavedText(std::string_view file, std::string_view folder,
                                  std::string_view kept);

 private:
  // The finishing of a take once the engine is released (input blocked throughout).
  void finishTake(const Take& t);
  // Puts t.startSecond seconds of silence in front of the saved take through temp.wav. On any
  // failure the saved take is left as it is and temp.wav is removed; false then (the take is
  // then kept apart: it would not line up).
  bool lateStart(const Take& t);
  // The device saved nothing: the row's record button red again, the message line says so.
  void takeLost(const Take& t);
  // The take could not be saved (or padded) into its file and was kept as `keptName` in
  // `folder`: the row's record button red again, the message line says where it is.
  void takeKept(const Take& t, const std::string& folder, const std::string& keptName);
  // The record button of the take's row (or the stereo track's) back to red: not recorded.
  void markNotRecorded(const Take& t);
  // A device command of the finishing: reported, unless the finishing is quiet.
  bool send(const std::string& command) const;
  bool finishing_ = false;
  bool quietFinish_ = false;

 public:

  // ======== Mixdown request and master playback (mixdown.cpp) ========
  // MIXDOWN: writes the request file Parms from the rows of tracks 01-14 and starts the sibling
  // mixdown program attached; returns at once. The window shows the mixdown until the program
  // ends, then tells the outcome (mixdownEnded).
  void MIX_Click();
  // MP: plays the stereo master from the start point, or stops it.
  void Mutemix_Click();
  // The master's format fields forced to stereo 44.1 kHz when the master exists.
  void hdrfix22to44();
  // True from the start of the mixdown program until its completion has run.
  bool mixing() const { return mixing_; }
  static constexpr const char* kMixFinished =
      "MIXING FINISHED - Please click MP to play stereo mixdown at least once. Click MP again to "
      "stop playback of mixdown.";
  static constexpr const char* kMixFailed = " Mixdown failed. Please Re-try.";

  // ======== Stereo track and splits (stereo.cpp) ========
  void ST01_Click();  // records the stereo track St.wav while the recorded tracks play
  void STSP_Click();  // splits St.wav onto tracks 13 and 14
  void Split_Click(); // splits the master onto tracks 01 and 02
  void DST_Click();   // deletes the stereo track
  void DF1_Click() {} // the hidden KF1 label: no action
  // The left tracks of the pairs the splits write: MX-->1/2 onto 01/02, 1314 onto 13/14.
  static constexpr std::array<int, 2> kSplitLefts{1, 13};
  // Where a split onto a pair of tracks stands: both tracks as they were before it (or nothing
  // of a split waited), both the split's halves, or neither yet (its files stay for the next
  // start, which settles them by the same rule).
  enum class SplitEnd { AsBefore, Halves, Unsettled };
  // Brings a split onto tracks `left` and `left` + 1 that was cut short (a crash, a rename or
  // delete that failed) to one of its two ends, by the rule at the top of stereo.cpp, from the
  // files present alone. Start-up calls it for each pair; a split calls it for its own.
  SplitEnd settleSplit(int left);

 private:
  // ---- Mixdown (mixdown.cpp) ----
  // Writes the request; false (and nothing more written) on a file error.
  bool writeParms();
  // The sibling program ended with `exitCode` (-1: killed); `was` is the window before MIX.
  struct MixWindow {
    std::string title, umsg;
    int32_t mixColour = 0;
  };
  void mixdownEnded(int exitCode, const MixWindow& was);
  // QUIT back on unless something still runs (PLAY red or a recording).
  void enableQuitIfIdle();
  bool mixing_ = false;
  // Lives as long as this object: a completion that arrives later finds it gone and does nothing.
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);

  // ---- Splits (stereo.cpp) ----
  // Splits the sound of the plain stereo `source` onto tracks `left` and `right` (1..28): each
  // target is written to a temporary file from def's header and renamed over the track only
  // when complete, and the pair then settled by settleSplit.
  SplitEnd splitStereo(const std::string& source, int left, int right);
  // The common part of both splits: `left`/`right` tracks, the row values and colours set,
  // the titles and lines; `master`: the master split (Split red, trkvals, tracks 03-14 down).
  void runSplit(bool master);

  // A fresh scratch file (platform::createScratch) holding the template def's 44-byte header
  // (the canonical mono header when def is missing or short), open under fn.
  bool openFromTemplate(int fn, const std::string& path) const;

 public:
  // ======== Song clock (clock.cpp) ========
  // One second forward / back; the window timer's tick steps forward.
  void mytimes();
  void mytimesrev();
  void Timer1_Timer() {
    if (!endIfSoundLost()) mytimes();
  }
  // The clock to one second before the start point, so that its next step shows the start
  // point itself (PLAY, STOP).
  void clockToStartPoint();
  // The engine's start sequence for a run from `playfrom_` (sound device, mixer values, track
  // files, buffers filled); false when the engine abandoned the start (it has said why).
  bool setUpEngine();
  // "h:m:s", each a plain decimal number.
  static std::string clockText(int32_t hrs, int32_t mins, int32_t secs);
  int32_t elapmins() const { return elapmins_; }
  int32_t elaphrs() const { return elaphrs_; }
  void setClock(int32_t hrs, int32_t mins, int32_t secs) {
    elaphrs_ = hrs; elapmins_ = mins; elapsecs_ = secs;
  }
  // The clock as of its last forward step (the winds start from it).
  int32_t lastsecs() const { return lastsecs_; }
  int32_t lastmins() const { return lastmins_; }
  // True while a wind button is held: the clock steps without its other tests.
  bool windflag() const { return windflag_; }
  void setWindflag(bool v) { windflag_ = v; }

 private:
  // ---- Transport state and PLAY (play.cpp) ----
  // True while STOP finishes a take: nothing may start then.
  bool finishingTake() const;
  void registerVars();

  // ---- Record buttons (record.cpp) ----
  // The member of track 1..28: the guards of every member, then the start of the recording.
  // `fromFirstPage`: reached from R02..R14 on the page of tracks 01-14 (the track-01 test).
  void recordTrack(int track, bool fromFirstPage);
  // The song second at which the engine positioned the tracks of a start just made
  // (`resumed`: it continued a pause; `cueBytes`: the cue offset it used).
  int32_t positionedSecond(bool resumed, double cueBytes) const;

  // ---- Song clock (clock.cpp) ----
  void showClock();

  // ---- The punch-in dialog (punchin.cpp) ----
  void wirePunchIn();
  void buildForm2();
  void unloadForm2();
  bool form2Open() const;  // on screen and enabled
  platform::ui::Form* form2_ = nullptr;
  // Counts the settings of the start point by Punchins and zero: a run that keeps the start
  // point aside puts it back only when none happened meanwhile.
  uint32_t startPointSets_ = 0;

  // ---- Cueing (cue.cpp) ----
  void wireCue();
  void wireKeys();
  void restartAfterWind();
  // Tracks 01-14 on screen and track 01 not recorded.
  bool track01Missing() const;
  // The clock to one second before the pause point (at least second 1 of its minute), so that
  // its next step shows the second at which the sound resumes.
  void resumeClockAtPause();
  std::array<int32_t, 3> pfsave_{};  // playfrom, pinmins, pinsecs kept by "P all"
  uint32_t pfsaveSets_ = 0;

  app::System& sys_;
  bool recbusy_ = false, mixplaying_ = false, windflag_ = false;
  int16_t kbplay_ = 0;
  int16_t tpmode_ = 0;
  int16_t armedtrk_ = 0;
  int32_t playfrom_ = 0, pinhrs_ = 0;
  int32_t elapsecs_ = 0, elapmins_ = 0, elaphrs_ = 0, lastsecs_ = 0, lastmins_ = 0;
  int32_t pinmins_ = 0, pinsecs_ = 0;
};

}  // namespace transport

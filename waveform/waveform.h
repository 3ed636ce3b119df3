// The waveform views, sample editing and the track menu: the 3-second and 1-second views of the
// shown tracks, their navigation, per-track and per-page hiding, and the panel press and click
// that turn a point into a sample number and fill the range editor's boxes.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "app/system.h"

namespace platform::ui { class Form; }

namespace waveform {

// Samples of a 3-second page and of the 1-second view; one drawn column stands for this many
// samples of a page.
constexpr int kPageSamples = 132300;
constexpr int kSecondSamples = 44100;
constexpr int kSamplesPerColumn = 265;
constexpr int kLastPage = 32767;

// The conversion of a press on a panel (X in twips from its left edge) into the offset of the
// pressed sample within the view: the page in the 3-second view, the second in the 1-second view.
int32_t pressOffset(double xTwips, bool oneSecond);

// A 64-bit value saturated into 32 bits.
int32_t sat32(int64_t v);

constexpr const char* kFileFailed = " The track file could not be read or written. Please Re-try.";

// Writes `count` copies of `data` into the track file `path`, copy j from sample
// first + j x step. The room for all of them is reserved before any sample is written: without
// it nothing is written. A file that grew has its header's sizes name its new length when
// `headerFollows`; after a failed write they name the file's length whatever the flag, and
// when they cannot be written the file is cut back to its old length and both are written
// again for that. False on any failure.
bool putCopies(const std::string& path, std::span<const int16_t> data, int64_t first,
               int64_t count, int64_t step, bool headerFollows);

class Waveform {
 public:
  static constexpr int kTracks = 28;
  static constexpr int kRows = 14;
  explicit Waveform(app::System& sys);
  ~Waveform();
  // Attaches the handlers to the main window's controls.
  void wire();

  // ---- drawing ----
  void wvdispt(int track);  // draws track 1..28 in its row (3-second view) when it may be drawn
  void wvdisp();            // the page `wavpage` of `curtrkfile` into the row at wavxorg/wavyorg
  void wavdisponesec();     // one second of `curtrkfile` from `onesecstart`, alone on screen
  void Form_Paint();        // the frame round the waveform area, once after each Cls
  void enablewavdisplays();
  void disablewavdisplays();

  // ---- navigation ----
  void minminus_Click();
  void minplus_Click();
  void minus_Click();  // back one page; the common redraw
  void plus_Click();
  void onesec_Click();
  void wvlbl_Click();
  // The redraw of the page on screen after a change of a track file or a view flag.
  void redrawPage();

  // ---- panels ----
  void wd_MouseDown(int row, int button, int shift, double x, double y);
  void wd_MouseMove(int row, int button, int shift, double x, double y);
  void wd_MouseUp(int row, int button, int shift, double x, double y);
  void do3sec_mseup();  // the drag's silence step
  void onesec_mseup();  // its 1-second view form
  void wd_Click(int row);
  void dosamplein();
  void blanks();  // empties the range editor's eleven boxes

  // ---- the range editor (editing.cpp) ----
  // Cuts `fromMs`..`toMs` out of the track file `path` through the deletion device: the device
  // saves the shortened sound as `temp`, which then replaces the track by rename. False (and
  // the track as it was, no `temp` left) when any step fails.
  bool capdelete(const std::string& path, int64_t fromMs, int64_t toMs);
  // Every edit writes a plain track only (platform::isPlainTrack), never a link or a file with
  // other names, and only one the user may write: for anything else at the track path `path`
  // it shows the refusal (" Track NN is ... - it was not changed.") and returns false, the file
  // untouched. `replaced`: the whole file is to be written anew (a split), so a track of any
  // format, or none, is fine; only a link or a read-only track is refused.
  bool trackFormatOk(const std::string& path, bool replaced = false);
  enum class Edit { DeleteToEnd, DeleteRange, SilenceToEnd, SilenceRange, Reverse, BoostCut, Paste };
  void rgework(Edit what);  // the worker behind one editor button
  void rgededo() { rgework(Edit::DeleteToEnd); }
  void rgedsdo() { rgework(Edit::DeleteRange); }
  void rgesado() { rgework(Edit::SilenceToEnd); }
  void rgessdo() { rgework(Edit::SilenceRange); }
  void rgervdo() { rgework(Edit::Reverse); }
  void rgebcdo() { rgework(Edit::BoostCut); }
  void rgeptdo();  // the range paste: once, repeated, or by beats per minute
  // An editor button's click: its guards, the worker, then the boxes emptied.
  void rgeButton_Click(Edit what);
  void resetrgeisdisp() { rgeisdisp = 0; }

  // ---- sample paste (editing.cpp) ----
  void extdo();           // pastes the chosen sample file into `curtrkfile` at `clicksmp`
  void redtoblue();       // every sample selector and BOX off
  void lsp_Click(int j);  // selector SP01..SP08
  void ubox_Click();

  // ---- show and hide ----
  void tglwav(int track);
  void hidewavs_Click();

  // ---- the track menu (trackmenu.cpp) ----
  void Fun_Click(int row);  // Fun01..Fun14: selects the row's track and pops up the menu
  void mfsoltrk();          // the whole track alone from the start point
  void mfsolwav();          // the view on screen alone, with the progress bar
  void ptrmove();
  void Stop_wav();
  void mfdeltrk();
  void del_track();  // deletes `seltrkfile` (tracks 02..28) after a confirmation
  void mfhidwav() { mfshwwav(); }
  void mfshwwav();
  void mfcpan();
  void mfmtvol();
  void mfsftrk();    // opens the shift box for the selected track (not T01)
  void insertsams(); // silence in front of the shift box's track
  void deletesams(); // samples cut from its start
  std::string seltrkid;  // "T01".."T28"
  int32_t inscount = 0;  // the last insertion's count

  // ---- per-track view flags (element n-1 for track n) ----
  std::array<int16_t, kTracks> tkwavdrawn{};
  std::array<int16_t, kTracks> tkwavhide{};
  // 1 while the 1-second view is shown, 0 in the 3-second view.
  int16_t onesecmode = 0;
  // Clears every drawn and hidden mark (the page switch).
  void clearViewFlags() { tkwavdrawn.fill(0); tkwavhide.fill(0); }

  // ---- view state ----
  int16_t wavpage = 0;     // the 3-second page on screen, from 1 (0 before the first redraw)
  std::string curtrkfile;  // the edit track's path (25 characters)
  // The row that the next drawing uses; they start at row 1, so a 1-second view asked for
  // before any row was drawn still draws inside a row.
  int wavxorg = 224, wavyorg = 87, wdtop = 88, wdheight = 25;
  int32_t onesecstart = 0;  // press offset in the view; then the 1-second view's first sample
  std::array<int16_t, 4> wvlblsave{0, 0, 1, 2};

  // ---- press state ----
  float mdownx = 0;
  int32_t clicksmp = 0;
  int16_t smpvalid = 0;
  int16_t rgeisdisp = 0;
  int16_t dragstate = 0;
  float mupx = 0;
  int16_t selwidth = 0;

  // ---- the track menu's solo playbacks ----
  int16_t solowav = 0;     // 1 while the solo-waveform playback runs
  int16_t soloplay = 0;    // 1 while the solo-track playback runs
  std::string seltrkfile;  // the track last chosen with its row's function button (25 chars)
  int soloptr = 3;         // width of the solo progress bar in pixels; 3 when no solo runs

 private:
  bool playing() const;  // PLAY red: playback, a recording or a solo runs
  bool page2() const;    // the rows show tracks 15-28
  int shownTrack(int row) const { return page2() ? row + kRows : row; }
  int viewmin() const;
  int viewsec() const;
  void showStepLabels();
  void drawRows();  // the page redraw: clear, then the 14 row procedures
  void setSecondLabels(int first);
  void registerVars();

  int selectedTrack() const;  // 1..28 from seltrkid, 0 when none
  void deltrk(int track);
  void buildTrackmod();
  bool shiftAllowed() const;
  void redrawAfterShift();

  app::System& sys_;
  std::unique_ptr<platform::ui::Form> trackmod_;
  std::string shiftid_, shiftfile_;  // the track the open shift box works on
  std::vector<int16_t> buf_;  // the samples of the drawing in progress
  int zoomrow_ = 1;           // the row of the 1-second view
};

}  // namespace waveform

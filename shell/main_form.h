// The mixer display `FormMV2000`: every control of the main window under its own name, in its
// design state (captions, colours, Tags, tooltips, visibility, geometry). It holds no behaviour:
// the subsystems attach their handlers to these controls and keep their state in them.
//
// Layout in twips (15 to the pixel) unless a control works in pixels (the fader knobs, the
// song-position pointer `anyb` and the solo progress bar `timeptr`):
//   top strip      S O N, the message line Umsg, Tips html, MONO, the latency readout
//   transport row  page buttons 01-14 / 15-28, HELP, MX-->1/2 MIXDOWN MP Elapsed PLAY << >> STOP
//                  Rec From P O, QUIT
//   time line      P all, m - m + 1sec < >, HW, minute . second labels over the panels
//   PV row         vp1..vp3, one over each second of the view
//   14 rows        name box, R, F, pan strip over volume strip, waveform panel
//   under panels   ST 1314 DST, sample selectors SP01..SP08 BOX id, paste counts and BPM;
//                  edit boxes and the range editor's buttons; the song-position bar; tips line
#pragma once
#include <array>

#include "platform/ui.h"

namespace shell {

class MainForm : public platform::ui::Form {
 public:
  using Label = platform::ui::Label;
  using TextBox = platform::ui::TextBox;
  using Shape = platform::ui::Shape;

  static constexpr int kRows = 14;
  // Row geometry (twips): row r (1-based) of the pan strips starts at kRowTop + kRowPitch (r-1).
  static constexpr double kRowTop = 1350, kRowPitch = 360;
  static constexpr double kStripLeft = 1800, kStripWidth = 1515, kStripHeight = 135;
  static constexpr double kVolStripOffset = 165;  // volume strip top below the pan strip's top
  static constexpr double kKnobOffset = 30;       // knob top below its strip's top
  static constexpr double kKnobCentrePx = 168;    // design knob position (pixels)
  static constexpr double kPanelLeft = 3360, kPanelTop = 1320, kPanelWidth = 7500,
                          kPanelHeight = 375;
  static constexpr double kClientWidth = 11100, kClientHeight = 7860;

  MainForm();

  // ---- mixer rows (index 0 = row 1) ----
  std::array<TextBox*, kRows> N{};          // N01.. track names
  std::array<Label*, kRows> R{}, Fun{};     // R01.. record, Fun01.. track menu
  std::array<Label*, kRows> PL{}, VL{};     // P01L.. pan strips, V01L.. volume strips
  std::array<Shape*, kRows> P{}, V{};       // P01.. pan knobs, V01.. volume knobs (pixels)
  std::array<Label*, kRows> wd{};           // wd01.. waveform panels (transparent)
  std::array<Shape*, kRows> selrect{};      // Shape1..Shape14: selection rectangles
  std::array<Label*, kRows> ip{};           // ip01.. input ports (hidden)

  // ---- top strip ----
  Label *S, *old, *Newsng, *Umsg, *netdoc, *monolbl, *late;
  platform::ui::Menu* mnuoptions;
  platform::ui::Control *mnuedit, *mnuwmix, *mnuwexp, *mnuwnote;

  // ---- transport row ----
  Label *t0114, *t1528, *HLPDOC, *Split, *MIX, *Mutemix, *Elapset, *PLAY, *frev, *ffwd, *RPSTOP,
      *recd, *Punchins, *Pinbtn, *Zeroelap, *QUIT;
  Shape* prind;
  platform::ui::Timer* Timer1;

  // ---- waveform view: time line, PV buttons, solo progress bar ----
  Label *pfrom, *minminus, *minplus, *onesec, *minus, *plus, *hidewavs;
  Label *wvlbl, *Label1, *Label16, *Label2, *Label3, *Label4;
  Label *vp1, *vp2, *vp3;
  Shape* timeptr;

  // ---- under the panels ----
  Label *ST01, *STSP, *DST, *DF1;
  std::array<Label*, 8> lsp{};  // lsp01..lsp08
  Label* ubox;
  TextBox* spw;
  TextBox *repeatval, *intervalval, *bpmv, *bpminv;
  TextBox *siv, *sov, *ptv, *srct, *tov, *bvol, *cvol;
  Label *vptl, *vmtl, *rgedall, *rgesall, *rgedrl, *rgesrl, *rgervl, *rgepdl;
  Label* anyp;
  Shape* anyb;
  Label* tiplbl;

  // ---- hidden controls ----
  Label *multi, *recmas, *Label6;
  Shape* Shape15;

 private:
  void buildTopStrip();
  void buildTransport();
  void buildTimeLine();
  void buildRow(int r);
  void buildUnderPanels();
  void buildHidden();
};

// The window's title at start.
extern const char* const kMainTitle;

}  // namespace shell

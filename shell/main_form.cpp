#include "shell/main_form.h"

#include <string>
#include <tuple>
#include <utility>

#include "platform/text.h"

namespace shell {

namespace ui = platform::ui;
namespace colour = platform::ui::colour;

const char* const kMainTitle =
    " VemraCd Version 4.3                       Real Time Multitrack Recording and Mixing Display.";

namespace {

constexpr double kButtonHeight = 255;  // labels used as buttons, display lines
constexpr double kBoxHeight = 285;     // text boxes
constexpr double kGap = 45;            // between neighbours in a line
constexpr double kMargin = 60;         // left margin of the window

constexpr double kTopStripTop = 180;
constexpr double kMessageTop = 60, kMessageHeight = 480;  // two lines, above the HELP line
constexpr double kTransportTop = 600;  // the line of HELP
constexpr double kTimeLineTop = 870, kTimeLineHeight = 180;
constexpr double kPvTop = 1065, kPvHeight = 165;  // down to the progress bar's top
constexpr double kSelectorTop = 6465;  // one line under the last panel
constexpr double kEditorTop = 6855;
constexpr double kSongBarTop = 7230, kSongBarHeight = 135;
constexpr double kTipsTop = 7470;

constexpr double kSecondTwips = MainForm::kPanelWidth / 3;  // one second of the 3-second view

// The window's font does not fit the short controls above the panels. Their captions take a face
// whose line (ascent and descent) is 10 pixels at 7 points and 9 at 6: whole inside the 12-pixel
// time line less its border, and inside the 11-pixel PV buttons.
const ui::Font kTimeLineFont{"DejaVu Sans", 7};
const ui::Font kPvFont{"DejaVu Sans", 6};
// The automation letters "R" and "P" of the fader strips: at 5.25 points (7 pixels) a capital
// stands whole inside the 9-pixel strip's border, so R's leg tells the two apart; bold, so that
// the small letter reads crisp.
const ui::Font kStripFont{"DejaVu Sans", 5.25, true};

enum Align { kLeft = 0, kRight = 1, kCentre = 2 };

using platform::twoDigits;

// A label used as a button: bordered, caption centred.
ui::Label& button(ui::Form& f, const std::string& name, std::string_view caption, double left,
                  double top, double width, std::string_view tip = {},
                  double height = kButtonHeight) {
  ui::Label& b = f.addLabel(name, caption, left, top, width, height);
  b.setBorder(true);
  b.setAlignment(kCentre);
  if (!tip.empty()) b.setToolTip(tip);
  return b;
}

// A display line: bordered, pale, caption from the left.
ui::Label& displayLine(ui::Form& f, const std::string& name, double left, double top,
                       double width, std::string_view tip) {
  ui::Label& l = f.addLabel(name, "", left, top, width, kButtonHeight);
  l.setBorder(true);
  l.setBackColor(colour::kPaleGrey);
  l.setToolTip(tip);
  return l;
}

// A text box: white with black text unless the caller recolours it.
ui::TextBox& textBox(ui::Form& f, const std::string& name, double left, double top, double width,
                     std::string_view tip = {}) {
  ui::TextBox& t = f.addTextBox(name, "", left, top, width, kBoxHeight);
  t.setBackColor(colour::kWhite);
  t.setForeColor(colour::kBlack);
  if (!tip.empty()) t.setToolTip(tip);
  return t;
}

// The range editor's entry boxes: white figures on black.
ui::TextBox& editBox(ui::Form& f, const std::string& name, double left, double top, double width,
                     std::string_view tip = {}) {
  ui::TextBox& t = textBox(f, name, left, top, width, tip);
  t.setBackColor(colour::kBlack);
  t.setForeColor(colour::kWhite);
  return t;
}

// Places controls left to right from `x`, `kGap` apart.
struct Flow {
  double x;
  double take(double width) {
    double left = x;
    x += width + kGap;
    return left;
  }
};

}  // namespace

MainForm::MainForm() : ui::Form("FormMV2000") {
  setTitle(kMainTitle);
  resize(kClientWidth, kClientHeight);
  setBackColor(colour::kGrey);
  buildTopStrip();
  buildTransport();
  buildTimeLine();
  for (int r = 1; r <= kRows; ++r) buildRow(r);
  buildUnderPanels();
  buildHidden();
}

void MainForm::buildTopStrip() {
  const double t = kTopStripTop;
  S = &button(*this, "S", "S", kMargin, t, 375, "Click; Settings.");
  old = &button(*this, "old", "O", 480, t, 375,
                "Click; Other programs. eg : external editor, windows mixer, explorer.");
  Newsng = &button(*this, "Newsng", "N", 900, t, 375, "Click; New features recently added.");
  Umsg = &displayLine(*this, "Umsg", 1320, t, 7200,
                      "Messages to user, and waveform sample numbers.");
  Umsg->setCaption("WELCOME - IF A FIRST TIME USER PLEASE CLICK ON HELP BEFORE RECORDING.");
  // The longest messages (the STOP line runs to 111 characters) wrap onto a second line.
  Umsg->move(1320, kMessageTop, 7200, kMessageHeight);
  Umsg->setWordWrap(true);
  netdoc = &button(*this, "netdoc", "Tips html", 8565, t, 840,
                   "Click; Displays tips in your internet browser.");
  monolbl = &button(*this, "monolbl", "MONO", 9450, t, 660,
                    "Click; Real time mix in mono. Red - mono enabled.");
  monolbl->setForeColor(colour::kBlack);
  late = &button(*this, "late", "", 10155, t, kPanelLeft + kPanelWidth - 10155);

  mnuoptions = &addMenu("mnuoptions");
  mnuedit = &mnuoptions->addItem("mnuedit", "1. Display External audio editor - for advanced editing.");
  mnuwmix = &mnuoptions->addItem("mnuwmix", "2. Display Windows mixer - for mixer settings.");
  mnuwexp = &mnuoptions->addItem("mnuwexp", "3. Display Windows explorer - for copying tracks/mixes.");
  mnuwnote = &mnuoptions->addItem("mnuwnote", "4. Display Notepad - for session notes.");
}

void MainForm::buildTransport() {
  const double t = kTransportTop;
  // The page buttons head the column of names: white text marks the page on screen.
  t0114 = &button(*this, "t0114", "01-14", kMargin, t, 645, "Click; For mixer tracks T01 to T14");
  t1528 = &button(*this, "t1528", "15-28", 750, t, 645, "Click; For mixer tracks T15 to T28");
  t0114->setBackColor(colour::kGrey);
  t0114->setForeColor(colour::kWhite);  // the window opens on tracks 01-14
  t1528->setBackColor(colour::kGrey);
  t1528->setForeColor(colour::kBlack);
  HLPDOC = &button(*this, "HLPDOC", "HELP", 1800, t, 1080, "Click; Displays detailed ON-LINE help.");

  Flow f{HLPDOC->left() + HLPDOC->width() + kGap + 15};
  Split = &button(*this, "Split", "MX-->1/2", f.take(765), t, 765);
  MIX = &button(*this, "MIX", "MIXDOWN", f.take(855), t, 855);
  Mutemix = &button(*this, "Mutemix", "MP", f.take(375), t, 375);
  Mutemix->setForeColor(colour::kBlue);  // no master to play
  Elapset = &button(*this, "Elapset", "Elapsed", f.take(735), t, 735,
                    "Elapsed time of song from zero. Click me to pause/continue playback.");
  prind = &addShape("prind", f.take(90), t + 45, 90, 165);
  prind->setFillColor(colour::kYellow);
  prind->setVisible(false);
  PLAY = &button(*this, "PLAY", "PLAY", f.take(735), t, 735);
  frev = &button(*this, "frev", "<<", f.take(300), t, 300, "Fast back (hold down/release button.)");
  ffwd = &button(*this, "ffwd", ">>", f.take(300), t, 300,
                 "Fast forward (hold down/release button.)");
  ffwd->setTag("0");
  RPSTOP = &button(*this, "RPSTOP", "STOP", f.take(735), t, 735);
  PLAY->setForeColor(colour::kYellow);  // stopped
  RPSTOP->setForeColor(colour::kRed);
  for (Label* l : {PLAY, RPSTOP}) l->setBackColor(colour::kBlack);
  recd = &button(*this, "recd", "Rec", f.take(375), t, 375);
  recd->setForeColor(colour::kRed);
  Punchins = &button(*this, "Punchins", "From", f.take(735), t, 735,
                     "Click while Playing ; Sets playback time.");
  Pinbtn = &button(*this, "Pinbtn", "P", f.take(255), t, 255);
  Zeroelap = &button(*this, "Zeroelap", "O", f.take(255), t, 255,
                     "Click; Sets PLAY and RECORD start to beginning of song.");
  QUIT = &button(*this, "QUIT", "QUIT ", kPanelLeft + kPanelWidth - 615, t, 615);
  QUIT->setForeColor(colour::kBlack);

  Timer1 = &addTimer("Timer1", 1000, false);
}

void MainForm::buildTimeLine() {
  const double t = kTimeLineTop, h = kTimeLineHeight;
  pfrom = &button(*this, "pfrom", "P all", kMargin, t, 495,
                  "Click; Plays/stops all waveforms from time at begin of time-line.", h);
  minminus = &button(*this, "minminus", "m -", 600, t, 375, "back 1 min.", h);
  minplus = &button(*this, "minplus", "m +", 1020, t, 375, "adv 1 min.", h);
  onesec = &button(*this, "onesec", "1sec", 1440, t, 420, "zoom 1 sec", h);
  minus = &button(*this, "minus", "<", 1905, t, 300, "waveforms back 3 secs.", h);
  plus = &button(*this, "plus", ">", 2250, t, 300, "waveforms fwd 3 secs.", h);
  hidewavs = &button(*this, "hidewavs", "HW", 2595, t, 345, {}, h);

  // The minute and the three seconds of the page; the time line strip `wvlbl` lies beneath the
  // second labels, its caption centred so that it reads clear of them in the 1-second view.
  wvlbl = &addLabel("wvlbl", "", kPanelLeft, t, kPanelWidth, h);
  wvlbl->setAlignment(kCentre);
  Label1 = &addLabel("Label1", "0", 2985, t, 210, h);
  Label1->setAlignment(kRight);
  Label1->setToolTip("Minutes");
  Label16 = &addLabel("Label16", ".", 3195, t, 150, h);
  Label16->setAlignment(kCentre);
  Label2 = &addLabel("Label2", "0", kPanelLeft, t, 240, h);
  Label2->setToolTip("Seconds");
  Label3 = &addLabel("Label3", "1", kPanelLeft + kSecondTwips, t, 240, h);
  Label4 = &addLabel("Label4", "2", kPanelLeft + 2 * kSecondTwips, t, 240, h);
  for (Label* l : {wvlbl, Label1, Label16, Label2, Label3, Label4}) l->setBackColor(colour::kPaleGrey);
  for (Label* l : {pfrom, minminus, minplus, onesec, minus, plus, hidewavs, wvlbl, Label1, Label16,
                   Label2, Label3, Label4})
    l->setFont(kTimeLineFont);

  // Step entry: one PV button under each second's label.
  Label** pv[] = {&vp1, &vp2, &vp3};
  for (int k = 0; k < 3; ++k) {
    *pv[k] = &button(*this, "vp" + std::to_string(k + 1), "PV", kPanelLeft + k * kSecondTwips, kPvTop,
                     375, "see HELP for usage.", kPvHeight);
    (*pv[k])->setForeColor(colour::kBlack);
    (*pv[k])->setFont(kPvFont);
  }

  // The solo progress bar, just above the panels (pixels).
  timeptr = &addShape("timeptr", 225, 82, 3, 5, ui::Unit::Pixels);
  timeptr->setFillColor(colour::kYellow);
}

void MainForm::buildRow(int r) {
  const int i = r - 1;
  const std::string nn = twoDigits(r);
  const double top = kRowTop + kRowPitch * i;  // the pan strip's top

  N[i] = &textBox(*this, "N" + nn, kMargin, top + 15, 840);
  N[i]->setText("Track" + nn);
  R[i] = &button(*this, "R" + nn, "R" + nn, 945, top + 30, 375);
  R[i]->setBackColor(colour::kWhite);
  R[i]->setForeColor(colour::kRed);  // nothing recorded
  Fun[i] = &button(*this, "Fun" + nn, "F" + nn, 1365, top + 30, 375,
                   r == 1 ? "Click after record ; For track menu (delete, solo, hide/show , centre "
                            "pan , mute and shift track)."
                          : "");

  // Pan strip over volume strip, each with its knob in pixels at the centre position.
  auto fader = [&](const std::string& name, double stripTop, std::string_view tag,
                   std::string_view tip, std::string_view knobTag) {
    Label& strip = addLabel(name + "L", "", kStripLeft, stripTop, kStripWidth, kStripHeight);
    strip.setForeColor(colour::kWhite);
    strip.setBackColor(colour::kGrey);
    strip.setAlignment(kRight);
    strip.setBorder(true);
    strip.setFont(kStripFont);
    strip.setTag(tag);
    strip.setToolTip(tip);
    Shape& knob = addShape(name, kKnobCentrePx, (stripTop + kKnobOffset) / ui::kTwipsPerPixel, 5, 6,
                           ui::Unit::Pixels);
    knob.setFillColor(colour::kBlack);
    knob.setTag(knobTag);
    return std::pair<Label*, Shape*>{&strip, &knob};
  };
  std::tie(PL[i], P[i]) = fader("P" + nn, top, "16383", r == 1 ? "Click; Sets pan." : "", "0");
  std::tie(VL[i], V[i]) = fader("V" + nn, top + kVolStripOffset, r == 1 ? "1500" : "-1500",
                                "Click; Sets volume.", "-1500");

  // The waveform panel shows the drawing beneath it; its selection rectangle starts hidden.
  wd[i] = &addLabel("wd" + nn, "", kPanelLeft, kPanelTop + kRowPitch * i, kPanelWidth, kPanelHeight);
  wd[i]->setTransparent(true);
  wd[i]->setTag("-1500");
  selrect[i] = &addShape("Shape" + std::to_string(r), kPanelLeft, top, 15, 315);
  selrect[i]->setFilled(false);
  selrect[i]->setForeColor(colour::kRed);
  selrect[i]->setTag("0");
  selrect[i]->setVisible(false);

  ip[i] = &addLabel("ip" + nn, "0", 10905, 1440 + kRowPitch * i, 120, 225);
  if (r == 1) ip[i]->setToolTip("Click; Select port");
  ip[i]->setVisible(false);
}

void MainForm::buildUnderPanels() {
  // The stereo track's buttons under the record column, the sample selectors under the panels,
  // then the paste counts.
  double t = kSelectorTop;
  ST01 = &button(*this, "ST01", "ST", kMargin, t, 375);
  ST01->setBackColor(colour::kWhite);
  ST01->setForeColor(colour::kRed);  // no stereo track
  STSP = &button(*this, "STSP", "1314", 480, t, 420);
  DST = &button(*this, "DST", "DST", 945, t, 375);
  DF1 = &button(*this, "DF1", "KF1", 1365, t, 375);
  DF1->setVisible(false);
  for (int j = 1; j <= 8; ++j) {
    lsp[j - 1] = &button(*this, "lsp" + twoDigits(j), "SP" + twoDigits(j), 2880 + 600 * (j - 1), t,
                         465, "Click: use this smpl for pastes (red = active).");
  }
  ubox = &button(*this, "ubox", "BOX", 2880 + 600 * 8, t, 465,
                 "Click: use the smpl no in box for pastes (red = active).");
  for (Label* l : lsp) l->setForeColor(colour::kBlack);
  ubox->setForeColor(colour::kBlack);
  spw = &textBox(*this, "spw", ubox->left() + 600, t - 15, 330,
                 "Enter sample id ( 14 to 99) and click on BOX. Right Click on tk waveform panel to paste.");
  Flow f{spw->left() + spw->width() + 90};
  repeatval = &editBox(*this, "repeatval", f.take(600), t - 15, 600);
  intervalval = &editBox(*this, "intervalval", f.take(660), t - 15, 660);
  bpmv = &editBox(*this, "bpmv", f.take(450), t - 15, 450);
  bpminv = &editBox(*this, "bpminv", f.take(285), t - 15, 285);

  // Sample numbers and tracks of the range editor, then its buttons, volume boxes beside V+/V-.
  t = kEditorTop;
  const double boxTop = t - 15;
  f = Flow{kMargin};
  siv = &editBox(*this, "siv", f.take(750), boxTop, 750,
                 "Enter start sample number. Applies to all buttons.");
  sov = &editBox(*this, "sov", f.take(750), boxTop, 750,
                 "Enter end sample. Applies to all except DA and SA.");
  ptv = &editBox(*this, "ptv", f.take(750), boxTop, 750, "Enter paste start sample ( PR only).");
  srct = &editBox(*this, "srct", f.take(330), boxTop, 330,
                  "Source track. Entered by Vemra when you double click.");
  tov = &editBox(*this, "tov", f.take(330), boxTop, 330,
                 "Destination track. Entered by Vemra when you double click on a different track to "
                 "do paste.");
  f.x += kGap;
  vptl = &button(*this, "vptl", "V+", f.take(375), t, 375,
                 "Click; Boosts vol of start to end range in From tk.(enter 1 to 99 in V++ box). 1 "
                 "min max .");
  bvol = &editBox(*this, "bvol", f.take(330), boxTop, 330);
  vmtl = &button(*this, "vmtl", "V-", f.take(375), t, 375,
                 "Click; Cuts vol of start to end range in From tk.(enter 1 to 99 in V-- box). 1 min "
                 "max.");
  cvol = &editBox(*this, "cvol", f.take(330), boxTop, 330);
  f.x += kGap;
  struct EditButton { Label** member; const char* name; const char* caption; const char* tip; };
  const EditButton editButtons[] = {
      {&rgedall, "rgedall", "DA",
       "Click; Deletes all samples in From tk - start to end of tk (cut). Enter/click Start smple."},
      {&rgesall, "rgesall", "SA",
       "Click; Silences all samples in From tk - start smple to end (no cut) . Enter/click Start "
       "smple."},
      {&rgedrl, "rgedrl", "DR",
       "Click; Deletes range of samples in from tk - start to end (cut) 1 min max. Enter/click "
       "Start and End smples."},
      {&rgesrl, "rgesrl", "SR",
       "Click; Silences sample range in From tk - start to end (no cut) 1 min max. Enter/click "
       "Start and End smples."},
      {&rgervl, "rgervl", "RR",
       "Click; Reverses sample range (Max 1min -  eg : backward cymbals !!). Enter/click start and "
       "end smples."},
      {&rgepdl, "rgepdl", "PR",
       "Click; Pastes sample range start to end in From tk to same or different tk. Enter/click "
       "start, end, paste start."},
  };
  for (const EditButton& b : editButtons)
    *b.member = &button(*this, b.name, b.caption, f.take(375), t, 375, b.tip);

  // The song-position bar with its pointer (pixels), and the long tips line at the bottom.
  anyp = &addLabel("anyp", "", 0, kSongBarTop, 10740, kSongBarHeight);
  anyp->setBackColor(colour::kPaleGrey);
  anyp->setBorder(true);
  anyp->setToolTip("click; plays tracks from any time.");
  anyb = &addShape("anyb", 10, (kSongBarTop + 30) / ui::kTwipsPerPixel, 5, 6, ui::Unit::Pixels);
  anyb->setFillColor(colour::kRed);
  anyb->setTag("0");
  tiplbl = &displayLine(*this, "tiplbl", kMargin, kTipsTop, kPanelLeft + kPanelWidth - kMargin,
                        "Click me for more tips.");
}

void MainForm::buildHidden() {
  // Multi-input controls, never shown, and two inert leftovers that start-up hides.
  multi = &button(*this, "multi", "MULT' INS", 240, kTransportTop, 870,
                  " Click; For multi in enabled sound cards only. ");
  recmas = &button(*this, "recmas", "RM", 1200, kTransportTop, 345,
                   "Click; To record from multiple inputs.");
  recmas->setForeColor(colour::kRed);
  Label6 = &addLabel("Label6", "", 7440, kEditorTop, 600, kButtonHeight);
  Shape15 = &addShape("Shape15", 8100, kEditorTop, 255, 255);
  for (ui::Control* c : {static_cast<ui::Control*>(multi), static_cast<ui::Control*>(recmas),
                         static_cast<ui::Control*>(Label6), static_cast<ui::Control*>(Shape15)})
    c->setVisible(false);
}

}  // namespace shell

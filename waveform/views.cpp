// The waveform views: drawing a track's 3-second page or one second into its row, the row
// procedures, the frame, the time line and its buttons, the panel press and click, and the
// hiding and showing of waveforms.
#include <algorithm>
#include <limits>
#include <span>
#include <utility>

#include "app/application.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "shell/main_form.h"
#include "shell/shell.h"
#include "transport/transport.h"
#include "waveform/waveform.h"

namespace waveform {

namespace ui = platform::ui;
namespace colour = platform::ui::colour;
using platform::roundHalfEven;
using platform::str;

namespace {
constexpr int kColumns = 500;           // drawn columns of a panel
constexpr double kPageScale = 1900;     // sample value per pixel of a 3-second bar
constexpr double kSecondScale = 680;    // sample value per pixel of a 1-second stroke
constexpr int kSecondStep = 22;         // every 22nd sample is drawn in the 1-second view
constexpr int64_t kHeaderBytes = 44;
constexpr double kFrameLeft = 226, kFrameTop = 91, kFrameRight = 721, kFrameBottom = 422;

constexpr const char* kMsgMinute = " 3 second waveform view. Ready.";
constexpr const char* kMsgBack =
    " 3 second wave view. To edit - hold down left mouse button over audio section, drag to the "
    "right, and let up button. Ready.";
constexpr const char* kMsgFwd =
    " 3 second wave view. To edit one second - click on a tracks wavelet, and click 1 sec "
    "button. Ready.";
constexpr const char* kMsgOneSec =
    " One second waveform view. To edit - hold down left mouse button, drag to right, and then "
    "let up button.";
constexpr const char* kWvlblOneSec = " Click me to end 1 sec edit.";

// Reads `count` samples of the track file `path` from sample `first` into `buf` (zeroed first);
// whatever cannot be read, and a tag chunk after the sound, stays 0.
void readSamples(const std::string& path, int64_t first, std::vector<int16_t>& buf, size_t count) {
  buf.assign(count, 0);
  if (first < 0) return;
  const int fn = platform::freeFile();
  if (fn == 0 || !platform::fileOpen(fn, path, platform::OpenMode::Read)) return;
  platform::endAtSound(fn);
  platform::getInt16s(fn, kHeaderBytes + 2 * first + 1, std::span<int16_t>(buf));
  platform::fileClose(fn);
}
}  // namespace

int32_t sat32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

int32_t pressOffset(double x, bool oneSecond) {
  if (oneSecond) return sat32(roundHalfEven(x * kSecondSamples / 7450.0));
  int64_t off = roundHalfEven(x * kSecondSamples * 3 / 7400.0);
  if (off > 132222) off = kPageSamples;
  if (off < 1000) off = 0;
  return sat32(off);
}

Waveform::Waveform(app::System& sys) : sys_(sys) {}

void Waveform::wire() {
  shell::MainForm& f = sys_.form;
  f.minminus->onClick = [this] { minminus_Click(); };
  f.minplus->onClick = [this] { minplus_Click(); };
  f.minus->onClick = [this] { minus_Click(); };
  f.plus->onClick = [this] { plus_Click(); };
  f.onesec->onClick = [this] { onesec_Click(); };
  f.wvlbl->onClick = [this] { wvlbl_Click(); };
  f.hidewavs->onClick = [this] { hidewavs_Click(); };
  const std::pair<ui::Label*, Edit> editButtons[] = {
      {f.rgedall, Edit::DeleteToEnd}, {f.rgedrl, Edit::DeleteRange},
      {f.rgesall, Edit::SilenceToEnd}, {f.rgesrl, Edit::SilenceRange},
      {f.rgervl, Edit::Reverse},       {f.vmtl, Edit::BoostCut},
      {f.vptl, Edit::BoostCut},        {f.rgepdl, Edit::Paste}};
  for (auto [label, what] : editButtons) label->onClick = [this, what] { rgeButton_Click(what); };
  for (int j = 1; j <= 8; ++j) f.lsp[j - 1]->onClick = [this, j] { lsp_Click(j); };
  f.ubox->onClick = [this] { ubox_Click(); };
  for (int row = 1; row <= kRows; ++row) f.Fun[row - 1]->onClick = [this, row] { Fun_Click(row); };
  for (int row = 1; row <= kRows; ++row) {
    f.wd[row - 1]->onClick = [this, row] { wd_Click(row); };
    f.wd[row - 1]->onMouseDown = [this, row](int b, int s, double x, double y) {
      wd_MouseDown(row, b, s, x, y);
    };
    f.wd[row - 1]->onMouseMove = [this, row](int b, int s, double x, double y) {
      wd_MouseMove(row, b, s, x, y);
    };
    f.wd[row - 1]->onMouseUp = [this, row](int b, int s, double x, double y) {
      wd_MouseUp(row, b, s, x, y);
    };
  }
  // The window keeps its lines over a repaint; the paint only puts back a frame that a Cls took.
  f.onPaint = [this] {
    if (onesecmode == 0) Form_Paint();
  };
  registerVars();
}

void Waveform::registerVars() {
  app::Application& a = sys_.app;
  a.registerVar("wavpage", [this] { return str(wavpage); });
  a.registerVar("onesecmode", [this] { return str(onesecmode); });
  a.registerVar("onesecstart", [this] { return str(onesecstart); });
  a.registerVar("clicksmp", [this] { return str(clicksmp); });
  a.registerVar("smpvalid", [this] { return str(smpvalid); });
  a.registerVar("rgeisdisp", [this] { return str(rgeisdisp); });
  a.registerVar("dragstate", [this] { return str(dragstate); });
  a.registerVar("selwidth", [this] { return str(selwidth); });
  a.registerVar("curtrkfile", [this] { return curtrkfile; });
  a.registerVar("seltrkid", [this] { return seltrkid; });
  a.registerVar("seltrkfile", [this] { return seltrkfile; });
  a.registerVar("soloptr", [this] { return str(soloptr); });
  a.registerVar("solowav", [this] { return str(solowav); });
  a.registerVar("soloplay", [this] { return str(soloplay); });
  a.registerVar("inscount", [this] { return str(inscount); });
  auto flags = [](const std::array<int16_t, kTracks>& a) {
    std::string s;
    for (int16_t v : a) s += v ? '1' : '0';
    return s;
  };
  a.registerVar("tkwavhide", [this, flags] { return flags(tkwavhide); });
  a.registerVar("tkwavdrawn", [this, flags] { return flags(tkwavdrawn); });
}

bool Waveform::playing() const { return sys_.form.PLAY->foreColor() == colour::kRed; }
bool Waveform::page2() const { return sys_.form.t1528->foreColor() == colour::kWhite; }
int Waveform::viewmin() const { return static_cast<int>(platform::val(sys_.form.Label1->caption())); }
int Waveform::viewsec() const { return static_cast<int>(platform::val(sys_.form.Label2->caption())); }

// ---- drawing ---------------------------------------------------------------------------------

void Waveform::wvdisp() {
  shell::MainForm& f = sys_.form;
  if (wavpage == 0) wavpage = 1;
  for (auto* s : f.selrect) s->setVisible(false);
  const double c = wavyorg + f.wd[0]->height() / ui::kTwipsPerPixel / 2;
  readSamples(curtrkfile, static_cast<int64_t>(kPageSamples) * (wavpage - 1), buf_, kPageSamples);
  for (int k = 1; k <= kColumns; ++k) {
    const double s = buf_[static_cast<size_t>(kSamplesPerColumn) * (k - 1)];
    const double x = wavxorg + k;
    f.line(x, c, x, static_cast<double>(roundHalfEven(c - s / kPageScale)), colour::kBlue);
    f.line(x, c, x, static_cast<double>(roundHalfEven(c + s / kPageScale)), colour::kBlue);
  }
}

void Waveform::wavdisponesec() {
  shell::MainForm& f = sys_.form;
  shell::Shell& sh = *sys_.shell;
  onesecmode = 1;
  f.cls();
  for (auto* s : f.selrect) s->setVisible(false);
  f.setScaleMode(ui::ScaleMode::Pixels);
  for (int k = 1; k <= kTracks; ++k) {
    if (curtrkfile != sh.tkfname[k - 1]) continue;
    const int r = k <= kRows ? k : k - kRows;
    wavxorg = 224;
    wavyorg = 87 + 24 * (r - 1);
    wdtop = 88 + 24 * (r - 1);
    wdheight = 25;
    break;
  }
  zoomrow_ = (wavyorg - 87) / 24 + 1;
  const double h = f.wd[0]->height() / ui::kTwipsPerPixel / 2;
  const int width = static_cast<int>(roundHalfEven(f.wd[0]->width() / ui::kTwipsPerPixel));
  const int64_t q = roundHalfEven(static_cast<double>(kSecondSamples) / width);
  readSamples(curtrkfile, onesecstart, buf_, kSecondSamples);
  const double c = wavyorg + h;
  int k = 1;
  int64_t n = 0;
  for (int i = 0; i < kSecondSamples; i += kSecondStep) {
    n += kSecondStep;
    if (n == q) {
      ++k;
      n = 0;
    }
    if (k == width) break;
    int64_t y = roundHalfEven(c - buf_[static_cast<size_t>(i)] / kSecondScale);
    y = std::clamp<int64_t>(y, wdtop, wdtop + wdheight);
    f.line(wavxorg + k, c, wavxorg + k, static_cast<double>(y), colour::kWhite);
  }
}

void Waveform::wvdispt(int track) {
  shell::MainForm& f = sys_.form;
  const int r = track <= kRows ? track : track - kRows;
  if (r == 1) Form_Paint();
  if (playing()) return;
  if (tkwavhide[track - 1] == 1) return;
  if (f.R[r - 1]->foreColor() != colour::kBlue) return;
  curtrkfile = sys_.shell->tkfname[track - 1];
  wavxorg = 224;
  wavyorg = 87 + 24 * (r - 1);
  f.setScaleMode(ui::ScaleMode::Pixels);
  wdtop = static_cast<int>(roundHalfEven(f.wd[r - 1]->top() / ui::kTwipsPerPixel));
  wdheight = static_cast<int>(roundHalfEven(f.wd[r - 1]->height() / ui::kTwipsPerPixel));
  wvdisp();
  tkwavdrawn[track - 1] = 1;
}

void Waveform::Form_Paint() {
  shell::MainForm& f = sys_.form;
  // Lines stay until Cls: a frame already drawn since then is not drawn again.
  for (const ui::DrawnLine& l : f.lines()) {
    if (l.colour == colour::kCyan && l.x1 == kFrameLeft && l.y1 == kFrameTop &&
        l.x2 == kFrameRight && l.y2 == kFrameTop)
      return;
  }
  // Always in pixels, whatever scale a panel press left.
  const ui::ScaleMode was = f.scaleMode();
  f.setScaleMode(ui::ScaleMode::Pixels);
  f.line(kFrameLeft, kFrameTop, kFrameRight, kFrameTop, colour::kCyan);
  f.line(kFrameRight, kFrameTop, kFrameRight, kFrameBottom, colour::kCyan);
  f.line(kFrameRight, kFrameBottom, kFrameLeft, kFrameBottom, colour::kCyan);
  f.line(kFrameLeft, kFrameBottom, kFrameLeft, kFrameTop, colour::kCyan);
  f.setScaleMode(was);
}

void Waveform::enablewavdisplays() {
  for (auto* p : sys_.form.wd) p->setEnabled(true);
}

void Waveform::disablewavdisplays() {
  shell::MainForm& f = sys_.form;
  if (f.t0114->foreColor() != colour::kWhite && f.t1528->foreColor() != colour::kWhite) return;
  for (auto* p : f.wd) p->setEnabled(false);
}

// ---- navigation ------------------------------------------------------------------------------

void Waveform::drawRows() {
  onesecmode = 0;
  sys_.form.cls();
  const int base = page2() ? kRows : 0;
  for (int r = 1; r <= kRows; ++r) wvdispt(base + r);
}

void Waveform::showStepLabels() {
  shell::MainForm& f = sys_.form;
  f.Label3->setVisible(true);
  f.Label4->setVisible(true);
  f.onesec->setVisible(true);
}

void Waveform::setSecondLabels(int first) {
  shell::MainForm& f = sys_.form;
  f.Label2->setCaption(str(first));
  f.Label3->setCaption(str(first + 1));
  f.Label4->setCaption(str(first + 2));
}

void Waveform::redrawPage() {
  if (wavpage <= 1) {
    minus_Click();
  } else {
    minus_Click();
    plus_Click();
  }
}

void Waveform::minminus_Click() {
  shell::MainForm& f = sys_.form;
  if (playing()) return;
  f.setPointer(ui::Pointer::Hourglass);
  showStepLabels();
  f.Umsg->setCaption(kMsgMinute);
  onesecmode = 0;
  const int m = std::max(viewmin() - 1, 0);
  f.Label1->setCaption(str(m));
  setSecondLabels(0);
  wavpage = static_cast<int16_t>(std::max(m * 20 + 1, 1));
  drawRows();
  f.setPointer(ui::Pointer::Arrow);
}

void Waveform::minplus_Click() {
  shell::MainForm& f = sys_.form;
  if (playing()) return;
  const int m = viewmin() + 1;
  // The page of the next minute must stay within the pages there are.
  if (m != 9 && static_cast<int64_t>(m) * 20 + 1 > kLastPage) return;
  f.setPointer(ui::Pointer::Hourglass);
  showStepLabels();
  f.Umsg->setCaption(kMsgMinute);
  onesecmode = 0;
  if (m == 9) {
    f.Label1->setCaption("0");
    setSecondLabels(0);
    wavpage = 1;
  } else {
    f.Label1->setCaption(str(m));
    setSecondLabels(0);
    wavpage = static_cast<int16_t>(m * 20 + 1);
  }
  drawRows();
  f.setPointer(ui::Pointer::Arrow);
}

void Waveform::minus_Click() {
  shell::MainForm& f = sys_.form;
  if (playing()) return;
  f.setPointer(ui::Pointer::Hourglass);
  showStepLabels();
  f.Umsg->setCaption(kMsgBack);
  f.setScaleMode(ui::ScaleMode::Pixels);
  onesecmode = 0;
  wavpage = static_cast<int16_t>(std::max(wavpage - 1, 1));
  drawRows();
  if (wavpage < 2) {
    setSecondLabels(0);
  } else if (viewsec() == 0) {
    f.Label1->setCaption(str(viewmin() - 1));
    setSecondLabels(57);
  } else {
    setSecondLabels(viewsec() - 3);
  }
  f.setPointer(ui::Pointer::Arrow);
}

void Waveform::plus_Click() {
  shell::MainForm& f = sys_.form;
  if (playing()) return;
  if (wavpage >= kLastPage) return;  // the last page there is
  f.setPointer(ui::Pointer::Hourglass);
  showStepLabels();
  f.Umsg->setCaption(kMsgFwd);
  onesecmode = 0;
  wavpage = static_cast<int16_t>(wavpage + 1);
  drawRows();
  if (viewsec() == 57) {
    f.Label1->setCaption(str(viewmin() + 1));
    setSecondLabels(0);
  } else {
    setSecondLabels(viewsec() + 3);
  }
  f.setPointer(ui::Pointer::Arrow);
}

void Waveform::onesec_Click() {
  shell::MainForm& f = sys_.form;
  if (playing()) return;
  if (!page2() && f.R[0]->foreColor() == colour::kRed) return;
  f.pfrom->setVisible(false);
  f.setPointer(ui::Pointer::Hourglass);
  onesecmode = 1;
  f.wvlbl->setCaption(std::string(kWvlblOneSec) + std::string(33, ' '));
  for (ui::Label* l : {f.minminus, f.minplus, f.minus, f.plus, f.Label3, f.Label4, f.onesec})
    l->setVisible(false);
  ui::Label* labels[] = {f.Label1, f.Label2, f.Label3, f.Label4};
  for (int i = 0; i < 4; ++i) wvlblsave[i] = platform::sat16(platform::val(labels[i]->caption()));
  f.Umsg->setCaption(kMsgOneSec);
  int k = 0;
  if (onesecstart <= 44100) k = 0;
  else if (onesecstart <= 88200) k = 1;
  else if (onesecstart <= 132300) k = 2;
  else if (onesecstart <= 176400) k = 3;
  else if (onesecstart <= 220500) k = 4;
  f.Label2->setCaption(str(viewsec() + k));
  onesecstart = sat32((static_cast<int64_t>(viewmin()) * 60 + viewsec()) * kSecondSamples);
  wavdisponesec();
  f.setPointer(ui::Pointer::Arrow);
}

void Waveform::wvlbl_Click() {
  shell::MainForm& f = sys_.form;
  if (playing() || onesecmode == 0) return;
  f.pfrom->setVisible(true);
  f.setPointer(ui::Pointer::Hourglass);
  onesecmode = 0;
  for (ui::Label* l : {f.minminus, f.minplus, f.minus, f.plus, f.Label3, f.Label4, f.onesec})
    l->setVisible(true);
  ui::Label* labels[] = {f.Label1, f.Label2, f.Label3, f.Label4};
  for (int i = 0; i < 4; ++i) labels[i]->setCaption(str(wvlblsave[i]));
  f.wvlbl->setCaption(std::string(47, ' '));
  drawRows();
  f.Umsg->setCaption(kMsgMinute);
  f.setPointer(ui::Pointer::Arrow);
}

// ---- panels ----------------------------------------------------------------------------------

void Waveform::dosamplein() {
  shell::MainForm& f = sys_.form;
  const int32_t offset = pressOffset(mdownx, onesecmode == 1);
  onesecstart = offset;
  const double n = static_cast<double>(viewmin()) * 60 * kSecondSamples +
                   static_cast<double>(viewsec()) * kSecondSamples + offset;
  f.Umsg->setCaption(" Sample number is : " + str(static_cast<int64_t>(n)));
  smpvalid = 1;
  clicksmp = sat32(static_cast<int64_t>(n));
}

void Waveform::wd_MouseDown(int row, int button, int shift, double x, double y) {
  (void)button, (void)shift, (void)y;
  shell::MainForm& f = sys_.form;
  const int k = shownTrack(row);
  // A refused press cancels the gesture: no later move or release acts on an earlier one.
  if (sys_.transport->recbusy() || f.R[row - 1]->foreColor() == colour::kRed ||
      tkwavdrawn[k - 1] == 0 || tkwavhide[k - 1] == 1 || playing() ||
      (onesecmode == 1 && row != zoomrow_)) {  // in the 1-second view only its row takes presses
    dragstate = 0;
    return;
  }
  curtrkfile = sys_.shell->tkfname[k - 1];
  f.setScaleMode(ui::ScaleMode::Twips);
  ui::Shape& rect = *f.selrect[row - 1];
  rect.setVisible(true);
  rect.setLeft(x + 3355);
  dragstate = 1;
  mdownx = x == 0 ? 1.0f : static_cast<float>(x);
  dosamplein();
  if (button == ui::kRightButton && onesecmode == 0) extdo();
}

void Waveform::wd_MouseMove(int row, int button, int shift, double x, double y) {
  (void)shift, (void)x, (void)y;
  shell::MainForm& f = sys_.form;
  const int k = shownTrack(row);
  if (dragstate == 0 || tkwavhide[k - 1] == 1 || f.R[row - 1]->foreColor() == colour::kRed ||
      playing() || smpvalid == 0 || button != ui::kLeftButton)
    return;
  dragstate = 2;
  ui::Shape& rect = *f.selrect[row - 1];
  // The selection stops at the panel's right edge.
  const double room = f.wd[row - 1]->left() + f.wd[row - 1]->width() - rect.left();
  rect.setWidth(std::max(1.0, std::min(rect.width() + 19, room)));
  selwidth = platform::sat16(rect.width());
}

void Waveform::wd_MouseUp(int row, int button, int shift, double x, double y) {
  (void)button, (void)shift, (void)y;
  shell::MainForm& f = sys_.form;
  const int k = shownTrack(row);
  // Each accepted press lets one release act at most.
  const int16_t state = dragstate;
  dragstate = 0;
  if (state == 0 || state == 1 || f.R[row - 1]->foreColor() == colour::kRed || playing() ||
      tkwavdrawn[k - 1] == 0 || tkwavhide[k - 1] == 1)
    return;
  mupx = static_cast<float>(x);
  curtrkfile = sys_.shell->tkfname[k - 1];
  dragstate = state;
  do3sec_mseup();
  dragstate = 0;
  if (onesecmode != 1) {
    f.setPointer(ui::Pointer::Hourglass);
    redrawPage();
    f.setPointer(ui::Pointer::Arrow);
  }
}

namespace {
// Writes `n` zero samples into the track `path` from sample `first` when its first byte lies
// inside the file; a track that is not plain is refused, a failure shows the file failure box.
bool zeroRun(Waveform& w, const std::string& path, int64_t first, int64_t n) {
  const int64_t len = platform::fileLen(path);
  if (len >= 0 && !w.trackFormatOk(path)) return false;
  if (len >= 0 && (kHeaderBytes + 2 * first >= len || n <= 0)) return true;
  if (len >= 0 && putCopies(path, std::vector<int16_t>(static_cast<size_t>(n), 0), first, 1, 0, false))
    return true;
  ui::msgBox(kFileFailed);
  return false;
}
}  // namespace

void Waveform::do3sec_mseup() {
  shell::MainForm& f = sys_.form;
  for (auto* r : f.selrect) r->setWidth(1);
  if (dragstate != 2) {
    smpvalid = 0;
    return;
  }
  if (onesecmode == 1) return onesec_mseup();
  if (mupx < mdownx) return;
  const int32_t s = std::max(onesecstart - 1000, 0);
  onesecstart = s;
  const int64_t n = roundHalfEven(static_cast<double>(int64_t{selwidth} * kPageSamples) / 6255) + 1;
  const int64_t first = static_cast<int64_t>(wavpage - 1) * kPageSamples + s;
  smpvalid = 0;
  zeroRun(*this, curtrkfile, first, n);
}

void Waveform::onesec_mseup() {
  const int64_t e = roundHalfEven(static_cast<double>(mupx) * kSecondSamples / 7655) + 1000;
  int64_t s = std::max<int64_t>(roundHalfEven(static_cast<double>(mdownx) * kSecondSamples / 7655), 0);
  if (s > e) {
    onesecstart = 0;
    return wvlbl_Click();
  }
  if (s < 600) s = 0;
  onesecstart = static_cast<int32_t>(s);
  const int64_t n = roundHalfEven(static_cast<double>(int64_t{selwidth} * kSecondSamples) / 7655) + 1;
  const int64_t w = (static_cast<int64_t>(viewmin()) * 60 + viewsec()) * kSecondSamples;
  if (!zeroRun(*this, curtrkfile, w + s, n)) return;  // stays in the 1-second view
  wvlbl_Click();
}

void Waveform::wd_Click(int row) {
  shell::MainForm& f = sys_.form;
  const int k = shownTrack(row);
  f.setScaleMode(ui::ScaleMode::Pixels);
  if (sys_.transport->recbusy() || f.R[row - 1]->foreColor() == colour::kRed ||
      tkwavdrawn[k - 1] == 0 || playing() || onesecmode == 1 || tkwavhide[k - 1] == 1)
    return;
  if (rgeisdisp == 1) {
    rgeisdisp = 2;
    curtrkfile = sys_.shell->tkfname[k - 1];
    f.sov->setText(str(clicksmp));
  } else if (rgeisdisp == 2) {
    rgeisdisp = 3;
    f.tov->setText(str(k));
    f.ptv->setText(str(clicksmp));
  } else {
    curtrkfile = sys_.shell->tkfname[k - 1];
    rgeisdisp = 1;
    f.siv->setText(str(clicksmp));
    for (ui::TextBox* b : {f.sov, f.ptv, f.tov, f.intervalval, f.repeatval}) b->setText("");
    f.srct->setText(str(k));
  }
}

void Waveform::blanks() {
  shell::MainForm& f = sys_.form;
  for (ui::TextBox* b : {f.siv, f.sov, f.ptv, f.srct, f.repeatval, f.intervalval, f.bpmv, f.bpminv,
                         f.tov, f.bvol, f.cvol})
    b->setText("");
}

// ---- show and hide ---------------------------------------------------------------------------

void Waveform::tglwav(int track) {
  shell::MainForm& f = sys_.form;
  const int row = track <= kRows ? track : track - kRows;
  if (playing() || f.R[row - 1]->foreColor() == colour::kRed || onesecmode == 1) return;
  blanks();
  tkwavhide[track - 1] = tkwavhide[track - 1] == 0 ? 1 : 0;
  redrawPage();
}

void Waveform::hidewavs_Click() {
  shell::MainForm& f = sys_.form;
  if (playing() || onesecmode == 1) return;
  const std::string caption = f.hidewavs->caption();
  int16_t flag;
  if (caption == "SW") {
    f.hidewavs->setCaption("HW");
    flag = 0;
  } else if (caption == "HW") {
    f.hidewavs->setCaption("SW");
    flag = 1;
  } else {
    return;
  }
  if (f.t0114->foreColor() == colour::kWhite) std::fill_n(tkwavhide.begin(), kRows, flag);
  if (f.t1528->foreColor() == colour::kWhite) std::fill_n(tkwavhide.begin() + kRows, kRows, flag);
  redrawPage();
}

}  // namespace waveform

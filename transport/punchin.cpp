// The start point: the punch-in dialog Form2 (a minute and a second picked or typed), the
// start-point label Punchins (the dialog's time, or the song clock's while something runs), the
// zero button, and the jump of the 3-second waveform view to a minute and second.
#include <algorithm>
#include <cstdint>
#include <string>

#include "app/application.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "shell/main_form.h"
#include "transport/transport.h"
#include "waveform/waveform.h"

namespace transport {

namespace ui = platform::ui;
namespace colour = platform::ui::colour;

namespace {

constexpr const char* kDialogName = "Form2";
constexpr const char* kDialogTitle = "             Min     Sec  ";
constexpr double kDialogWidth = 3075, kDialogHeight = 2220;
constexpr const char* kZeroText =
    " Start point re-set to zero. Click From time box while PLAY enabled to set new start point. ";
constexpr const char* kSetTail =
    "  Click again while PLAY enabled to reset. Click -->> 0 button <<-- to start from song "
    "beginning.";

// A picking label of the dialog: its name, caption, place, and the box it fills.
struct Pick {
  const char* name;
  const char* caption;
  double left, top;
  bool minute;
  const char* tip;
};

constexpr double kPickLeft = 120, kPickStep = 360, kPickSize = 255;

const Pick kPicks[] = {
    {"one", "1", 120, 1080, true, "Click; minute"}, {"two", "2", 480, 1080, true, ""},
    {"three", "3", 840, 1080, true, ""},            {"four", "4", 1200, 1080, true, ""},
    {"five", "5", 1560, 1080, true, ""},            {"six", "6", 1920, 1080, true, ""},
    {"seven", "7", 2280, 1080, true, ""},           {"eight", "8", 2640, 1080, true, ""},
    {"oh3", "03", 120, 1320, false, "Click; seconds."}, {"oh6", "06", 480, 1320, false, ""},
    {"oh9", "09", 840, 1320, false, ""},            {"oh12", "12", 1200, 1320, false, ""},
    {"oh15", "15", 1560, 1320, false, ""},          {"oh18", "18", 1920, 1320, false, ""},
    {"oh21", "21", 2280, 1320, false, ""},          {"oh24", "24", 2640, 1320, false, ""},
    {"oh27", "27", 120, 1560, false, ""},           {"oh30", "30", 480, 1560, false, ""},
    {"oh33", "33", 840, 1560, false, ""},           {"oh36", "36", 1200, 1560, false, ""},
    {"oh39", "39", 1560, 1560, false, ""},          {"oh42", "42", 1920, 1560, false, ""},
    {"oh45", "45", 2280, 1560, false, ""},          {"Laoh48", "48", 2640, 1560, false, ""},
    {"oh51", "51", 120, 1800, false, ""},           {"oh54", "54", 480, 1800, false, ""},
    {"oh57", "57", 840, 1800, false, ""},
};

// The labels' number without a leading zero ("03" -> "3").
std::string number(const char* caption) {
  return platform::str(static_cast<int64_t>(platform::val(caption)));
}

}  // namespace

Transport::~Transport() {
  if (form2_) sys_.app.releaseForm(std::unique_ptr<ui::Form>(form2_));
}

void Transport::wirePunchIn() {
  shell::MainForm& f = sys_.form;
  f.Pinbtn->onClick = [this] { Pinbtn_Click(); };
  f.Punchins->onClick = [this] { Punchins_Click(); };
  f.Zeroelap->onClick = [this] { Zeroelap_Click(); };
  // "" while the dialog is unloaded, else whether it takes clicks.
  sys_.app.registerVar("form2enabled", [this] {
    return form2_ ? std::string(form2_->enabled() ? "true" : "false") : std::string();
  });
}

void Transport::buildForm2() {
  auto form = std::make_unique<ui::Form>(kDialogName);
  ui::Form& d = *form;
  d.setTitle(kDialogTitle);
  d.resize(kDialogWidth, kDialogHeight);
  d.setBackColor(colour::kGrey);
  for (const char* name : {"Minenter", "Secenter"}) {
    const bool min = name[0] == 'M';
    ui::TextBox& b = d.addTextBox(name, "", min ? 1080 : 1680, 30, 300, 285);
    b.setBackColor(colour::kBlack);
    b.setForeColor(colour::kWhite);
    b.setToolTip(min ? "Enter minute - eg : 02." : "Enter seconds - eg : 07.");
  }
  ui::Label& punch = d.addLabel("punchlbl", " Click - Set new punch-in.", 120, 360, 2775, 255);
  punch.setToolTip("Click; Sets Vemra to new punch-in time for next rec or play.");
  ui::Label& just = d.addLabel("justwl", " Click - show waves only.", 120, 720, 2775, 255);
  just.setToolTip("Click; moves to time in waveforms. Punch-in unaffected.");
  for (ui::Label* l : {&punch, &just}) {
    l->setBackColor(colour::kGrey);
    l->onClick = [this, l] { l->name() == "punchlbl" ? punchlbl_Click() : justwl_Click(); };
  }
  for (const Pick& p : kPicks) {
    ui::Label& l = d.addLabel(p.name, p.caption, p.left, p.top, kPickSize, kPickSize);
    l.setBackColor(colour::kBlack);
    l.setForeColor(colour::kCyan);
    if (*p.tip) l.setToolTip(p.tip);
    const std::string box = p.minute ? "Minenter" : "Secenter", text = number(p.caption);
    l.onClick = [this, box, text] { form2_->at(box).setText(text); };
  }
  ui::Label& hint = d.addLabel("Label1", "Click times or manually", 1200, 1800, 1695, 255);
  hint.setBackColor(colour::kGrey);
  hint.setFont({{}, 7.5});  // the window's font runs it past the label's right edge
  // The input-port menu of the multiple-inputs mode: carried, never shown (the mode is off).
  ui::Menu& ports = d.addMenu("mnumultis");
  for (int n = 1; n <= 16; ++n) ports.addItem("mnu" + platform::twoDigits(n), platform::twoDigits(n));
  ports.setVisible(false);
  d.onUnload = [this](int&) { unloadForm2(); };
  sys_.app.registerForm(d);
  form2_ = form.release();
}

void Transport::unloadForm2() {
  if (!form2_) return;
  ui::Form* d = form2_;
  form2_ = nullptr;
  d->onUnload = nullptr;
  d->hide();
  sys_.app.releaseForm(std::unique_ptr<ui::Form>(d));
}

bool Transport::form2Open() const { return form2_ && form2_->visible() && form2_->enabled(); }

void Transport::Pinbtn_Click() {
  if (sys_.form.PLAY->foreColor() == colour::kRed) return;
  if (!form2_) buildForm2();
  form2_->load();
  form2_->show();
  form2_->setEnabled(true);
}

void Transport::punchlbl_Click() {
  Punchins_Click();
  unloadForm2();
}

void Transport::justwl_Click() {
  justwl();
  unloadForm2();
}

void Transport::Punchins_Click() {
  shell::MainForm& f = sys_.form;
  if (mixplaying_) return;
  int32_t hrs = pinhrs_, mins = pinmins_, secs = pinsecs_;
  if (form2Open()) {
    form2_->setEnabled(false);
    // Below 0 is out of range as above the limits: the previous value stays.
    const double m = platform::val(form2_->at("Minenter").text());
    if (m >= 0 && m < 9) mins = static_cast<int32_t>(platform::roundHalfEven(m));
    const double s = platform::val(form2_->at("Secenter").text());
    if (s >= 0 && s < 60) secs = static_cast<int32_t>(platform::roundHalfEven(s));
  } else if (f.PLAY->foreColor() == colour::kYellow) {
    return;
  } else {
    // The clock stands one second before the start point until its first step: never below 0.
    hrs = std::max(elaphrs_, 0);
    mins = std::max(elapmins_, 0);
    secs = std::max(elapsecs_, 0);
  }
  setStartPoint(hrs, mins, secs);
  ++startPointSets_;
  f.Punchins->setCaption(clockText(pinhrs_, pinmins_, pinsecs_));
  f.Umsg->setCaption(" Start point set to -->>" + clockText(elaphrs_, pinmins_, pinsecs_) +
                     kSetTail);
  viewJump(pinmins_, pinsecs_);
}

void Transport::justwl() {
  if (mixplaying_ || recbusy_ || !form2_) return;
  const double m = platform::val(form2_->at("Minenter").text());
  const double s = platform::val(form2_->at("Secenter").text());
  const auto inRange = [](double v, double limit) {
    return v >= 0 && v < limit ? static_cast<int32_t>(platform::roundHalfEven(v)) : 0;
  };
  viewJump(inRange(m, 5), inRange(s, 60));
}

void Transport::viewJump(int32_t minute, int32_t second) {
  // While something runs the view keeps its page: the time line and the page drawn agree.
  if (sys_.form.PLAY->foreColor() == colour::kRed) return;
  waveform::Waveform& w = *sys_.waveform;
  const int16_t m = platform::sat16(int64_t{minute});
  const int16_t s = platform::sat16(int64_t{second});
  int16_t b = w.wvlblsave[1];
  if (s < 60) b = s < 3 ? 0 : static_cast<int16_t>(s / 3 * 3);
  w.wvlblsave = {m, b, static_cast<int16_t>(b + 1), static_cast<int16_t>(b + 2)};
  w.wavpage = platform::sat16(std::max<int64_t>(int64_t{m} * 20 + b / 3 + 1, 1));
  w.onesecmode = 1;
  w.wvlbl_Click();
  w.onesecmode = 0;
}

void Transport::Zeroelap_Click() {
  setStartPoint(0, 0, 0);
  ++startPointSets_;
  sys_.form.Umsg->setCaption(kZeroText);
  sys_.form.Punchins->setCaption(clockText(0, 0, 0));
}

}  // namespace transport

// The two pages of mixer rows. The 14 rows show tracks 01-14 or tracks 15-28; a switch stores
// what belongs to the page being left (names, knob positions, the values in its Tags, input
// ports) into the tables and puts the other page's back into the same controls.
//
// Pans and volumes stay in Tags whatever the page: tracks 01-14 in P01..P14 / V01..V14 (and the
// mixdown values in P01L..V14L), tracks 15-28 in Shape1..Shape14 / wd01..wd14. Only knob
// positions, names and ports of the hidden page live in the tables alone.
#include <algorithm>
#include <array>
#include <string>
#include <type_traits>

#include "app/application.h"
#include "platform/files.h"
#include "platform/text.h"
#include "shell/main_form.h"
#include "shell/shell.h"
#include "transport/transport.h"
#include "waveform/waveform.h"

namespace shell {

namespace ui = platform::ui;
namespace colour = ui::colour;

namespace {

constexpr const char* kRecordT01First =
    " Please record T01 first. Then you can record T02 to 28 in any order.";

using platform::twoDigits;

enum class Elem { Knob, Pan, Vol, Mix };
struct Slot {
  ui::Control* control;
  Elem kind;
};

// The control that holds layouttab element e, and what the element is.
Slot slotOf(const MainForm& f, int e) {
  if (e < Shell::kPage2Base) {
    const int k = e / 6;
    switch (e % 6) {
      case 0: return {f.P[k], Elem::Knob};
      case 1: return {f.P[k], Elem::Pan};
      case 2: return {f.PL[k], Elem::Mix};
      case 3: return {f.V[k], Elem::Knob};
      case 4: return {f.V[k], Elem::Vol};
      default: return {f.VL[k], Elem::Mix};
    }
  }
  const int k = (e - Shell::kPage2Base) / 4;
  switch ((e - Shell::kPage2Base) % 4) {
    case 0: return {f.P[k], Elem::Knob};
    case 1: return {f.V[k], Elem::Knob};
    case 2: return {f.selrect[k], Elem::Pan};
    default: return {f.wd[k], Elem::Vol};
  }
}

// Knob positions of element e are those of the rows only while e's page is in them.
bool knobInRows(int e, bool rows1528) { return (e >= Shell::kPage2Base) == rows1528; }

std::string joined(const auto& values, const char* sep) {
  std::string s;
  for (const auto& v : values) {
    if (!s.empty()) s += sep;
    if constexpr (std::is_integral_v<std::decay_t<decltype(v)>>) s += platform::str(v);
    else s += v;
  }
  return s;
}

}  // namespace

void Shell::wirePages() {
  form_.t0114->onClick = [this] { t0114_Click(); };
  form_.t1528->onClick = [this] { t1528_Click(); };
  app::Application& a = sys_.app;
  a.registerVar("page1528", [this] { return std::string(page1528() ? "1" : "0"); });
  a.registerVar("trknames", [this] {
    std::array<std::string, kTracks> shown;
    for (int t = 0; t < kTracks; ++t) shown[t] = platform::fromCp1252(trknames[t]);
    return joined(shown, "|");
  });
  a.registerVar("layouttab", [this] { return joined(layouttab, " "); });
  a.registerVar("inports", [this] { return joined(inports, " "); });
}

bool Shell::page1528() const { return form_.t1528->foreColor() == colour::kWhite; }

void Shell::t0114_Click() { showPage(false); }
void Shell::t1528_Click() { showPage(true); }

bool Shell::trackFileListed(int t) const {
  const auto listed = platform::dirOne(tkfname[t - 1]);
  const std::string nn = twoDigits(t);
  return listed && *listed == "T" + nn + ".wav";
}

void Shell::takeElements(int first, int last, bool rows1528) {
  for (int e = first; e < last; ++e) {
    const Slot s = slotOf(form_, e);
    if (s.kind == Elem::Knob) {
      if (knobInRows(e, rows1528)) layouttab[e] = platform::sat16(s.control->left());
    } else {
      layouttab[e] = platform::sat16(platform::val(s.control->tag()));
    }
  }
}

void Shell::putElements(int first, int last, bool rows1528) {
  // A value out of range (a file of another origin) is brought within range in the table as
  // well as in its control, so that what is saved is what is used.
  auto within = [](int16_t& v, int lo, int hi) {
    v = static_cast<int16_t>(std::clamp<int>(v, lo, hi));
    return v;
  };
  for (int e = first; e < last; ++e) {
    const Slot s = slotOf(form_, e);
    int16_t& v = layouttab[e];
    switch (s.kind) {
      case Elem::Knob:
        within(v, kKnobMin, kKnobMax);
        if (knobInRows(e, rows1528)) s.control->setLeft(v);
        break;
      case Elem::Pan: s.control->setTag(platform::str(within(v, kPanMin, kPanMax))); break;
      case Elem::Vol: s.control->setTag(platform::str(within(v, kVolMin, kVolMax))); break;
      case Elem::Mix: s.control->setTag(platform::str(v)); break;
    }
  }
}

void Shell::storeNames(bool rows1528) {
  const int base = rows1528 ? kRows : 0;
  for (int k = 0; k < kRows; ++k)
    trknames[base + k] = platform::fixedLen(platform::toCp1252(form_.N[k]->text()), kNameLen);
}

void Shell::showNames(bool rows1528, int known) {
  const int base = rows1528 ? kRows : 0;
  for (int k = 0; k < kRows && base + k < known; ++k)
    form_.N[k]->setText(platform::fromCp1252(platform::fixedLen(trknames[base + k], kNameLen)));
}

void Shell::showPage(bool page2) {
  // Refused silently while anything plays or records, when the page is already shown, or in
  // the 1-second view.
  transport::Transport& tp = *sys_.transport;
  waveform::Waveform& wv = *sys_.waveform;
  if (form_.PLAY->foreColor() == colour::kRed || tp.recbusy() || tp.mixplaying()) return;
  if ((page2 ? form_.t1528 : form_.t0114)->foreColor() == colour::kWhite) return;
  if (wv.onesecmode == 1) return;
  // Tracks 15-28 only once track 01 is recorded.
  if (page2 && !trackFileListed(1)) {
    ui::msgBox(kRecordT01First);
    return;
  }

  if (!page2) form_.setPointer(ui::Pointer::Hourglass);
  form_.t0114->setForeColor(page2 ? colour::kBlack : colour::kWhite);
  form_.t1528->setForeColor(page2 ? colour::kWhite : colour::kBlack);
  if (page2) form_.setPointer(ui::Pointer::Hourglass);

  for (auto* panel : form_.wd) panel->setEnabled(true);
  wv.clearViewFlags();  // every hidden waveform of either page is shown again
  // The rows change owner: nothing drawn for the old page may stay in them.
  form_.cls();
  if (page2) form_.hidewavs->setCaption("HW");
  wv.Form_Paint();
  for (auto* rec : form_.R) rec->setForeColor(colour::kRed);
  form_.Umsg->setCaption(page2 ? " Work on tracks 15 to 28. Ready."
                               : " Work on tracks 01 to 14. Ready.");

  storeNames(!page2);
  showNames(page2);
  if (page2) {
    takeElements(0, kPage2Base, false);
    putElements(kPage2Base, kLayoutLen, true);
  } else {
    takeElements(kPage2Base, kLayoutLen, true);
    putElements(0, kPage2Base, false);
  }

  const int oldBase = page2 ? 0 : kRows, newBase = page2 ? kRows : 0;
  for (int k = 0; k < kRows; ++k)
    inports[oldBase + k] = platform::sat16(platform::val(form_.ip[k]->caption()));
  for (int k = 0; k < kRows; ++k) form_.ip[k]->setCaption(platform::str(inports[newBase + k]));

  for (int k = 0; k < kRows; ++k) {
    const std::string nn = twoDigits(newBase + k + 1);
    form_.R[k]->setCaption("R" + nn);
    form_.Fun[k]->setCaption("F" + nn);
  }
  for (int k = 0; k < kRows; ++k) {
    const int t = newBase + k + 1;
    if (trackFileListed(t)) {
      form_.R[k]->setForeColor(colour::kBlue);
      wv.wvdispt(t);
    } else if (page2) {
      form_.R[k]->setForeColor(colour::kRed);
    }
  }
  if (page2) form_.hidewavs->setCaption("HW");
  form_.setPointer(ui::Pointer::Arrow);
}

}  // namespace shell

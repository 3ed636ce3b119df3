// The pan and volume faders of the 14 mixer rows, their automation modes, step entry and the
// centring of a row's pan. One handler serves all 28 strips: a row's controls differ only by
// index, a fader's key only by its row and kind.
#include <algorithm>
#include <array>

#include "app/application.h"
#include "engine/engine.h"
#include "mixer/mixer.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "shell/main_form.h"
#include "transport/transport.h"

namespace mixer {

namespace ui = platform::ui;
namespace colour = ui::colour;

namespace {

bool inDetent(int knob) { return knob > 166 && knob < 170; }

}  // namespace

std::optional<int> Mixer::knobFor(double x) {
  if (x < kBandFrom || x > kBandTo) return std::nullopt;
  const int p = static_cast<int>(platform::roundHalfEven(x * 100 / 1455 + 117.5)) - 1;
  if (p < kKnobMin) return kKnobMin + 1;
  return std::min(p, kKnobMax);
}

int32_t Mixer::panValue(int knob) {
  int32_t v = inDetent(knob) ? 0 : (knob - 121) * 220 - 10000;
  v = std::clamp<int32_t>(v, -10000, 10000);
  return static_cast<int32_t>(platform::roundHalfEven(v / 2.0));
}

int32_t Mixer::panMix(int knob) { return inDetent(knob) ? kPanCentreMix : (knob - 121) * 348; }

int32_t Mixer::volValue(int knob) {
  const int t = knob - 120;
  if (t < 2) return -10000;
  if (t > 92) return 0;
  if (inDetent(knob)) return -1536;
  return -32 * (94 - t);
}

int32_t Mixer::volMix(int knob) {
  const int32_t m = (knob - 120) * 30;
  return m < 100 ? 1 : m;
}

std::string Mixer::key(Fader kind, int row) {
  return std::string("T").append(platform::twoDigits(row)).append(kind == Fader::Pan ? "P" : "V");
}

void Mixer::wire() {
  shell::MainForm& f = sys_.form;
  for (int r = 1; r <= kRows; ++r) {
    f.PL[r - 1]->onMouseDown = [this, r](int b, int s, double x, double y) {
      faderMouseDown(Fader::Pan, r, b, s, x, y);
    };
    f.VL[r - 1]->onMouseDown = [this, r](int b, int s, double x, double y) {
      faderMouseDown(Fader::Vol, r, b, s, x, y);
    };
  }
  ui::Label* pv[] = {f.vp1, f.vp2, f.vp3};
  for (int k = 1; k <= 3; ++k) pv[k - 1]->onClick = [this, k] { vp_Click(k); };

  // Every automation point stored so far, as KEY@SECOND:ENTRY (blanks at the end dropped).
  sys_.app.registerVar("autopoints", [this] {
    std::string all;
    if (!sys_.engine) return all;
    for (Fader kind : {Fader::Pan, Fader::Vol})
      for (int r = 1; r <= kRows; ++r) {
        const auto* table = sys_.engine->autotable(key(kind, r));
        for (size_t i = 0; table && i < table->size(); ++i) {
          std::string e = (*table)[i];
          e.erase(e.find_last_not_of(' ') + 1);
          if (e.empty()) continue;
          if (!all.empty()) all += ' ';
          all += key(kind, r) + "@" + std::to_string(i) + ":" + e;
        }
      }
    return all;
  });
}

bool Mixer::recording() const { return sys_.transport && sys_.transport->recbusy(); }
bool Mixer::playing() const { return sys_.form.PLAY->foreColor() == colour::kRed; }
bool Mixer::page1528() const { return sys_.form.t1528->foreColor() == colour::kWhite; }

void Mixer::faderMouseDown(Fader kind, int row, int button, int /*shift*/, double x,
                           double /*y*/) {
  if (row < 1 || row > kRows) return;
  shell::MainForm& f = sys_.form;
  const int i = row - 1;
  const bool pan = kind == Fader::Pan;
  ui::Label& strip = *(pan ? f.PL : f.VL)[i];

  // The right button steps the automation mode, on either page, at any time.
  if (button == ui::kRightButton) {
    const std::string mode = strip.caption();
    const char* next = mode.empty() ? "R" : mode == "R" ? "P" : mode == "P" ? "" : nullptr;
    if (next) {
      strip.setCaption(next);
      return;
    }
  }

  const auto knob = knobFor(x);
  if (!knob) return;
  const bool rows1528 = page1528();
  ui::Shape& knobShape = *(pan ? f.P : f.V)[i];
  const int32_t value = pan ? panValue(*knob) : volValue(*knob);
  knobShape.setLeft(*knob);
  if (rows1528) {
    // The row shows track row + 14: its value lives in the row's holder; the strip's and the
    // knob's Tags keep track row's values.
    ui::Control& holder = pan ? static_cast<ui::Control&>(*f.selrect[i]) : *f.wd[i];
    holder.setTag(platform::str(value));
  } else {
    strip.setTag(platform::str(pan ? panMix(*knob) : volMix(*knob)));
    knobShape.setTag(platform::str(value));
  }

  // A recording took its values when it started: the new ones wait for the next start.
  if (recording()) return;
  if (playing() && sys_.engine) {
    sys_.engine->getmixvals();
    sys_.engine->setpanvol();
  }
  if (!rows1528) stepEntry(kind, row, *knob);
}

// With a PV button armed, the fader's new position and value become its automation point for
// the armed second; the engine stores it and disarms the buttons.
void Mixer::stepEntry(Fader kind, int row, int knob) {
  shell::MainForm& f = sys_.form;
  const std::array<ui::Label*, 3> pv{f.vp1, f.vp2, f.vp3};
  const bool armed = std::any_of(pv.begin(), pv.end(),
                                 [](const ui::Label* b) { return b->foreColor() == colour::kRed; });
  if (!armed || !sys_.engine) return;
  f.vp1->setTag(key(kind, row));
  f.vp2->setTag(platform::str(knob));
  sys_.engine->autostore();
}

void Mixer::vp_Click(int k) {
  if (k < 1 || k > 3) return;
  if (recording() || playing() || page1528()) return;
  shell::MainForm& f = sys_.form;
  const std::array<ui::Label*, 3> pv{f.vp1, f.vp2, f.vp3};
  const std::array<ui::Label*, 3> secs{f.Label2, f.Label3, f.Label4};
  ui::Label& b = *pv[k - 1];
  if (b.foreColor() == colour::kRed) {
    for (ui::Label* o : pv) o->setForeColor(colour::kBlack);
    return;
  }
  for (ui::Label* o : pv) o->setForeColor(o == &b ? colour::kRed : colour::kBlack);
  // The song second shown over the button: minute x 60 + second.
  const double idx = platform::val(f.Label1->caption()) * 60 + platform::val(secs[k - 1]->caption());
  f.vp3->setTag(platform::str(platform::roundHalfEven(idx)));
}

void Mixer::cpanrow(int row) {
  if (row < 1 || row > kRows) return;
  shell::MainForm& f = sys_.form;
  f.P[row - 1]->setTag("0");
  f.PL[row - 1]->setTag(platform::str(kPanCentreMix));
}

}  // namespace mixer

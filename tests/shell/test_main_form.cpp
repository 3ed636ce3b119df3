#include <algorithm>
// The mixer display in its design state: names, captions, colours, Tags, tooltips, geometry and
// a layout that fits an 800 x 600 screen without controls lying on one another.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "app/application.h"
#include "platform/app_loop.h"
#include "platform/clock.h"
#include "platform/mci.h"
#include "platform/ui.h"
#include "shell/main_form.h"
#include "tests/support/program_fixture.h"

namespace {

namespace ui = platform::ui;
using shell::MainForm;

using test_support::nn;

// Geometry in twips whatever the control's unit.
struct Rect {
  double l, t, r, b;
};
Rect twips(const ui::Control& c) {
  const double k = c.unit() == ui::Unit::Pixels ? ui::kTwipsPerPixel : 1;
  return {c.left() * k, c.top() * k, (c.left() + c.width()) * k, (c.top() + c.height()) * k};
}
bool overlap(const Rect& a, const Rect& b) {
  return a.l < b.r && b.l < a.r && a.t < b.b && b.t < a.b;
}
bool inside(const Rect& in, const Rect& out) {
  return in.l >= out.l && in.r <= out.r && in.t >= out.t && in.b <= out.b;
}
// Left, top, width and height in the control's own unit.
void expectBox(const ui::Control& c, double l, double t, double w, double h) {
  EXPECT_EQ(std::tuple(c.left(), c.top(), c.width(), c.height()), std::tuple(l, t, w, h))
      << c.name();
}
bool clickable(const ui::Control& c) {
  return c.kind() == ui::Kind::Label || c.kind() == ui::Kind::TextBox;
}
bool placed(const ui::Control& c) {
  return c.kind() == ui::Kind::Label || c.kind() == ui::Kind::TextBox ||
         c.kind() == ui::Kind::Shape;
}

class MainFormTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { platform::ensureApplication(); }
  MainForm form;
};

constexpr int64_t kAny = -1;
constexpr const char* kUnchecked = nullptr;

struct Design {
  const char* name;
  ui::Kind kind;
  const char* caption;  // caption or text; kUnchecked to skip
  int64_t fore;         // kAny to skip
  const char* tag;      // kUnchecked to skip
  const char* tip;      // "" means none
  bool visible;
};

const Design kDesign[] = {
    {"PLAY", ui::Kind::Label, "PLAY", 65535, kUnchecked, "", true},
    {"RPSTOP", ui::Kind::Label, "STOP", 255, kUnchecked, "", true},
    {"Elapset", ui::Kind::Label, "Elapsed", kAny, kUnchecked,
     "Elapsed time of song from zero. Click me to pause/continue playback.", true},
    {"ffwd", ui::Kind::Label, ">>", kAny, "0", "Fast forward (hold down/release button.)", true},
    {"frev", ui::Kind::Label, "<<", kAny, kUnchecked, "Fast back (hold down/release button.)", true},
    {"anyp", ui::Kind::Label, "", kAny, kUnchecked, "click; plays tracks from any time.", true},
    {"anyb", ui::Kind::Shape, kUnchecked, kAny, "0", "", true},
    {"prind", ui::Kind::Shape, kUnchecked, kAny, kUnchecked, "", false},
    {"pfrom", ui::Kind::Label, "P all", kAny, kUnchecked,
     "Click; Plays/stops all waveforms from time at begin of time-line.", true},
    {"Punchins", ui::Kind::Label, "From", kAny, kUnchecked,
     "Click while Playing ; Sets playback time.", true},
    {"Zeroelap", ui::Kind::Label, "O", kAny, kUnchecked,
     "Click; Sets PLAY and RECORD start to beginning of song.", true},
    {"Split", ui::Kind::Label, "MX-->1/2", kAny, kUnchecked, "", true},
    {"DF1", ui::Kind::Label, "KF1", kAny, kUnchecked, "", false},
    {"QUIT", ui::Kind::Label, "QUIT ", 0, kUnchecked, "", true},
    {"HLPDOC", ui::Kind::Label, "HELP", kAny, kUnchecked, "Click; Displays detailed ON-LINE help.", true},
    {"Umsg", ui::Kind::Label,
     "WELCOME - IF A FIRST TIME USER PLEASE CLICK ON HELP BEFORE RECORDING.", kAny, kUnchecked,
     "Messages to user, and waveform sample numbers.", true},
    {"tiplbl", ui::Kind::Label, "", kAny, kUnchecked, "Click me for more tips.", true},
    {"monolbl", ui::Kind::Label, "MONO", 0, kUnchecked,
     "Click; Real time mix in mono. Red - mono enabled.", true},
    {"old", ui::Kind::Label, "O", kAny, kUnchecked,
     "Click; Other programs. eg : external editor, windows mixer, explorer.", true},
    {"t0114", ui::Kind::Label, "01-14", 0xFFFFFF, kUnchecked, "Click; For mixer tracks T01 to T14", true},
    {"t1528", ui::Kind::Label, "15-28", 0, kUnchecked, "Click; For mixer tracks T15 to T28", true},
    {"onesec", ui::Kind::Label, "1sec", kAny, kUnchecked, "zoom 1 sec", true},
    {"Label1", ui::Kind::Label, "0", kAny, kUnchecked, "Minutes", true},
    {"Label16", ui::Kind::Label, ".", kAny, kUnchecked, "", true},
    {"Label4", ui::Kind::Label, "2", kAny, kUnchecked, "", true},
    {"wvlbl", ui::Kind::Label, "", kAny, kUnchecked, "", true},
    {"vp2", ui::Kind::Label, "PV", 0, kUnchecked, "see HELP for usage.", true},
    {"rgervl", ui::Kind::Label, "RR", kAny, kUnchecked,
     "Click; Reverses sample range (Max 1min -  eg : backward cymbals !!). Enter/click start and "
     "end smples.",
     true},
    {"vptl", ui::Kind::Label, "V+", kAny, kUnchecked,
     "Click; Boosts vol of start to end range in From tk.(enter 1 to 99 in V++ box). 1 min max .",
     true},
    {"lsp08", ui::Kind::Label, "SP08", 0, kUnchecked,
     "Click: use this smpl for pastes (red = active).", true},
    {"spw", ui::Kind::TextBox, "", kAny, kUnchecked,
     "Enter sample id ( 14 to 99) and click on BOX. Right Click on tk waveform panel to paste.",
     true},
    {"tov", ui::Kind::TextBox, "", kAny, kUnchecked,
     "Destination track. Entered by Vemra when you double click on a different track to do paste.",
     true},
    {"multi", ui::Kind::Label, "MULT' INS", kAny, kUnchecked,
     " Click; For multi in enabled sound cards only. ", false},
    {"recmas", ui::Kind::Label, "RM", 255, kUnchecked, "Click; To record from multiple inputs.",
     false},
    {"Label6", ui::Kind::Label, kUnchecked, kAny, kUnchecked, "", false},
    {"Shape15", ui::Kind::Shape, kUnchecked, kAny, kUnchecked, "", false},
};

TEST_F(MainFormTest, EveryNamedControlHasItsDesignState) {
  EXPECT_EQ(form.name(), "FormMV2000");
  for (const Design& d : kDesign) {
    SCOPED_TRACE(d.name);
    ui::Control* c = form.find(d.name);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->kind(), d.kind);
    if (d.caption) { EXPECT_EQ(c->caption(), d.caption); }
    if (d.fore != kAny) { EXPECT_EQ(c->foreColor(), d.fore); }
    if (d.tag) { EXPECT_EQ(c->tag(), d.tag); }
    if (d.tip) { EXPECT_EQ(c->toolTip(), d.tip); }
    EXPECT_EQ(c->visible(), d.visible);
    EXPECT_TRUE(c->enabled());
  }
  // The state the other subsystems read from colours.
  EXPECT_EQ(form.anyb->fillColor(), 255);
  EXPECT_EQ(form.PLAY->foreColor(), ui::colour::kYellow);  // playon off
  EXPECT_NE(form.Mutemix->foreColor(), ui::colour::kRed);  // no master yet
  EXPECT_EQ(form.ST01->foreColor(), ui::colour::kRed);     // no stereo track yet
  // Nothing of the waveform editor has a value yet.
  for (ui::TextBox* b : {form.siv, form.sov, form.ptv, form.srct, form.tov, form.repeatval,
                         form.intervalval, form.bpmv, form.bpminv, form.bvol, form.cvol, form.spw})
    EXPECT_EQ(b->text(), "") << b->name();
}

TEST_F(MainFormTest, WindowTitleTimerAndOptionsMenu) {
  EXPECT_EQ(form.title(), std::string(" VemraCd Version 4.3") + std::string(23, ' ') +
                              "Real Time Multitrack Recording and Mixing Display.");
  EXPECT_EQ(form.Timer1->kind(), ui::Kind::Timer);
  EXPECT_EQ(form.Timer1->interval(), 1000);
  EXPECT_FALSE(form.Timer1->enabled());

  const std::vector<std::pair<std::string, std::string>> items = {
      {"mnuedit", "1. Display External audio editor - for advanced editing."},
      {"mnuwmix", "2. Display Windows mixer - for mixer settings."},
      {"mnuwexp", "3. Display Windows explorer - for copying tracks/mixes."},
      {"mnuwnote", "4. Display Notepad - for session notes."},
  };
  ASSERT_EQ(form.mnuoptions->items().size(), items.size());
  for (size_t i = 0; i < items.size(); ++i) {
    EXPECT_EQ(form.mnuoptions->items()[i]->name(), items[i].first);
    EXPECT_EQ(form.mnuoptions->items()[i]->caption(), items[i].second);
    EXPECT_EQ(form.find(items[i].first), form.mnuoptions->items()[i]);
  }
  EXPECT_EQ(form.mnuedit, form.mnuoptions->item("mnuedit"));
}

TEST_F(MainFormTest, NamesAreUniqueAndMembersPointAtThem) {
  std::set<std::string> names;
  for (ui::Control* c : form.controls()) EXPECT_TRUE(names.insert(c->name()).second) << c->name();
  for (int r = 1; r <= MainForm::kRows; ++r) {
    const int i = r - 1;
    const std::string s = nn(r);
    EXPECT_EQ(form.N[i], form.find("N" + s));
    EXPECT_EQ(form.R[i], form.find("R" + s));
    EXPECT_EQ(form.Fun[i], form.find("Fun" + s));
    EXPECT_EQ(form.PL[i], form.find("P" + s + "L"));
    EXPECT_EQ(form.P[i], form.find("P" + s));
    EXPECT_EQ(form.VL[i], form.find("V" + s + "L"));
    EXPECT_EQ(form.V[i], form.find("V" + s));
    EXPECT_EQ(form.wd[i], form.find("wd" + s));
    EXPECT_EQ(form.selrect[i], form.find("Shape" + std::to_string(r)));
    EXPECT_EQ(form.ip[i], form.find("ip" + s));
  }
  for (int j = 1; j <= 8; ++j) EXPECT_EQ(form.lsp[j - 1], form.find("lsp" + nn(j)));
  EXPECT_EQ(form.find("Shape15"), form.Shape15);
  EXPECT_EQ(form.find("Shape0"), nullptr);
  EXPECT_EQ(form.find("R15"), nullptr);  // tracks 15-28 reuse the rows: no controls of their own
}

TEST_F(MainFormTest, RowsHoldTheirDesignValuesAndGeometry) {
  for (int r = 1; r <= MainForm::kRows; ++r) {
    SCOPED_TRACE("row " + std::to_string(r));
    const int i = r - 1;
    const std::string s = nn(r);
    const double top = 1350 + 360.0 * i;

    EXPECT_EQ(form.N[i]->text(), "Track" + s);
    EXPECT_EQ(form.R[i]->caption(), "R" + s);
    EXPECT_EQ(form.R[i]->foreColor(), 255);
    EXPECT_EQ(form.Fun[i]->caption(), "F" + s);
    EXPECT_EQ(form.Fun[i]->toolTip().empty(), r != 1);

    // Pan strip and knob (the knob in pixels, 30 twips below the strip's top, at the centre).
    const ui::Label& pl = *form.PL[i];
    EXPECT_EQ(pl.unit(), ui::Unit::Twips);
    expectBox(pl, 1800, top, 1515, 135);
    EXPECT_EQ(pl.caption(), "");
    EXPECT_EQ(pl.foreColor(), 0xFFFFFF);
    EXPECT_EQ(pl.backColor(), 0x808080);
    EXPECT_EQ(pl.tag(), "16383");
    EXPECT_EQ(pl.toolTip(), r == 1 ? "Click; Sets pan." : "");
    const ui::Shape& p = *form.P[i];
    EXPECT_EQ(p.unit(), ui::Unit::Pixels);
    expectBox(p, 168, (top + 30) / 15, 5, 6);
    EXPECT_EQ(p.tag(), "0");

    // Volume strip under the pan strip, inside the row, knob alike.
    const ui::Label& vl = *form.VL[i];
    EXPECT_EQ(vl.left(), 1800);
    EXPECT_EQ(vl.width(), 1515);
    EXPECT_GE(vl.top(), pl.top() + pl.height());
    EXPECT_LE(vl.top() + vl.height(), top + 360);
    EXPECT_EQ(vl.foreColor(), 0xFFFFFF);
    EXPECT_EQ(vl.backColor(), 0x808080);
    EXPECT_EQ(vl.tag(), r == 1 ? "1500" : "-1500");
    EXPECT_EQ(vl.toolTip(), "Click; Sets volume.");
    const ui::Shape& v = *form.V[i];
    EXPECT_EQ(v.unit(), ui::Unit::Pixels);
    expectBox(v, 168, (vl.top() + 30) / 15, 5, 6);
    EXPECT_EQ(v.tag(), "-1500");
    // The knobs' whole travel (left edge 120 .. 215 px) lies on their strips.
    for (const auto& [strip, knob] : {std::pair{&pl, &p}, std::pair{&vl, &v}}) {
      Rect s = twips(*strip), k = twips(*knob);
      EXPECT_TRUE(inside({120 * 15.0, k.t, (215 + 5) * 15.0, k.b}, s)) << knob->name();
    }

    // Waveform panel, selection rectangle, input port.
    const ui::Label& w = *form.wd[i];
    expectBox(w, 3360, 1320 + 360.0 * i, 7500, 375);
    EXPECT_TRUE(w.transparent());
    EXPECT_TRUE(w.enabled());
    EXPECT_EQ(w.tag(), "-1500");
    const ui::Shape& sel = *form.selrect[i];
    EXPECT_EQ(sel.unit(), ui::Unit::Twips);
    expectBox(sel, 3360, top, 15, 315);
    EXPECT_FALSE(sel.visible());
    EXPECT_EQ(sel.tag(), "0");
    const ui::Label& port = *form.ip[i];
    EXPECT_EQ(port.caption(), "0");
    EXPECT_FALSE(port.visible());
    expectBox(port, 10905, 1440 + 360.0 * i, 120, 225);
    EXPECT_EQ(port.toolTip(), r == 1 ? "Click; Select port" : "");

    // The name, record and track buttons sit level with the row's faders, left of them.
    for (const ui::Control* c : {static_cast<const ui::Control*>(form.N[i]),
                                 static_cast<const ui::Control*>(form.R[i]),
                                 static_cast<const ui::Control*>(form.Fun[i])}) {
      Rect b = twips(*c);
      EXPECT_LE(b.r, 1800) << c->name();
      EXPECT_GE(b.t, top - 15) << c->name();
      EXPECT_LE(b.b, top + 345) << c->name();
    }
  }
  // Panels of neighbouring rows share their edge pixel, and 24 pixels separate the rows.
  EXPECT_EQ(form.wd[1]->top() - form.wd[0]->top(), 360);
}

TEST_F(MainFormTest, DocumentedPositionsOfSingleControls) {
  struct Geometry {
    const char* name;
    ui::Unit unit;
    double l, t, w, h;  // a negative top: not fixed
  };
  const Geometry fixed[] = {
      {"HLPDOC", ui::Unit::Twips, 1800, 600, 1080, 255},
      {"multi", ui::Unit::Twips, 240, 600, 870, 255},
      {"recmas", ui::Unit::Twips, 1200, 600, 345, 255},
      {"timeptr", ui::Unit::Pixels, 225, 82, 3, 5},
      {"anyb", ui::Unit::Pixels, 10, -1, 5, 6},
      {"anyp", ui::Unit::Twips, 0, -1, 10740, -1},
      {"wvlbl", ui::Unit::Twips, 3360, -1, 7500, -1},
      {"lsp01", ui::Unit::Twips, 2880, -1, 465, 255},
      {"lsp05", ui::Unit::Twips, 5280, -1, 465, 255},
      {"lsp08", ui::Unit::Twips, 7080, -1, 465, 255},
      {"ubox", ui::Unit::Twips, 7680, -1, 465, 255},
      {"spw", ui::Unit::Twips, 8280, -1, 330, 285},
  };
  for (const Geometry& g : fixed) {
    SCOPED_TRACE(g.name);
    const ui::Control& c = form.at(g.name);
    EXPECT_EQ(c.unit(), g.unit);
    EXPECT_EQ(c.left(), g.l);
    if (g.t >= 0) { EXPECT_EQ(c.top(), g.t); }
    EXPECT_EQ(c.width(), g.w);
    if (g.h >= 0) { EXPECT_EQ(c.height(), g.h); }
  }
  // The sample selectors share one line right under the last panel.
  const double panelsEnd = form.wd[13]->top() + form.wd[13]->height();
  for (const ui::Label* l : form.lsp) {
    EXPECT_EQ(l->top(), form.ubox->top());
    EXPECT_GE(l->top(), panelsEnd);
    EXPECT_LT(l->top(), panelsEnd + 360);
  }
  // The time labels stand over the starts of the three seconds, above the PV buttons, which
  // stand between them and the panels; the progress bar lies between the PV row and the panels.
  const ui::Label* secs[] = {form.Label2, form.Label3, form.Label4};
  const ui::Label* pvs[] = {form.vp1, form.vp2, form.vp3};
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(secs[k]->left(), 3360 + 2500 * k);
    EXPECT_GE(pvs[k]->left(), secs[k]->left());
    EXPECT_LT(pvs[k]->left() + pvs[k]->width(), 3360 + 2500 * (k + 1));
    EXPECT_LE(secs[k]->top() + secs[k]->height(), pvs[k]->top());
    EXPECT_LE(pvs[k]->top() + pvs[k]->height(), twips(*form.timeptr).t);
  }
  EXPECT_LE(twips(*form.timeptr).b, form.wd[0]->top());
  // The song-position pointer rides on its bar: the bar starts at the window's edge, so the
  // pointer's left edge (X x 718 / 10695 px of a click X twips into the bar) stands over the
  // click, and the pointer lies within the bar's height.
  Rect bar = twips(*form.anyp), b = twips(*form.anyb);
  EXPECT_EQ(bar.l, 0);
  EXPECT_GE(b.t, bar.t);
  EXPECT_LE(b.b, bar.b);
}

TEST_F(MainFormTest, EverythingFitsTheWindowAndAnEightHundredBySixHundredScreen) {
  EXPECT_LE(form.width(), 11900);
  EXPECT_LE(form.height(), 8600);
  EXPECT_LE(form.width() / 15, 800);
  EXPECT_LE(form.height() / 15, 600);
  const Rect client{0, 0, form.width(), form.height()};
  // The travel of the moving parts stays inside too.
  EXPECT_LE((718 + 5) * 15.0, client.r);
  EXPECT_LE((215 + 5) * 15.0, client.r);
  int placedCount = 0;
  for (const ui::Control* c : form.controls()) {
    if (!placed(*c)) continue;
    ++placedCount;
    Rect r = twips(*c);
    EXPECT_TRUE(inside(r, client)) << c->name() << " at " << r.l << "," << r.t << " - " << r.r
                                   << "," << r.b;
    EXPECT_GT(c->width(), 0) << c->name();
    EXPECT_GT(c->height(), 0) << c->name();
  }
  // 14 rows of ten controls, and the rest of the desk.
  EXPECT_GT(placedCount, 14 * 10 + 60);
}

TEST_F(MainFormTest, NoTwoVisibleClickableControlsOverlap) {
  // By design the time line strip lies beneath its second labels, and a panel's last pixel row
  // is its lower neighbour's first.
  auto allowed = [&](const ui::Control& a, const ui::Control& b) {
    auto onTimeLine = [&](const ui::Control& x, const ui::Control& y) {
      return &x == form.wvlbl && (&y == form.Label2 || &y == form.Label3 || &y == form.Label4);
    };
    auto panels = [&](const ui::Control& x, const ui::Control& y) {
      for (int i = 0; i + 1 < MainForm::kRows; ++i)
        if (&x == form.wd[i] && &y == form.wd[i + 1]) {
          Rect rx = twips(x), ry = twips(y);
          return ry.t >= rx.b - 15;
        }
      return false;
    };
    return onTimeLine(a, b) || onTimeLine(b, a) || panels(a, b) || panels(b, a);
  };
  std::vector<const ui::Control*> shown;
  for (const ui::Control* c : form.controls())
    if (clickable(*c) && c->visible()) shown.push_back(c);
  for (size_t i = 0; i < shown.size(); ++i)
    for (size_t j = i + 1; j < shown.size(); ++j)
      if (overlap(twips(*shown[i]), twips(*shown[j]))) {
        EXPECT_TRUE(allowed(*shown[i], *shown[j]))
            << shown[i]->name() << " overlaps " << shown[j]->name();
      }

  // The moving shapes sweep over nothing clickable but their own strip or bar: the solo
  // progress bar grows over the panels' width, the song pointer runs along its bar.
  const Rect timeptrTravel{225 * 15.0, twips(*form.timeptr).t, (225 + 497) * 15.0,
                           twips(*form.timeptr).b};
  const Rect anybTravel{10 * 15.0, twips(*form.anyb).t, (718 + 5) * 15.0, twips(*form.anyb).b};
  for (const ui::Control* c : shown) {
    EXPECT_FALSE(overlap(timeptrTravel, twips(*c))) << "timeptr sweeps over " << c->name();
    if (c != form.anyp) {
      EXPECT_FALSE(overlap(anybTravel, twips(*c))) << "anyb sweeps over " << c->name();
    }
  }
}

// ---- The program object --------------------------------------------------------------------

// Keeps every box, input box and menu shown in `boxes`.
class RecordingResponder : public test_support::LoggingResponder {
 public:
  std::vector<ui::BoxRecord>& boxes = shown;
};

class MainFormApplication : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { platform::ensureApplication(); }
  void SetUp() override { ui::setResponder(&responder); }
  void TearDown() override {
    ui::setResponder(nullptr);
    platform::setEnding(false);
  }
  RecordingResponder responder;
};

TEST_F(MainFormApplication, BuildsTheMixerDisplayAndKeepsNamedState) {
  app::Application program;
  shell::MainForm& m = program.mainForm();
  EXPECT_EQ(program.form("FormMV2000"), &m);
  EXPECT_EQ(program.form("Form2"), nullptr);  // companion windows are made on first use
  EXPECT_EQ(program.forms().size(), 1u);
  for (int i = 0; i < MainForm::kRows; ++i) EXPECT_NE(m.R[i], nullptr);
  EXPECT_EQ(m.R[13]->name(), "R14");

  int probe = 0;
  program.registerVar("probe", [&] { return std::to_string(probe); });
  EXPECT_EQ(program.var("probe"), "0");
  probe = 1;
  EXPECT_EQ(program.var("probe"), "1");  // read when asked, not when registered
  EXPECT_EQ(program.var("nosuch"), std::nullopt);
  const auto names = program.varNames();
  EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
  EXPECT_NE(std::find(names.begin(), names.end(), "probe"), names.end());
  EXPECT_FALSE(program.finished());
}

TEST_F(MainFormApplication, DeviceCommandFailureShowsOneBox) {
  app::Application program;
  EXPECT_FALSE(platform::mciExecute("frobnicate the wave device"));
  ASSERT_EQ(responder.boxes.size(), 1u);
  EXPECT_EQ(responder.boxes[0].type, ui::BoxRecord::Box);
  EXPECT_EQ(responder.boxes[0].text, platform::mciLastError());
  EXPECT_EQ(responder.boxes[0].title, std::string(ui::kDefaultTitle));
}

TEST_F(MainFormApplication, FinishingEndsEveryLoop) {
  app::Application program;
  EXPECT_FALSE(program.finished());
  program.setFinished();
  EXPECT_TRUE(program.finished());
  EXPECT_TRUE(platform::ending());  // loops still running return
}

}  // namespace

// The pan and volume faders through their strips' mouse-down: the click laws at the band's
// edges, the detent and the rounding ties; which controls each page writes; when the engine is
// called and a point stored; the automation-mode cycle; the PV buttons; centring a row's pan.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "mixer/mixer.h"
#include "tests/support/program_fixture.h"

namespace {

namespace colour = platform::ui::colour;
using mixer::Mixer;
using Fader = Mixer::Fader;

class FaderTest : public test_support::EngineDeviceTest {
 protected:
  Mixer& mx = *program.system().mixer;
  transport::Transport& tp = *program.system().transport;

  platform::ui::Label& strip(Fader k, int r) { return *(k == Fader::Pan ? f.PL : f.VL)[r - 1]; }
  platform::ui::Shape& knob(Fader k, int r) { return *(k == Fader::Pan ? f.P : f.V)[r - 1]; }
  platform::ui::Control& holder(Fader k, int r) {
    return k == Fader::Pan ? static_cast<platform::ui::Control&>(*f.selrect[r - 1]) : *f.wd[r - 1];
  }
  void press(Fader k, int r, double x, int button = platform::ui::kLeftButton) {
    strip(k, r).mouseDown(button, 0, x, 60);
  }
  void rclick(Fader k, int r, double x = 750) { press(k, r, x, platform::ui::kRightButton); }
  void setPlaying(bool on) { f.PLAY->setForeColor(on ? colour::kRed : colour::kYellow); }
  // Track n's buffer, its row's record button blue.
  void recorded(int n) {
    eng.trkbuf[n - 1] = eng.dsound->createBuffer();
    f.R[(n - 1) % 14]->setForeColor(colour::kBlue);
  }
  void arm(int k) {  // as vp1_Click .. vp3_Click would
    for (int j = 1; j <= 3; ++j) pv(j).setForeColor(j == k ? colour::kRed : colour::kBlack);
  }
  platform::ui::Label& pv(int k) { return *(k == 1 ? f.vp1 : k == 2 ? f.vp2 : f.vp3); }
  bool anyArmed() {
    return f.vp1->foreColor() == colour::kRed || f.vp2->foreColor() == colour::kRed ||
           f.vp3->foreColor() == colour::kRed;
  }
  std::string entry(const std::string& key, int i) { return (*eng.autotable(key))[i]; }
};

struct Law {
  double x;
  int knob;  // 0: outside the band, nothing changes
  int pan, panMix, vol, volMix;
};
constexpr Law kLaws[] = {
    {29.99, 0, 0, 0, 0, 0},
    {1485.01, 0, 0, 0, 0, 0},
    {30, 121, -5000, 0, -10000, 1},
    {45, 120, -5000, -348, -10000, 1},  // 120 is kept
    {60, 121, -5000, 0, -10000, 1},
    {72.75, 121, -5000, 0, -10000, 1},  // 122.5 rounds to 122
    {75, 122, -4890, 348, -2944, 60},
    {291, 137, -3240, 5568, -2464, 510},  // 137.5 rounds to 138
    {480, 149, -1920, 9744, -2080, 870},
    {495, 151, -1700, 10440, -2016, 930},
    {720, 166, -50, 15660, -1536, 1380},
    {735, 167, 0, 16383, -1536, 1410},
    {750, 168, 0, 16383, -1536, 1440},
    {765, 169, 0, 16383, -1536, 1470},
    {780, 170, 390, 17052, -1408, 1500},
    {1375, 211, 4900, 31320, -96, 2730},
    {1395, 212, 5000, 31668, -64, 2760},
    {1410, 213, 5000, 32016, 0, 2790},
    {1425, 214, 5000, 32364, 0, 2820},
    {1440, 215, 5000, 32712, 0, 2850},
    {1485, 215, 5000, 32712, 0, 2850},
};

TEST_F(FaderTest, ClickPositionGivesKnobDeviceAndMixerValues) {
  // volMix of the knob positions below 124 is 1 (60 is below 100).
  for (const Law& c : kLaws) {
    for (Fader k : {Fader::Pan, Fader::Vol}) {
      const int r = k == Fader::Pan ? 4 : 9;
      knob(k, r).setLeft(140);
      knob(k, r).setTag("-77");
      strip(k, r).setTag("-78");
      press(k, r, c.x, platform::ui::kMiddleButton);  // the middle button sets the fader too
      SCOPED_TRACE(testing::Message() << "X " << c.x << (k == Fader::Pan ? " pan" : " vol"));
      if (!c.knob) {
        EXPECT_EQ(knob(k, r).left(), 140);
        EXPECT_EQ(knob(k, r).tag(), "-77");
        EXPECT_EQ(strip(k, r).tag(), "-78");
        continue;
      }
      const int mix = k == Fader::Pan ? c.panMix : (c.volMix < 100 ? 1 : c.volMix);
      EXPECT_EQ(knob(k, r).left(), c.knob);
      EXPECT_EQ(knob(k, r).tag(), std::to_string(k == Fader::Pan ? c.pan : c.vol));
      EXPECT_EQ(strip(k, r).tag(), std::to_string(mix));
    }
  }
}

TEST_F(FaderTest, PageOfTracks15To28WritesOnlyTheKnobAndTheHolder) {
  showPage1528(true);
  for (Fader k : {Fader::Pan, Fader::Vol}) {
    for (int r : {1, 14}) {
      knob(k, r).setTag("-11");
      strip(k, r).setTag("-12");
      holder(k, r).setTag("-13");
      strip(k, r).setCaption("R");
      press(k, r, 750);
      EXPECT_EQ(knob(k, r).left(), 168);
      EXPECT_EQ(holder(k, r).tag(), k == Fader::Pan ? "0" : "-1536");
      EXPECT_EQ(knob(k, r).tag(), "-11");
      EXPECT_EQ(strip(k, r).tag(), "-12");
      EXPECT_EQ(strip(k, r).caption(), "R");
    }
  }
  // The row's own holder only.
  EXPECT_EQ(f.selrect[1]->tag(), "0");
  EXPECT_EQ(f.wd[1]->tag(), "-1500");
}

// Which presses reach the playing buffers and which store a point with a PV button armed.
TEST_F(FaderTest, LiveUpdateAndStepEntryFollowPlayRecordingAndPage) {
  struct Case {
    const char* what;
    bool playing, rec, page2;
    bool live, stored;
  } cases[] = {
      {"stopped", false, false, false, false, true},
      {"playing", true, false, false, true, true},
      {"recording", true, true, false, false, false},
      {"playing, tracks 15-28", true, false, true, true, false},
      {"stopped, tracks 15-28", false, false, true, false, false},
  };
  for (const auto& c : cases) {
    for (Fader k : {Fader::Pan, Fader::Vol}) {
      SCOPED_TRACE(testing::Message() << c.what << (k == Fader::Pan ? " pan" : " vol"));
      const int n = c.page2 ? 17 : 3;  // row 3
      eng.trkbuf.fill(nullptr);
      recorded(n);
      eng.dsound->setPan(eng.trkbuf[n - 1], 0);
      eng.dsound->setVolume(eng.trkbuf[n - 1], 0);
      showPage1528(c.page2);
      setPlaying(c.playing);
      tp.setRecbusy(c.rec);
      f.vp3->setTag("7");
      f.vp1->setTag("");
      arm(2);
      (*eng.autotable(Mixer::key(k, 3)))[7] = "";
      press(k, 3, 30);
      const int32_t now = k == Fader::Pan ? pan(n) : vol(n);
      EXPECT_EQ(now, c.live ? (k == Fader::Pan ? -5000 : -10000) : 0);
      EXPECT_EQ(entry(Mixer::key(k, 3), 7),
                c.stored ? (k == Fader::Pan ? "121-5000  " : "121-10000 ") : "");
      EXPECT_EQ(anyArmed(), !c.stored);
      if (c.stored) {
        EXPECT_EQ(f.vp1->tag(), Mixer::key(k, 3));
        EXPECT_EQ(f.vp2->tag(), "121");
      }
    }
  }
  tp.setRecbusy(false);
}

TEST_F(FaderTest, LiveUpdatePassesOverTracksWithoutABuffer) {
  // PLAY red with no buffers at all (a solo play), and a recorded row without one.
  setPlaying(true);
  for (int r = 1; r <= 14; ++r) f.R[r - 1]->setForeColor(colour::kBlue);
  press(Fader::Pan, 1, 30);
  recorded(5);
  press(Fader::Vol, 5, 1485);
  press(Fader::Pan, 2, 1485);  // track 02 has no buffer
  EXPECT_EQ(vol(5), 0);
  EXPECT_EQ(f.P[1]->tag(), "5000");
}

TEST_F(FaderTest, RightButtonCyclesTheModeOnlyOnEitherPageAtAnyTime) {
  struct Case {
    bool page2, playing, rec;
    double x;
  } cases[] = {{false, false, false, 750}, {true, false, false, 750}, {false, true, false, 10},
               {false, true, true, 1500}, {true, true, false, 1485}};
  for (const auto& c : cases) {
    for (Fader k : {Fader::Pan, Fader::Vol}) {
      showPage1528(c.page2);
      setPlaying(c.playing);
      tp.setRecbusy(c.rec);
      arm(1);
      knob(k, 6).setLeft(130);
      const std::string tag = knob(k, 6).tag(), mix = strip(k, 6).tag(), hold = holder(k, 6).tag();
      for (const char* want : {"R", "P", "", "R"}) {
        rclick(k, 6, c.x);
        EXPECT_EQ(strip(k, 6).caption(), want);
      }
      rclick(k, 6);
      rclick(k, 6);
      EXPECT_EQ(strip(k, 6).caption(), "");
      EXPECT_EQ(knob(k, 6).left(), 130);
      EXPECT_EQ(knob(k, 6).tag(), tag);
      EXPECT_EQ(strip(k, 6).tag(), mix);
      EXPECT_EQ(holder(k, 6).tag(), hold);
      EXPECT_EQ(f.vp1->foreColor(), colour::kRed);  // still armed
    }
  }
  tp.setRecbusy(false);
  // A fader in "R" or "P" is set by a left press as any other.
  showPage1528(false);
  f.PL[0]->setCaption("P");
  press(Fader::Pan, 1, 1485);
  EXPECT_EQ(f.P[0]->tag(), "5000");
  EXPECT_EQ(f.PL[0]->caption(), "P");
}

TEST_F(FaderTest, PvButtonsArmForTheSecondShownOverThem) {
  f.Label1->setCaption("1");
  f.Label2->setCaption("24");
  f.Label3->setCaption("25");
  f.Label4->setCaption("26");
  f.vp2->click();
  EXPECT_EQ(f.vp2->foreColor(), colour::kRed);
  EXPECT_EQ(f.vp3->tag(), "85");
  f.vp1->click();
  EXPECT_EQ(f.vp1->foreColor(), colour::kRed);
  EXPECT_EQ(f.vp2->foreColor(), colour::kBlack);
  EXPECT_EQ(f.vp3->tag(), "84");
  f.vp1->click();  // the armed one again: all off, the index kept
  EXPECT_FALSE(anyArmed());
  EXPECT_EQ(f.vp3->tag(), "84");

  // Refused while playing, recording or with tracks 15-28 on screen.
  for (int refusal = 0; refusal < 3; ++refusal) {
    setPlaying(refusal == 0);
    tp.setRecbusy(refusal == 1);
    showPage1528(refusal == 2);
    f.vp3->click();
    EXPECT_FALSE(anyArmed()) << refusal;
    EXPECT_EQ(f.vp3->tag(), "84");
  }
}

TEST_F(FaderTest, StepEntryStoresOnePointAndNothingPastSecond500) {
  f.Label1->setCaption("0");
  f.Label2->setCaption("9");
  f.vp1->click();
  press(Fader::Vol, 4, 30);
  EXPECT_EQ(entry("T04V", 9), "121-10000 ");
  EXPECT_FALSE(anyArmed());
  press(Fader::Pan, 4, 1485);  // disarmed: nothing more
  EXPECT_EQ(entry("T04P", 9), "");

  // Second 501: nothing stored anywhere, the buttons disarmed all the same.
  f.Label1->setCaption("8");
  f.Label2->setCaption("21");
  f.vp1->click();
  EXPECT_EQ(f.vp3->tag(), "501");
  press(Fader::Pan, 4, 1485);
  EXPECT_FALSE(anyArmed());
  for (const char* k : {"T04P", "T04V"})
    for (int i = 0; i <= 500; ++i) {
      if (i != 9 || k[3] == 'P') {
        EXPECT_EQ(entry(k, i), "") << k << " " << i;
      }
    }
}

TEST_F(FaderTest, CentrePanPutsBothValuesBackAndLeavesKnobAndMode) {
  for (int r : {1, 8, 14}) {
    press(Fader::Pan, r, 30);
    f.PL[r - 1]->setCaption("P");
    mx.cpanrow(r);
    EXPECT_EQ(f.P[r - 1]->tag(), "0");
    EXPECT_EQ(f.PL[r - 1]->tag(), "16383");
    EXPECT_EQ(f.P[r - 1]->left(), 121);
    EXPECT_EQ(f.PL[r - 1]->caption(), "P");
  }
  mx.cpanrow(0);   // no such row: nothing
  mx.cpanrow(15);
}

}  // namespace

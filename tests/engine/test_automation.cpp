// Fader automation: the record and play passes of the once-a-second step, the start-of-run
// replay, step entry, the exact entries, the index's bounds, the mono mix and odd entries.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/support/program_fixture.h"

namespace {

namespace colour = platform::ui::colour;
using platform::SoundBuffer;

class AutomationTest : public test_support::EngineDeviceTest {
 protected:
  AutomationTest() : EngineDeviceTest(5000) {}

  SoundBuffer* buffer(int n) { return eng.trkbuf[n - 1] = eng.dsound->createBuffer(); }
  void mode(int n, const char* panMode, const char* volMode) {
    f.PL[n - 1]->setCaption(panMode);
    f.VL[n - 1]->setCaption(volMode);
  }
  // A fader click as the faders make it: knob, Tag, and (while playing) capture and apply.
  void movePan(int n, int knob, int value) {
    f.P[n - 1]->setLeft(knob);
    f.P[n - 1]->setTag(std::to_string(value));
    eng.getmixvals();
    eng.setpanvol();
  }
  void moveVol(int n, int knob, int value) {
    f.V[n - 1]->setLeft(knob);
    f.V[n - 1]->setTag(std::to_string(value));
    eng.getmixvals();
    eng.setpanvol();
  }
  std::string& entry(const char* key, int i) { return (*eng.autotable(key))[i]; }
  // Step entry as a fader makes it with an armed PV button.
  void stepEntry(const std::string& key, const std::string& pos, const std::string& idx) {
    f.vp1->setTag(key);
    f.vp2->setTag(pos);
    f.vp3->setTag(idx);
    f.vp2->setForeColor(colour::kRed);
    eng.autostore();
  }
  void expectDisarmed() {
    for (auto* b : {f.vp1, f.vp2, f.vp3}) EXPECT_EQ(b->foreColor(), colour::kBlack) << b->name();
  }
};

TEST_F(AutomationTest, TablesAreNamedByTheFaderKeys) {
  for (int n = 1; n <= 14; ++n) {
    char key[8];
    std::snprintf(key, sizeof key, "T%02dP", n);
    auto* p = eng.autotable(key);
    key[3] = 'V';
    auto* v = eng.autotable(key);
    ASSERT_TRUE(p && v) << key;
    EXPECT_NE(p, v);
    EXPECT_TRUE((*p)[0].empty() && (*v)[500].empty());  // nothing recorded at program start
  }
  for (const char* bad :
       {"", "T00P", "T15P", "T1P", "t01P", "T01p", "T01X", "T01P ", " T01P", "TxxV"})
    EXPECT_EQ(eng.autotable(bad), nullptr) << '"' << bad << '"';
  EXPECT_EQ(eng.autoidx, 0);
}

TEST_F(AutomationTest, RecordPassWritesTheExactTenCharacterEntries) {
  mode(1, "R", "R");
  mode(2, "", "R");
  movePan(1, 168, 0);
  moveVol(1, 121, -10000);
  moveVol(2, 215, -1500);
  f.late->setCaption("");
  eng.autostep();
  EXPECT_EQ(eng.autoidx, 1);  // the first step of a run from 0 works on entry 1
  EXPECT_EQ(entry("T01P", 1), "1680      ");
  EXPECT_EQ(entry("T01V", 1), "121-10000 ");
  EXPECT_EQ(entry("T02V", 1), "215-1500  ");
  EXPECT_EQ(entry("T02P", 1), "");  // no mode: nothing written
  EXPECT_EQ(entry("T01P", 0), "");  // entry 0 belongs to step entry only
  EXPECT_EQ(f.late->caption(), "0ms");  // the step's own duration (no simulated time passes)

  // A fader in "R" writes every second whether it moved or not; the value comes from
  // trkpan / trkvol (a fader move during a recording changes only the Tag), the position from
  // the knob. A knob off its travel is stored at the nearest end, so the entry keeps its form.
  f.P[0]->setLeft(170.4);
  f.P[0]->setTag("2500");
  eng.autostep();
  EXPECT_EQ(entry("T01P", 2), "1700      ");
  EXPECT_EQ(entry("T01V", 2), "121-10000 ");
  f.P[0]->setLeft(7);
  eng.trkpan[0] = -5000;
  eng.autostep();
  EXPECT_EQ(entry("T01P", 3), "120-5000  ");
}

TEST_F(AutomationTest, StepEntryStoresOneSecondAndDisarmsThePvButtons) {
  f.P[4]->setLeft(150);
  f.P[4]->setTag("-1810");
  stepEntry("T05P", "150", "9");
  EXPECT_EQ(entry("T05P", 9), "150-1810  ");
  expectDisarmed();
  for (int i = 0; i <= 500; ++i)
    if (i != 9) {
      ASSERT_EQ(entry("T05P", i), "") << i;
    }

  f.V[13]->setTag("-1500");
  stepEntry("T14V", "168", "0");
  EXPECT_EQ(entry("T14V", 0), "168-1500  ");
  stepEntry("T14V", "121", "500");
  EXPECT_EQ(entry("T14V", 500), "121-1500  ");
  stepEntry("T14V", "200", "7.5");  // halves to even
  stepEntry("T14V", "201", "8.5");
  EXPECT_EQ(entry("T14V", 8), "201-1500  ");
  EXPECT_EQ(entry("T14V", 7), "");

  // Outside 0..500 (tested before rounding), or a key that names no fader: nothing is stored,
  // and the PV buttons are disarmed all the same.
  for (const char* idx : {"501", "-1", "500.4", "-0.2", "99999", "-99999999999999999999"}) {
    stepEntry("T14V", "170", idx);
    expectDisarmed();
  }
  for (const char* key : {"T15P", "t14v", "", "T05"}) {
    stepEntry(key, "170", "3");
    expectDisarmed();
  }
  for (int i = 0; i <= 500; ++i) {
    if (i != 0 && i != 8 && i != 500) {
      ASSERT_EQ(entry("T14V", i), "") << i;
    }
  }
  EXPECT_EQ(entry("T14V", 500), "121-1500  ");

  // Odd texts: the position reads as a leading number kept on the knobs' travel, the value as
  // the Tag's leading number clamped to its range.
  f.P[2]->setTag(" 12.5 ");
  stepEntry("T03P", "abc", "4");
  EXPECT_EQ(entry("T03P", 4), "12012     ");
  f.V[2]->setTag("99999");
  stepEntry("T03V", "999", "");  // an empty second reads as 0
  EXPECT_EQ(entry("T03V", 0), "2150      ");
  f.P[2]->setTag("-99999");
  stepEntry("T03P", "180.5", "4");
  EXPECT_EQ(entry("T03P", 4), "180-10000 ");
}

// Automation recorded over one run replays the same values on the next: faders in "R" while
// the loop steps, then "P", the index back at the start, and the same steps again.
TEST_F(AutomationTest, RecordedRunReplaysOnTheNextRun) {
  for (int n : {1, 2, 3}) buffer(n);
  for (int k : {0, 1, 2}) f.R[k]->setForeColor(colour::kBlue);
  mode(1, "R", "");
  mode(2, "", "R");
  mode(3, "R", "R");
  struct Second { int panKnob, panVal, volKnob, volVal; };
  const Second secs[] = {{168, 0, 168, -1500},
                         {150, -1810, 130, -4000},
                         {121, -5000, 121, -10000},
                         {215, 5000, 215, 0},
                         {180, 1200, 160, -2100}};
  eng.autoidx = 10;  // a run started at second 10
  for (const Second& s : secs) {
    movePan(1, s.panKnob, s.panVal);
    moveVol(2, s.volKnob, s.volVal);
    movePan(3, s.volKnob, -s.panVal);
    moveVol(3, s.panKnob, s.volVal / 2);
    eng.autostep();
  }
  EXPECT_EQ(eng.autoidx, 15);
  EXPECT_EQ(entry("T01P", 12), "150-1810  ");
  EXPECT_EQ(entry("T02V", 13), "121-10000 ");
  EXPECT_EQ(entry("T03P", 11), "1680      ");

  // The next run: the faders replay, the knobs and Tags are left elsewhere.
  mode(1, "P", "");
  mode(2, "", "P");
  mode(3, "P", "P");
  movePan(1, 140, 777);
  moveVol(2, 140, -777);
  movePan(3, 140, 777);
  moveVol(3, 140, -777);
  eng.autoidx = 10;
  eng.replayStartEntries(eng.autoidx);  // entry 10 was never written: nothing changes
  EXPECT_EQ(pan(1), 777);
  EXPECT_EQ(f.P[0]->left(), 140);
  for (const Second& s : secs) {
    eng.autostep();
    EXPECT_EQ(pan(1), s.panVal);
    EXPECT_EQ(f.P[0]->left(), s.panKnob);
    EXPECT_EQ(vol(2), s.volVal);
    EXPECT_EQ(f.V[1]->left(), s.volKnob);
    EXPECT_EQ(pan(3), -s.panVal);
    EXPECT_EQ(f.P[2]->left(), s.volKnob);
    EXPECT_EQ(vol(3), s.volVal / 2);
    EXPECT_EQ(f.V[2]->left(), s.panKnob);
  }
  // The replay changes neither the Tags nor the captured values.
  EXPECT_EQ(f.P[0]->tag(), "777");
  EXPECT_EQ(eng.trkpan[0], 777);
  EXPECT_EQ(eng.trkvol[1], -777);

  // Over seconds never recorded the last replayed value stays.
  eng.autostep();
  EXPECT_EQ(eng.autoidx, 16);
  EXPECT_EQ(pan(1), 1200);
  EXPECT_EQ(vol(2), -2100);

  // The start of a run replays the entry of its start second before the first step.
  eng.autoidx = 13;
  eng.replayStartEntries(eng.autoidx);
  EXPECT_EQ(pan(1), -5000);
  EXPECT_EQ(f.P[0]->left(), 121);
  EXPECT_EQ(vol(2), -10000);
  EXPECT_EQ(eng.autoidx, 13);  // only the step advances the index
}

// With tracks 15-28 on screen the rows' knobs show tracks 15-28: the record pass takes track
// n's knob positions from the fader-state table, and the replay leaves the knobs still while
// the buffers follow the entries.
TEST_F(AutomationTest, Page1528RecordsKnobsFromTheTableAndReplaysSoundOnly) {
  buffer(5);
  auto& layout = program.system().shell->layouttab;
  layout[6 * 4] = 150;      // track 05's pan knob
  layout[6 * 4 + 3] = 200;  // track 05's volume knob
  f.P[4]->setLeft(130);     // the knobs of track 19
  f.V[4]->setLeft(131);
  f.P[4]->setTag("-1810");
  f.V[4]->setTag("-3000");
  eng.getmixvals();
  showPage1528(true);
  mode(5, "R", "R");
  eng.autostep();
  EXPECT_EQ(entry("T05P", 1), "150-1810  ");
  EXPECT_EQ(entry("T05V", 1), "200-3000  ");

  mode(5, "P", "P");
  eng.autoidx = 0;
  eng.autostep();
  EXPECT_EQ(pan(5), -1810);
  EXPECT_EQ(vol(5), -3000);
  EXPECT_EQ(f.P[4]->left(), 130);
  EXPECT_EQ(f.V[4]->left(), 131);

  // Back on page 01-14 the same entry moves the knobs too (also at the start of a run).
  showPage1528(false);
  eng.replayStartEntries(1);
  EXPECT_EQ(f.P[4]->left(), 150);
  EXPECT_EQ(f.V[4]->left(), 200);
}

TEST_F(AutomationTest, MonoMixStopsTheStepAndTheStartReplay) {
  buffer(1);
  f.R[0]->setForeColor(colour::kBlue);
  mode(1, "R", "");
  movePan(1, 150, -1810);
  eng.autoidx = 40;
  f.late->setCaption("9ms");
  setMono(true);
  for (int i = 0; i < 3; ++i) eng.autostep();
  EXPECT_EQ(eng.autoidx, 40);
  EXPECT_EQ(f.late->caption(), "9ms");
  EXPECT_EQ(entry("T01P", 41), "");

  // The start-of-run replay respects the mono mix as the step does.
  (*eng.autotable("T01P"))[40] = "2155000   ";
  mode(1, "P", "");
  eng.replayStartEntries(40);
  EXPECT_EQ(pan(1), -1810);
  EXPECT_EQ(f.P[0]->left(), 150);

  // Mono off: the steps go on from the index at which they stopped.
  setMono(false);
  eng.replayStartEntries(40);
  EXPECT_EQ(pan(1), 5000);
  EXPECT_EQ(f.P[0]->left(), 215);
  mode(1, "R", "");
  eng.autostep();
  EXPECT_EQ(eng.autoidx, 41);
  EXPECT_EQ(entry("T01P", 41), "215-1810  ");  // the knob as the replay left it
  EXPECT_EQ(f.late->caption(), "0ms");
}

TEST_F(AutomationTest, IndexStopsAt500) {
  mode(7, "", "R");
  moveVol(7, 168, -600);
  eng.autoidx = 499;
  eng.autostep();
  EXPECT_EQ(eng.autoidx, 500);
  EXPECT_EQ(entry("T07V", 500), "168-600   ");
  f.late->setCaption("late");
  for (int i = 0; i < 3; ++i) eng.autostep();
  EXPECT_EQ(eng.autoidx, 500);
  EXPECT_EQ(f.late->caption(), "late");

  eng.autoidx = 520;  // a run from second 520 records and replays nothing
  eng.autostep();
  EXPECT_EQ(eng.autoidx, 520);

  // Start-of-run replay only inside the table.
  buffer(7);
  mode(7, "", "P");
  eng.replayStartEntries(520);
  eng.replayStartEntries(-1);
  eng.replayStartEntries(INT32_MIN);
  EXPECT_EQ(vol(7), 0);
  eng.replayStartEntries(500);
  EXPECT_EQ(vol(7), -600);

  // An index left below the table by a caller steps forward without touching any entry.
  eng.autoidx = -3;
  eng.autostep();
  EXPECT_EQ(eng.autoidx, -2);
  eng.autoidx = -1;
  mode(7, "", "R");
  eng.autostep();
  EXPECT_EQ(entry("T07V", 0), "168-600   ");
}

TEST_F(AutomationTest, EmptyOrMalformedEntriesChangeNothing) {
  buffer(4);
  f.R[3]->setForeColor(colour::kBlue);
  mode(4, "P", "P");
  movePan(4, 168, 250);
  moveVol(4, 168, -250);
  auto& panTab = *eng.autotable("T04P");
  auto& volTab = *eng.autotable("T04V");
  const char* odd[] = {"", "1", "168", "abc", "168abc", "1x80      ", "999 0     ", "100-500   ",
                       "16810001  ", "168-10001 ", "168 12 3  ", "   -500   ", "\xff\xfe\xfd\xfc"};
  for (const char* e : odd) {
    panTab[1] = e;
    volTab[1] = e;
    eng.autoidx = 0;
    eng.autostep();
    eng.replayStartEntries(1);
    ASSERT_EQ(pan(4), 250) << '"' << e << '"';
    ASSERT_EQ(vol(4), -250) << '"' << e << '"';
    ASSERT_EQ(f.P[4 - 1]->left(), 168) << '"' << e << '"';
    ASSERT_EQ(f.V[4 - 1]->left(), 168) << '"' << e << '"';
  }
  volTab[1] = "168 1      ";  // a volume above 0 dB is no value for the device
  eng.autoidx = 0;
  eng.autostep();
  EXPECT_EQ(vol(4), -250);

  // Blanks around the value are allowed; a position and value that fit are applied.
  panTab[1] = "200 -700   ";
  eng.autoidx = 0;
  eng.autostep();
  EXPECT_EQ(pan(4), -700);
  EXPECT_EQ(f.P[3]->left(), 200);

  // A fader in "P" on a track without a buffer moves its knob only.
  mode(6, "P", "");
  (*eng.autotable("T06P"))[2] = "1900      ";
  eng.autostep();
  EXPECT_EQ(f.P[5]->left(), 190);
  // And with no sound device at all nothing fails either.
  eng.trkbuf.fill(nullptr);
  eng.dsound.reset();
  (*eng.autotable("T06P"))[3] = "1950      ";
  eng.autostep();
  EXPECT_EQ(f.P[5]->left(), 195);
}

}  // namespace

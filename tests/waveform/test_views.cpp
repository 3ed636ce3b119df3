// The waveform views read back through the window's drawn lines: the 3-second page of a track
// (which bytes it reads, the bar of a full-scale sample, silence), the 1-second view (its 1,995
// strokes and their clipping), the time line after each button, the press conversions at their
// edges, the successive clicks, show and hide, and the frame that repaints do not pile up.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/program_fixture.h"

namespace {

namespace ui = platform::ui;
namespace colour = ui::colour;
using test_support::ProgramTest;

class ViewsTest : public ProgramTest {
 protected:
  // A track of `seconds` of silence with the given samples set.
  void track(int n, double seconds, std::vector<std::pair<int, int16_t>> set = {}) {
    std::vector<int16_t> s(static_cast<size_t>(seconds * 44100), 0);
    for (auto [i, v] : set) s[static_cast<size_t>(i)] = v;
    test_support::writeAll(ProgramTest::track(n), test_support::wavFile(1, s));
  }
  // Starts the program with the request file present, so start-up draws the page.
  void start() {
    test_support::writeAll(std::filesystem::path(root) / "Vemracd" / "Parms", {'1', '\n'});
    startProgram();
  }
  const std::vector<ui::DrawnLine>& lines() { return form().lines(); }
  size_t count(int32_t c) {
    return static_cast<size_t>(std::count_if(lines().begin(), lines().end(),
                                             [c](const ui::DrawnLine& l) { return l.colour == c; }));
  }
  // The two blue lines of column k (1..500) of the n-th drawn row (0-based), as drawn.
  std::pair<ui::DrawnLine, ui::DrawnLine> bar(int drawnRow, int k) {
    std::vector<ui::DrawnLine> blue;
    for (const auto& l : lines())
      if (l.colour == colour::kBlue) blue.push_back(l);
    const size_t i = static_cast<size_t>(drawnRow) * 1000 + 2 * static_cast<size_t>(k - 1);
    return {blue.at(i), blue.at(i + 1)};
  }
  std::string timeLine() {
    auto& f = form();
    return std::to_string(wv().wavpage) + " " + f.Label1->caption() + "." + f.Label2->caption() +
           " " + f.Label3->caption() + " " + f.Label4->caption();
  }
  void press(int row, double x) { form().wd[row - 1]->mouseDown(ui::kLeftButton, 0, x, 100); }
};

TEST_F(ViewsTest, StartUpDrawsTheRecordedTracksOfThePageWithTheFrame) {
  track(1, 4, {{0, 32767}, {265, -32768}});
  track(2, 1);
  track(3, 1);
  start();
  EXPECT_EQ(count(colour::kCyan), 4u);
  EXPECT_EQ(count(colour::kBlue), 3000u);
  EXPECT_EQ(timeLine(), "1 0.0 1 2");
  // Full scale in row 1: a bar from the centre line 99.5 to y 82 and y 117, either sign.
  for (int k : {1, 2}) {
    auto [a, b] = bar(0, k);
    EXPECT_EQ(a.x1, 224 + k);
    EXPECT_EQ(a.y1, 99.5);
    EXPECT_EQ(std::min(a.y2, b.y2), 82);
    EXPECT_EQ(std::max(a.y2, b.y2), 117);
  }
  // Silence is a flat line on the centre; row 3 lies 48 pixels lower; the last bar is x 724.
  auto [u3, d3] = bar(2, 500);
  EXPECT_EQ(u3.x1, 724);
  EXPECT_EQ(u3.y1, 147.5);
  EXPECT_EQ(u3.y2, 148);  // 147.5 rounds to the even neighbour
  EXPECT_EQ(d3.y2, 148);
  EXPECT_EQ(wv().tkwavdrawn[0] + wv().tkwavdrawn[1] + wv().tkwavdrawn[2], 3);
  EXPECT_EQ(wv().tkwavdrawn[3], 0);
}

TEST_F(ViewsTest, PageTwoReadsFromItsOwnByteAndPagesPastTheEndAreFlat) {
  // Sample 132,300 (byte 264,644) opens page 2; the sample before it closes page 1 unseen.
  track(1, 7, {{132299, 32767}, {132300, 32767}, {132300 + 265 * 499, -19000}});
  start();
  EXPECT_EQ(bar(0, 1).first.y2, 100);  // page 1: silence in column 1
  form().plus->click();
  EXPECT_EQ(timeLine(), "2 0.3 4 5");
  EXPECT_EQ(bar(0, 1).first.y2, 82);
  EXPECT_EQ(bar(0, 500).first.y2, 110);  // 99.5 + 10
  form().plus->click();
  form().plus->click();  // page 4: past the end of the 7-second track
  for (int k : {1, 250, 500}) EXPECT_EQ(bar(0, k).second.y2, 100);
}

TEST_F(ViewsTest, NavigationStepsThePagesAndTheTimeLine) {
  track(1, 1);
  start();
  struct Step {
    ui::Label* shell::MainForm::*button;
    int times;
    const char* after;
  };
  const Step steps[] = {
      {&shell::MainForm::minus, 1, "1 0.0 1 2"},     // page 1 stays
      {&shell::MainForm::plus, 1, "2 0.3 4 5"},
      {&shell::MainForm::plus, 18, "20 0.57 58 59"},
      {&shell::MainForm::plus, 1, "21 1.0 1 2"},
      {&shell::MainForm::minus, 1, "20 0.57 58 59"},
      {&shell::MainForm::minplus, 1, "21 1.0 1 2"},
      {&shell::MainForm::minplus, 7, "161 8.0 1 2"},
      {&shell::MainForm::plus, 19, "180 8.57 58 59"},
      {&shell::MainForm::plus, 1, "181 9.0 1 2"},      // plus passes minute 9
      {&shell::MainForm::minplus, 1, "201 10.0 1 2"},  // and minplus counts on above 9
      {&shell::MainForm::minminus, 2, "161 8.0 1 2"},
      {&shell::MainForm::minplus, 1, "1 0.0 1 2"},     // minute 8 wraps to 0
      {&shell::MainForm::minminus, 1, "1 0.0 1 2"},
  };
  for (const Step& s : steps) {
    for (int i = 0; i < s.times; ++i) (form().*s.button)->click();
    EXPECT_EQ(timeLine(), s.after);
  }
  // The redraw pair ends where it began.
  form().plus->click();
  wv().redrawPage();
  EXPECT_EQ(timeLine(), "2 0.3 4 5");
  EXPECT_EQ(form().Umsg->caption(),
            " 3 second wave view. To edit one second - click on a tracks wavelet, and click 1 sec "
            "button. Ready.");
}

TEST_F(ViewsTest, TheLastPageIsNeverPassed) {
  track(1, 1);
  start();
  wv().wavpage = 32767;
  form().Label1->setCaption("1638");
  form().Label2->setCaption("21");
  form().plus->click();
  EXPECT_EQ(wv().wavpage, 32767);
  EXPECT_EQ(form().Label2->caption(), "21");
  wv().wavpage = 32761;
  form().Label2->setCaption("0");
  form().minminus->click();
  EXPECT_EQ(timeLine(), "32741 1637.0 1 2");
  form().minplus->click();
  EXPECT_EQ(timeLine(), "32761 1638.0 1 2");
  form().minplus->click();  // minute 1639 has no first page
  EXPECT_EQ(timeLine(), "32761 1638.0 1 2");
  // The 1-second view and the press there saturate rather than wrap.
  press(1, 7499);
  EXPECT_EQ(wv().clicksmp, 2147483647);
  EXPECT_EQ(form().Umsg->caption(), " Sample number is : 4334280300");
  form().onesec->click();
  EXPECT_EQ(wv().onesecstart, 2147483647);
}

TEST_F(ViewsTest, PressConversionsAtTheirEdges) {
  struct Case {
    double x;
    bool oneSecond;
    int32_t offset;
  };
  const Case cases[] = {{0, false, 0},          {55, false, 0},         {56, false, 1001},
                        {111, false, 1984},     {7395, false, 132211},  {7396, false, 132300},
                        {7500, false, 132300},  {3725, true, 22050},    {7499, true, 44390},
                        {10, true, 59}};
  for (const Case& c : cases)
    EXPECT_EQ(waveform::pressOffset(c.x, c.oneSecond), c.offset) << c.x << " " << c.oneSecond;

  track(1, 1);
  start();
  form().Label1->setCaption("3");
  form().Label2->setCaption("3");
  press(1, 3700);
  EXPECT_EQ(wv().onesecstart, 66150);
  EXPECT_EQ(wv().clicksmp, 8136450);
  EXPECT_EQ(form().Umsg->caption(), " Sample number is : 8136450");
  press(1, 0);
  EXPECT_EQ(wv().mdownx, 1.0f);
  EXPECT_TRUE(form().selrect[0]->visible());
  EXPECT_EQ(form().selrect[0]->left(), 3355);
}

TEST_F(ViewsTest, OneSecondViewDrawsItsRowAloneClippedAndComesBack) {
  track(1, 1);
  track(2, 3, {{88200 + 22, 32767}, {88200 + 44, -32768}, {88200 + 66, 2040}});
  start();
  form().Label1->setCaption("0");
  press(2, 5500);  // offset 98,318: the third second
  form().onesec->click();
  EXPECT_EQ(form().Label2->caption(), "2");
  EXPECT_EQ(wv().onesecstart, 88200);
  EXPECT_EQ(wv().onesecmode, 1);
  EXPECT_EQ(lines().size(), 1995u);
  EXPECT_EQ(count(colour::kWhite), 1995u);
  const auto& l = lines();
  for (const auto& s : l) {
    EXPECT_GE(std::min(s.y1, s.y2), 112);
    EXPECT_LE(std::max(s.y1, s.y2), 137);
  }
  EXPECT_EQ(l[1].y2, 112);  // clipped at the row's top
  EXPECT_EQ(l[2].y2, 137);  // and at its bottom
  EXPECT_EQ(l[3].x1, 226);  // column 2 starts with sample 66
  EXPECT_EQ(l[3].y2, 120);  // 123.5 - 3
  EXPECT_EQ(l.back().x1, 723);
  EXPECT_FALSE(form().minus->visible());
  EXPECT_FALSE(form().pfrom->visible());
  EXPECT_EQ(form().wvlbl->caption().size(), 61u);

  // Only the zoomed row takes presses; a click fills nothing in this view.
  press(1, 100);
  EXPECT_EQ(wv().curtrkfile, sh().tkfname[1]);
  press(2, 3725);
  EXPECT_EQ(wv().clicksmp, 88200 + 22050);
  form().wd[1]->click();
  EXPECT_EQ(form().siv->text(), "");

  // A redraw meanwhile leaves the buttons hidden and the caption; wvlbl goes back.
  wv().minus_Click();
  EXPECT_FALSE(form().minus->visible());
  EXPECT_EQ(form().wvlbl->caption().size(), 61u);
  wv().onesecmode = 1;
  form().wvlbl->click();
  EXPECT_EQ(timeLine(), "1 0.0 1 2");
  EXPECT_TRUE(form().minus->visible());
  EXPECT_EQ(form().wvlbl->caption(), std::string(47, ' '));
  EXPECT_EQ(count(colour::kBlue), 2000u);
}

TEST_F(ViewsTest, OneSecondViewBeforeAnyRowStaysInRowOne) {
  startProgram();  // no request file: nothing is drawn
  wv().curtrkfile = "C:\\Vemracd\\Mysong\\Nothere";
  wv().wavdisponesec();
  ASSERT_EQ(lines().size(), 1995u);
  for (const auto& s : lines()) {
    EXPECT_GE(s.x1, 225);
    EXPECT_EQ(s.y1, 99.5);
  }
}

TEST_F(ViewsTest, SuccessiveClicksFillTheRangeEditorsBoxes) {
  for (int n : {1, 2, 3}) track(n, 4);
  start();
  auto& f = form();
  f.intervalval->setText("9");
  press(1, 56);
  f.wd[0]->click();
  EXPECT_EQ(f.siv->text(), "1001");
  EXPECT_EQ(f.srct->text(), "1");
  EXPECT_EQ(f.intervalval->text(), "");
  press(2, 7396);
  f.wd[1]->click();
  EXPECT_EQ(f.sov->text(), "132300");
  EXPECT_EQ(wv().curtrkfile, sh().tkfname[1]);
  press(3, 111);
  f.wd[2]->click();
  EXPECT_EQ(f.ptv->text(), "1984");
  EXPECT_EQ(f.tov->text(), "3");
  EXPECT_EQ(wv().curtrkfile, sh().tkfname[2]);  // the press chose it, the click kept it
  press(1, 3700);
  f.wd[0]->click();
  EXPECT_EQ(wv().rgeisdisp, 1);
  EXPECT_EQ(f.siv->text(), "66150");
  for (auto* b : {f.sov, f.ptv, f.tov}) EXPECT_EQ(b->text(), "");
  // An empty row and a hidden track take nothing.
  f.wd[5]->click();
  wv().tkwavhide[1] = 1;
  f.wd[1]->click();
  EXPECT_EQ(wv().rgeisdisp, 1);
}

TEST_F(ViewsTest, ShowAndHidePerTrackAndPerPage) {
  for (int n : {1, 2, 3}) track(n, 1);
  track(15, 1);
  start();
  auto& f = form();
  f.siv->setText("5");
  wv().tglwav(2);
  EXPECT_EQ(f.siv->text(), "");
  EXPECT_EQ(count(colour::kBlue), 2000u);
  EXPECT_EQ(wv().tkwavdrawn[1], 1);  // drawn before, still marked
  wv().tglwav(5);                    // nothing recorded there
  EXPECT_EQ(wv().tkwavhide[4], 0);
  f.hidewavs->click();
  EXPECT_EQ(f.hidewavs->caption(), "SW");
  EXPECT_EQ(count(colour::kBlue), 0u);
  EXPECT_EQ(count(colour::kCyan), 4u);
  f.hidewavs->click();
  EXPECT_EQ(count(colour::kBlue), 3000u);
  wv().tglwav(3);
  f.t1528->click();
  EXPECT_EQ(wv().tkwavhide[2], 0);  // the page switch shows every track again
  EXPECT_EQ(count(colour::kBlue), 1000u);
  f.hidewavs->click();
  for (int t = 0; t < 28; ++t) EXPECT_EQ(wv().tkwavhide[t], t >= 14 ? 1 : 0) << t;
  // Playing: neither the toggle nor the button acts.
  f.PLAY->setForeColor(colour::kRed);
  f.hidewavs->click();
  EXPECT_EQ(f.hidewavs->caption(), "SW");
}

TEST_F(ViewsTest, RepaintsKeepOneFrameInPixels) {
  track(1, 1);
  start();
  const size_t before = lines().size();
  for (int i = 0; i < 100; ++i) form().paint();
  EXPECT_EQ(lines().size(), before);
  press(1, 500);  // leaves the scale in twips
  form().cls();
  form().paint();
  ASSERT_EQ(lines().size(), 4u);
  EXPECT_EQ(lines()[0].x1, 226);
  EXPECT_EQ(lines()[2].y1, 422);
  EXPECT_EQ(form().scaleMode(), ui::ScaleMode::Twips);
  // Panels switched off around playback, on again afterwards.
  wv().disablewavdisplays();
  EXPECT_FALSE(form().wd[13]->enabled());
  wv().enablewavdisplays();
  EXPECT_TRUE(form().wd[0]->enabled());
}

TEST_F(ViewsTest, TheSecondOfTheZoomFollowsThePressOffset) {
  track(1, 1);
  start();
  auto& f = form();
  struct Case {
    int32_t offset;
    const char* second;  // on the page that starts at second 6 of minute 2
  };
  const Case cases[] = {{0, "6"},      {44100, "6"},  {44101, "7"},  {50000, "7"},
                        {132300, "8"}, {132301, "9"}, {220500, "10"}, {220501, "6"},
                        {-5, "6"}};
  for (const Case& c : cases) {
    f.Label1->setCaption("2");
    f.Label2->setCaption("6");
    wv().onesecstart = c.offset;
    f.onesec->click();
    EXPECT_EQ(f.Label2->caption(), c.second) << c.offset;
    EXPECT_EQ(wv().onesecstart, (120 + std::stoi(c.second)) * 44100) << c.offset;
    f.wvlbl->click();
    EXPECT_EQ(f.Label2->caption(), "6");
  }
  // Back and in again without a press: second 7's first sample lies beyond 220,500.
  wv().onesecstart = 50000;
  f.onesec->click();
  f.wvlbl->click();
  f.onesec->click();
  EXPECT_EQ(f.Label2->caption(), "6");
  f.wvlbl->click();

  // Refused: wvlbl in the 3-second view, anything while PLAY is red, 1sec with track 01 empty.
  const std::string before = timeLine() + f.Umsg->caption();
  f.wvlbl->click();
  f.PLAY->setForeColor(colour::kRed);
  for (auto* b : {f.minus, f.plus, f.minminus, f.minplus, f.onesec}) b->click();
  EXPECT_EQ(timeLine() + f.Umsg->caption(), before);
  f.PLAY->setForeColor(colour::kYellow);
  f.R[0]->setForeColor(colour::kRed);
  f.onesec->click();
  EXPECT_EQ(wv().onesecmode, 0);
}

}  // namespace

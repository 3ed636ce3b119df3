// Drag to silence and the sample paste through the panels' mouse events, checked on the track
// file's bytes: the run a drag of N moves silences, the stray release of a double click, the
// panel's right edge, and the sample layouts, limits and failures of a right press.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/program_fixture.h"

namespace {

namespace ui = platform::ui;
namespace colour = ui::colour;
using test_support::ProgramTest;
using Samples = std::vector<int16_t>;

class PanelEditTest : public ProgramTest {
 protected:
  Samples ramp(size_t n) {
    Samples s(n);
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<int16_t>(1 + i % 20000);
    return s;
  }
  void put(const std::filesystem::path& p, const Samples& s) {
    test_support::writeAll(p, test_support::wavFile(1, s));
  }
  Samples read(const std::filesystem::path& p) {
    auto b = test_support::readAll(p);
    Samples s((b.size() - 44) / 2);
    std::memcpy(s.data(), b.data() + 44, s.size() * 2);
    return s;
  }
  void start(const Samples& t1) {
    put(track(1), t1);
    test_support::writeAll(std::filesystem::path(root) / "Vemracd" / "Parms", {'1', '\n'});
    startProgram();
    answers.shown.clear();
  }
  void drag(int row, double x, int moves, double upx) {
    ui::Label& p = *form().wd[row - 1];
    p.mouseDown(ui::kLeftButton, 0, x, 100);
    for (int i = 0; i < moves; ++i) p.mouseMove(ui::kLeftButton, 0, x + i, 100);
    p.mouseUp(ui::kLeftButton, 0, upx, 100);
  }
  static Samples zeroed(Samples s, size_t from, size_t n) {
    for (size_t i = from; i < from + n && i < s.size(); ++i) s[i] = 0;
    return s;
  }
  static size_t run3(int width) {
    return static_cast<size_t>(platform::roundHalfEven(width * 132300.0 / 6255)) + 1;
  }
};

TEST_F(PanelEditTest, ADragSilencesItsRunAndEachPressLetsOneReleaseAct) {
  const Samples in = ramp(4 * 44100);
  start(in);
  // Press at 3,700 twips (sample 66,150): the run starts 1,000 samples earlier and is as long as
  // the rectangle, 15 twips before the first drag, 1 after, growing 19 a move.
  drag(1, 3700, 10, 4000);
  Samples want = zeroed(in, 65150, run3(205));
  EXPECT_EQ(read(track(1)), want);
  drag(1, 3700, 10, 4000);  // 1 + 190 twips
  EXPECT_EQ(run3(191), 4041u);
  want = zeroed(want, 65150, 4041);
  put(track(1), in);
  drag(1, 3700, 10, 4000);
  EXPECT_EQ(read(track(1)), zeroed(in, 65150, 4041));

  struct Case { const char* name; std::function<void()> act; };
  ui::Label& p = *form().wd[0];
  const Case nothing[] = {
      {"a second release (double click)", [&] { p.mouseUp(ui::kLeftButton, 0, 4000, 100); }},
      {"a press without moves", [&] { drag(1, 3700, 0, 4000); }},
      {"released left of the press", [&] { drag(1, 3700, 10, 3000); }},
      {"a refused press cancels the drag",
       [&] {
         p.mouseDown(ui::kLeftButton, 0, 3700, 100);
         p.mouseMove(ui::kLeftButton, 0, 3800, 100);
         form().wd[5]->mouseDown(ui::kLeftButton, 0, 100, 100);  // row 6 holds no track
         p.mouseUp(ui::kLeftButton, 0, 4000, 100);
       }},
      {"a track that cannot be written: the file failure box", [&] {
         platform::failOpenFor(sh().tkfname[0]);
         drag(1, 3700, 10, 4000);
         platform::clearFailHooks();
         EXPECT_EQ(answers.shown.size() == 1 ? answers.shown[0].text : "", waveform::kFileFailed); }},
  };
  for (const Case& c : nothing) {
    SCOPED_TRACE(c.name);
    put(track(1), in);
    c.act();
    EXPECT_EQ(read(track(1)), in);
    EXPECT_EQ(wv().dragstate, 0);
  }
}

TEST_F(PanelEditTest, ADragPastThePanelsRightEdgeStopsAtTheEdge) {
  const Samples in = ramp(6 * 44100);
  start(in);
  drag(1, 7000, 2000, 7400);
  // Left 10,355 of a panel that ends at 10,860 twips: 505 twips.
  EXPECT_EQ(wv().selwidth, 505);
  const int32_t s = waveform::pressOffset(7000, false) - 1000;
  EXPECT_EQ(read(track(1)), zeroed(in, static_cast<size_t>(s), run3(505)));
}

TEST_F(PanelEditTest, RightPressPastesTheChosenSampleFile) {
  const Samples in = ramp(4 * 44100);
  start(in);
  auto& f = form();
  const auto sp = [&](const std::string& name) { return song() / name; };
  auto rightAt = [&](int32_t sample) {
    // Sample 5,000 lies at 5000 * 7400 / 132300 twips.
    f.wd[0]->mouseDown(ui::kRightButton, 0, sample * 7400.0 / 132300, 100);
    f.wd[0]->mouseUp(ui::kRightButton, 0, 0, 100);
  };
  const Samples s1000 = ramp(1000);
  put(sp("SP01.wav"), s1000);
  put(sp("SP02.wav"), Samples{7, 7, 7, 7, 7});
  put(sp("SP7.wav"), Samples{5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5});

  rightAt(5000);  // no selector on: nothing
  EXPECT_EQ(read(track(1)), in);
  EXPECT_TRUE(answers.shown.empty());

  f.lsp[0]->click();
  rightAt(5000);
  const int32_t at = wv().clicksmp;
  Samples want = in;
  for (size_t i = 0; i < 1001; ++i) want[at + i] = i < 990 ? s1000[i] : 0;
  EXPECT_EQ(read(track(1)), want);
  EXPECT_EQ(f.Umsg->caption(), " External sample pasted starting at sample no : " + std::to_string(at) + ". Ready.");

  // Fewer than ten samples: only the pasted ones end in silence, nothing before them.
  f.lsp[1]->click();
  EXPECT_EQ(f.lsp[0]->foreColor(), colour::kBlack);
  put(track(1), in);
  rightAt(5000);
  want = in;
  for (size_t i = 0; i < 6; ++i) want[at + i] = 0;
  EXPECT_EQ(read(track(1)), want);

  // BOX with 07 reads SP7.wav.
  f.ubox->click();
  f.spw->setText("07");
  put(track(1), in);
  rightAt(5000);
  want = in;
  for (size_t i = 0; i < 13; ++i) want[at + i] = i < 2 ? 5 : 0;
  EXPECT_EQ(read(track(1)), want);

  // Failures: two missing files, a three-digit id.
  put(track(1), in);
  for (auto [sel, id] : {std::pair{2, ""}, std::pair{3, ""}, std::pair{-1, "123"}}) {
    if (sel >= 0) f.lsp[sel]->click(); else { f.ubox->click(); f.spw->setText(id); }
    answers.shown.clear();
    rightAt(5000);
    ASSERT_EQ(answers.shown.size(), 1u);
    EXPECT_EQ(answers.shown[0].text.substr(0, 30), "Cant locate sample in Mysong d");
    EXPECT_EQ(read(track(1)), in);
  }
}

TEST_F(PanelEditTest, SamplePasteLimitsAndAppendKeepTheHeaderTrue) {
  const Samples in = ramp(4 * 44100);
  start(in);
  auto& f = form();
  put(song() / "SP01.wav", Samples(442001, 3));
  put(song() / "SP02.wav", Samples(442000, 3));
  f.lsp[0]->click();
  f.wd[0]->mouseDown(ui::kRightButton, 0, 100, 100);
  ASSERT_EQ(answers.shown.size(), 1u);
  EXPECT_EQ(answers.shown[0].text.substr(0, 40), " The sample you are loading is bigger th");
  EXPECT_EQ(read(track(1)), in);
  // Pasted near the end, the track grows and its header's sizes follow.
  f.lsp[1]->click();
  platform::failOpenFor(track(1).native());  // a track that cannot be written: the sample is there
  f.wd[0]->mouseDown(ui::kRightButton, 0, 100, 100);
  platform::clearFailHooks();
  EXPECT_EQ(answers.shown.back().text, waveform::kFileFailed);
  f.wd[0]->mouseDown(ui::kRightButton, 0, 100, 100);
  const int32_t at = wv().clicksmp;
  const auto bytes = test_support::readAll(track(1));
  EXPECT_EQ(bytes.size(), 44 + 2 * static_cast<size_t>(at + 442001));
  Samples want(in.begin(), in.begin() + at);
  want.resize(static_cast<size_t>(at) + 442001, 3);
  std::fill(want.end() - 11, want.end(), int16_t{0});
  EXPECT_EQ(bytes, test_support::wavFile(1, want));
}

}  // namespace

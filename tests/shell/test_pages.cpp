// The page switch between tracks 01-14 and 15-28: what each page keeps (names cut or padded to
// 9 characters, knob positions, Tags, ports), what stays with the row (automation modes), the
// Tags that hold their own track whatever the page, the recorded marks by exact file name, the
// erasing of the old page's waveforms, and the guards.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/program_fixture.h"

namespace {

namespace ui = platform::ui;
namespace colour = ui::colour;
namespace fs = std::filesystem;

class PagesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { platform::ensureApplication(); }

  void SetUp() override {
    drive.emplace("vpages");
    root = drive->path().string();
    fs::create_directories(song());
    ui::setResponder(&boxes);
    program = std::make_unique<app::Application>();
    sh = program->system().shell;
    wv = program->system().waveform;
    form = &program->mainForm();
    test_support::setUpTrackPages(*sh);
  }

  void TearDown() override {
    program.reset();
    ui::setResponder(nullptr);
    drive.reset();
  }

  std::string song() const { return root + "/Vemracd/Mysong"; }
  void touch(const std::string& name) { std::ofstream(song() + "/" + name) << "RIFF"; }
  // Everything a refused switch must leave alone.
  std::string snapshot() const {
    std::string s = std::to_string(form->t0114->foreColor()) + "/" +
                    std::to_string(form->t1528->foreColor()) + "/" + form->Umsg->caption();
    for (int k = 0; k < 14; ++k)
      s += "|" + form->N[k]->text() + form->R[k]->caption() + std::to_string(form->P[k]->left()) +
           form->P[k]->tag() + form->selrect[k]->tag() + std::to_string(form->wd[k]->enabled());
    return s;
  }

  std::optional<test_support::TempDrive> drive;
  std::string root;
  test_support::LoggingResponder boxes;
  std::unique_ptr<app::Application> program;
  shell::Shell* sh = nullptr;
  waveform::Waveform* wv = nullptr;
  shell::MainForm* form = nullptr;
};

TEST_F(PagesTest, RoundTripKeepsEachPagesStateAndTheRowsModes) {
  touch("T01.wav");
  auto& f = *form;
  f.N[0]->setText("ABCDEFGHIJK");  // 11 characters: comes back as 9
  f.N[1]->setText("Bass");         // comes back padded with five blanks
  f.N[2]->setText("Müller");       // one Windows-1252 byte for the umlaut
  f.P[0]->setLeft(150.5);          // halves to the even neighbour
  f.V[2]->setLeft(200.6);
  f.P[0]->setTag("-2500");
  f.V[0]->setTag("-300");
  f.PL[0]->setTag("9396");
  f.VL[0]->setTag("2100");
  f.ip[0]->setCaption("3");
  f.PL[0]->setCaption("R");
  f.VL[1]->setCaption("P");

  f.t1528->click();
  EXPECT_TRUE(sh->page1528());
  EXPECT_EQ(f.t1528->foreColor(), colour::kWhite);
  EXPECT_EQ(f.t0114->foreColor(), colour::kBlack);
  EXPECT_EQ(f.Umsg->caption(), " Work on tracks 15 to 28. Ready.");
  EXPECT_EQ(f.N[0]->text(), "Track15  ");
  EXPECT_EQ(f.N[13]->text(), "Track28  ");
  EXPECT_EQ(f.R[0]->caption(), "R15");
  EXPECT_EQ(f.Fun[13]->caption(), "F28");
  EXPECT_EQ(f.P[0]->left(), 168);
  EXPECT_EQ(f.V[2]->left(), 168);
  EXPECT_EQ(f.selrect[0]->tag(), "0");
  EXPECT_EQ(f.wd[0]->tag(), "-1500");
  EXPECT_EQ(f.ip[0]->caption(), "0");
  // Tracks 01-14 keep their values in their own Tags; the rows keep their modes.
  EXPECT_EQ(f.P[0]->tag(), "-2500");
  EXPECT_EQ(f.VL[0]->tag(), "2100");
  EXPECT_EQ(f.PL[0]->caption(), "R");
  EXPECT_EQ(f.VL[1]->caption(), "P");
  EXPECT_EQ(f.hidewavs->caption(), "HW");
  EXPECT_EQ(f.pointer(), ui::Pointer::Arrow);
  EXPECT_EQ(sh->trknames[0], "ABCDEFGHI");
  EXPECT_EQ(sh->trknames[1], "Bass     ");
  EXPECT_EQ(sh->trknames[2], "M\xFCller   ");
  EXPECT_EQ((std::vector<int>(sh->layouttab.begin(), sh->layouttab.begin() + 6)),
            (std::vector<int>{150, -2500, 9396, 168, -300, 2100}));
  EXPECT_EQ(sh->layouttab[6 * 2 + 3], 201);
  EXPECT_EQ(sh->inports[0], 3);

  // Page 15-28's own state, then back.
  f.N[0]->setText("Vox");
  f.P[0]->setLeft(140);
  f.selrect[0]->setTag("700");
  f.wd[0]->setTag("-800");
  f.ip[0]->setCaption("5");
  f.t0114->click();
  EXPECT_FALSE(sh->page1528());
  EXPECT_EQ(f.t0114->foreColor(), colour::kWhite);
  EXPECT_EQ(f.t1528->foreColor(), colour::kBlack);
  EXPECT_EQ(f.Umsg->caption(), " Work on tracks 01 to 14. Ready.");
  EXPECT_EQ(f.N[0]->text(), "ABCDEFGHI");
  EXPECT_EQ(f.N[1]->text(), "Bass     ");
  EXPECT_EQ(f.N[2]->text(), "Müller   ");
  EXPECT_EQ(f.N[3]->text(), "Track04  ");
  EXPECT_EQ(f.P[0]->left(), 150);
  EXPECT_EQ(f.V[2]->left(), 201);
  EXPECT_EQ(f.P[0]->tag(), "-2500");
  EXPECT_EQ(f.V[0]->tag(), "-300");
  EXPECT_EQ(f.PL[0]->tag(), "9396");
  EXPECT_EQ(f.ip[0]->caption(), "3");
  EXPECT_EQ(f.R[0]->caption(), "R01");
  EXPECT_EQ(f.Fun[0]->caption(), "F01");
  EXPECT_EQ(f.PL[0]->caption(), "R");
  EXPECT_EQ(f.VL[1]->caption(), "P");
  // Track 15's pan and volume stay in its Tags for playback.
  EXPECT_EQ(f.selrect[0]->tag(), "700");
  EXPECT_EQ(f.wd[0]->tag(), "-800");
  EXPECT_EQ((std::vector<int>(sh->layouttab.begin() + 84, sh->layouttab.begin() + 88)),
            (std::vector<int>{140, 168, 700, -800}));
  EXPECT_EQ(sh->trknames[14], "Vox      ");
  EXPECT_EQ(sh->inports[14], 5);

  f.t1528->click();
  EXPECT_EQ(f.N[0]->text(), "Vox      ");
  EXPECT_EQ(f.P[0]->left(), 140);
  EXPECT_EQ(f.ip[0]->caption(), "5");
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(PagesTest, RecordedMarksByExactNameAndTheOldPagesDrawingErased) {
  touch("T01.wav");
  touch("T02.wav");
  touch("T16.wav");
  touch("t17.wav");  // another letter case: not recorded
  auto& f = *form;
  for (int k = 0; k < 2; ++k) f.R[k]->setForeColor(colour::kBlue);
  wv->tkwavhide[3] = 1;   // hidden on this page
  wv->tkwavhide[20] = 1;  // and on the other
  wv->tkwavdrawn[0] = 1;
  f.wd[4]->setEnabled(false);
  f.hidewavs->setCaption("SW");
  f.setScaleMode(ui::ScaleMode::Pixels);
  f.line(230, 100, 400, 100, colour::kBlue);  // track 01's waveform in row 1

  f.t1528->click();
  // Row 1 now shows track 15, which has no file: track 01's drawing is gone.
  for (const auto& l : f.lines()) EXPECT_FALSE(l.y1 == 100 && l.x1 == 230 && l.x2 == 400);
  EXPECT_EQ(f.R[0]->foreColor(), colour::kRed);
  EXPECT_EQ(f.R[1]->foreColor(), colour::kBlue);  // T16.wav
  EXPECT_EQ(f.R[2]->foreColor(), colour::kRed);   // t17.wav
  EXPECT_EQ(f.hidewavs->caption(), "HW");
  for (int t = 0; t < 28; ++t) {
    EXPECT_EQ(wv->tkwavhide[t], 0) << t;
    EXPECT_EQ(wv->tkwavdrawn[t], t == 15 ? 1 : 0) << t;  // only T16 is drawn again
  }
  for (auto* panel : f.wd) EXPECT_TRUE(panel->enabled());

  f.hidewavs->setCaption("SW");
  wv->tkwavhide[5] = 1;
  f.t0114->click();
  EXPECT_EQ(f.R[0]->foreColor(), colour::kBlue);
  EXPECT_EQ(f.R[1]->foreColor(), colour::kBlue);
  EXPECT_EQ(f.R[2]->foreColor(), colour::kRed);
  EXPECT_EQ(f.hidewavs->caption(), "SW");  // page 01-14 leaves the hide-all button alone
  EXPECT_EQ(wv->tkwavhide[5], 0);
}

TEST_F(PagesTest, RefusalsChangeNothing) {
  auto& f = *form;
  // No T01.wav (or one under another case): the box, and page 01-14 stays.
  touch("t01.wav");
  const std::string before = snapshot();
  f.t1528->click();
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text,
            " Please record T01 first. Then you can record T02 to 28 in any order.");
  EXPECT_EQ(boxes.shown[0].title, std::string(ui::kDefaultTitle));
  EXPECT_EQ(boxes.shown[0].buttons, ui::kOkOnly);
  EXPECT_EQ(snapshot(), before);
  EXPECT_EQ(f.pointer(), ui::Pointer::Arrow);

  // The page on screen, and every silent guard, on either page.
  fs::remove(song() + "/t01.wav");
  touch("T01.wav");
  boxes.shown.clear();
  f.t0114->click();
  EXPECT_EQ(snapshot(), before);
  auto silentlyRefused = [&](const char* what) {
    for (auto* button : {f.t0114, f.t1528}) {
      const std::string s = snapshot();
      button->click();
      EXPECT_EQ(snapshot(), s) << what << " " << button->name();
    }
    EXPECT_EQ(f.pointer(), ui::Pointer::Arrow) << what;
  };
  for (bool page2 : {false, true}) {
    f.PLAY->setForeColor(colour::kRed);
    silentlyRefused("PLAY red");
    f.PLAY->setForeColor(colour::kYellow);
    program->system().transport->setRecbusy(true);
    silentlyRefused("recording");
    program->system().transport->setRecbusy(false);
    program->system().transport->setMixplaying(true);
    silentlyRefused("master playing");
    program->system().transport->setMixplaying(false);
    wv->onesecmode = 1;
    silentlyRefused("1-second view");
    wv->onesecmode = 0;
    if (!page2) f.t1528->click();
  }
  EXPECT_TRUE(sh->page1528());
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(PagesTest, OddTextsInTagsAndPortsReadAsNumbers) {
  touch("T01.wav");
  auto& f = *form;
  f.P[1]->setTag("abc");        // no number: 0
  f.V[1]->setTag(" -250.5xyz");  // leading number, halves to even
  f.PL[1]->setTag("99999");     // beyond 16 bits: held at the limit
  f.ip[1]->setCaption("7.5");
  f.t1528->click();
  EXPECT_EQ(sh->layouttab[7], 0);
  EXPECT_EQ(sh->layouttab[10], -250);
  EXPECT_EQ(sh->layouttab[8], 32767);
  EXPECT_EQ(sh->inports[1], 8);
  f.t0114->click();
  EXPECT_EQ(f.P[1]->tag(), "0");
  EXPECT_EQ(f.V[1]->tag(), "-250");
  EXPECT_EQ(f.ip[1]->caption(), "8");
}

}  // namespace

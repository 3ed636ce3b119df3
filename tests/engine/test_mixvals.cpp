// Mixer values: the capture of the 28 pans and volumes from the Tags (mono mix, odd texts) and
// their application to the buffers of the page on screen, heard on the offline output.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "tests/support/program_fixture.h"

namespace {

namespace colour = platform::ui::colour;
using platform::SoundBuffer;

class MixvalsTest : public test_support::EngineDeviceTest {
 protected:
  // A buffer for track n whose every sample is `sample`, at the device's defaults (pan 0, vol 0).
  SoundBuffer* buffer(int n, int16_t sample = 0) {
    SoundBuffer* b = eng.trkbuf[n - 1] = eng.dsound->createBuffer();
    int16_t* p = eng.dsound->lock(b);
    std::fill(p, p + eng.dsound->sizeBytes(b) / 2, sample);
    return b;
  }
  // A fader move while playing: capture, then apply.
  void faderMove() {
    eng.getmixvals();
    eng.setpanvol();
  }
};

TEST_F(MixvalsTest, CaptureReadsEveryTrackFromItsOwnTagsOnEitherPage) {
  eng.getmixvals();  // the window's design Tags
  for (int i = 0; i < 28; ++i) {
    EXPECT_EQ(eng.trkpan[i], 0) << i;
    EXPECT_EQ(eng.trkvol[i], -1500) << i;
  }
  for (int k = 0; k < 14; ++k) {
    f.P[k]->setTag(std::to_string(-100 * (k + 1)));
    f.V[k]->setTag(std::to_string(-10 * (k + 1)));
    f.selrect[k]->setTag(std::to_string(200 * (k + 1)));
    f.wd[k]->setTag(std::to_string(-20 * (k + 1)));
  }
  for (bool page1528 : {false, true}) {
    showPage1528(page1528);
    eng.trkpan.fill(1);
    eng.trkvol.fill(1);
    eng.getmixvals();
    for (int k = 0; k < 14; ++k) {
      EXPECT_EQ(eng.trkpan[k], -100 * (k + 1));
      EXPECT_EQ(eng.trkvol[k], -10 * (k + 1));
      EXPECT_EQ(eng.trkpan[14 + k], 200 * (k + 1));
      EXPECT_EQ(eng.trkvol[14 + k], -20 * (k + 1));
    }
  }

  // The mono mix centres every pan and leaves the volumes alone; only red 255 means mono.
  setMono(true);
  eng.getmixvals();
  for (int i = 0; i < 28; ++i) EXPECT_EQ(eng.trkpan[i], 0) << i;
  EXPECT_EQ(eng.trkvol[0], -10);
  EXPECT_EQ(eng.trkvol[27], -280);
  f.monolbl->setForeColor(254);
  eng.getmixvals();
  EXPECT_EQ(eng.trkpan[27], 2800);
}

TEST_F(MixvalsTest, OddTagTextsAreReadAsLeadingNumbersAndClamped) {
  struct Case { const char* text; int16_t pan, vol; };
  const Case cases[] = {
      {"", 0, 0},
      {"abc", 0, 0},
      {" 12.5 ", 12, 0},  // a volume above 0 dB is clamped to 0
      {"13.5", 14, 0},
      {"-2.5", -2, -2},
      {"99999", 10000, 0},
      {"-99999", -10000, -10000},
      {"-870dB", -870, -870},
      {"1e5", 1, 0},
      {"  -0.4", 0, 0},
      {"99999999999999999999999999", 10000, 0},
      {"--5", 0, 0},
      {"-10000.5", -10000, -10000},
      {"\xff\xfe", 0, 0},
  };
  for (const Case& c : cases) {
    for (int k : {0, 13}) {
      f.P[k]->setTag(c.text);
      f.V[k]->setTag(c.text);
      f.selrect[k]->setTag(c.text);
      f.wd[k]->setTag(c.text);
    }
    eng.getmixvals();
    for (int i : {0, 13, 14, 27}) {
      EXPECT_EQ(eng.trkpan[i], c.pan) << '"' << c.text << "\" track " << i + 1;
      EXPECT_EQ(eng.trkvol[i], c.vol) << '"' << c.text << "\" track " << i + 1;
    }
  }
  EXPECT_EQ(engine::Engine::tagValue("-1810", true), -1810);
  EXPECT_EQ(engine::Engine::tagValue("5000.5", true), 5000);
  EXPECT_EQ(engine::Engine::tagValue("-1500", false), -1500);
}

TEST_F(MixvalsTest, SetpanvolTouchesOnlyTheRecordedRowsOfThePageOnScreen) {
  for (int n : {2, 3, 5, 16, 19}) buffer(n);
  f.R[1]->setForeColor(colour::kBlue);  // rows 2 and 5 hold recordings, row 3 does not
  f.R[4]->setForeColor(colour::kBlue);
  f.R[2]->setForeColor(colour::kRed);
  for (int k = 0; k < 14; ++k) {
    f.P[k]->setTag(std::to_string(-300 * (k + 1)));
    f.V[k]->setTag(std::to_string(-100 * (k + 1)));
    f.selrect[k]->setTag(std::to_string(300 * (k + 1)));
    f.wd[k]->setTag(std::to_string(-50 * (k + 1)));
  }
  faderMove();
  EXPECT_EQ(pan(2), -600);
  EXPECT_EQ(vol(2), -200);
  EXPECT_EQ(pan(5), -1500);
  EXPECT_EQ(vol(5), -500);
  for (int n : {3, 16, 19}) {  // a red row, and the other page's tracks, keep the defaults
    EXPECT_EQ(pan(n), 0) << n;
    EXPECT_EQ(vol(n), 0) << n;
  }

  // Page 15-28: blue rows 2, 4 and 5 now mean tracks 16, 18 and 19; track 18 has no buffer
  // and is passed over.
  showPage1528(true);
  f.R[3]->setForeColor(colour::kBlue);
  f.R[4]->setForeColor(colour::kBlue);
  f.P[1]->setTag("111");  // track 02's Tag changes but its buffer is not on screen
  faderMove();
  EXPECT_EQ(pan(16), 600);
  EXPECT_EQ(vol(16), -100);
  EXPECT_EQ(pan(19), 1500);
  EXPECT_EQ(vol(19), -250);
  EXPECT_EQ(pan(2), -600);
  EXPECT_EQ(eng.trkpan[1], 111);  // captured all the same

  // A value the device refuses keeps that setting; the other call and the other rows go on.
  eng.trkpan[15] = 20000;
  eng.trkvol[15] = -700;
  eng.trkvol[18] = 5;
  eng.trkpan[18] = -42;
  eng.setpanvol();
  EXPECT_EQ(pan(16), 600);
  EXPECT_EQ(vol(16), -700);
  EXPECT_EQ(pan(19), -42);
  EXPECT_EQ(vol(19), -250);

  // No engine run (a solo playback with PLAY red): nothing to set, nothing fails.
  eng.trkbuf.fill(nullptr);
  eng.dsound.reset();
  faderMove();
  EXPECT_EQ(eng.trkpan[15], 600);
}

// Two tracks heard together: track 03 on row 3 of page 01-14 and track 17 on row 3 of page
// 15-28. Each frame of the output is the sum of both at their gains.
TEST_F(MixvalsTest, PanAndVolumeReachTheOutputAsTheLawSays) {
  constexpr int16_t kS3 = 1000, kS17 = 2000;
  SoundBuffer* b3 = buffer(3, kS3);
  SoundBuffer* b17 = buffer(17, kS17);
  ASSERT_TRUE(eng.dsound->playAll({b3, b17}));
  f.R[2]->setForeColor(colour::kBlue);
  f.P[2]->setTag("-4000");
  f.V[2]->setTag("-600");
  f.selrect[2]->setTag("3000");
  f.wd[2]->setTag("-1200");

  size_t from = 0;
  auto expectHeard = [&](int32_t pan3, int32_t vol3, int32_t pan17, int32_t vol17,
                         const char* what) {
    platform::offlineRender(200);
    const auto& out = platform::offlineOutput();
    const auto g3 = platform::panVolumeGain(pan3, vol3);
    const auto g17 = platform::panVolumeGain(pan17, vol17);
    const double l = kS3 * g3.left + kS17 * g17.left, r = kS3 * g3.right + kS17 * g17.right;
    ASSERT_EQ(out.size(), from + 400);
    for (size_t i = from; i < out.size(); i += 2) {
      ASSERT_NEAR(out[i], l, 1) << what;
      ASSERT_NEAR(out[i + 1], r, 1) << what;
    }
    from = out.size();
  };

  faderMove();  // page 01-14: track 03 takes its values, track 17 stays at full centre
  expectHeard(-4000, -600, 0, 0, "page 01-14");
  EXPECT_GT(platform::offlineOutput()[from - 2], platform::offlineOutput()[from - 1]);

  setMono(true);  // the mono label alone changes nothing until the next capture
  expectHeard(-4000, -600, 0, 0, "mono switched");
  faderMove();
  expectHeard(0, -600, 0, 0, "mono captured");

  setMono(false);
  showPage1528(true);  // row 3 now shows track 17; track 03 keeps what it had
  faderMove();
  expectHeard(0, -600, 3000, -1200, "page 15-28");

  f.R[2]->setForeColor(colour::kRed);  // not recorded: untouched
  f.wd[2]->setTag("-10000");
  faderMove();
  expectHeard(0, -600, 3000, -1200, "row not recorded");
  f.R[2]->setForeColor(colour::kBlue);
  faderMove();
  expectHeard(0, -600, 3000, -10000, "silenced");
}

}  // namespace

// The wind's cue position: the track files are positioned at the wound time, hours included
// (a position past one hour is not cued at its minutes and seconds alone).
#include "tests/transport/transport_fixture.h"

namespace transport_test {
namespace {

using CueTest = TransportRun;

TEST_F(CueTest, AWindCuesTheTracksAtTheWoundTimeHoursIncluded) {
  struct Case { int32_t h, m, s; bool heard; };
  // Track 01 is 70 seconds long: 0:1:4 lies inside it, 1:0:2 after its end (without the
  // hours it would be 0:0:2, inside).
  const Case cases[] = {{0, 0, 2, true}, {0, 1, 4, true}, {1, 0, 2, false}};
  writeTrack(1, 70 * kRate);
  startProgram();
  form().P[0]->setTag("-10000");  // hard left
  form().V[0]->setTag("0");
  int64_t t = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.h * 3600 + c.m * 60 + c.s);
    // The clock's last forward step at h:m:s (the wind starts from it).
    form().PLAY->setForeColor(colour::kRed);
    tp().setClock(c.h, c.m, c.s - 1);
    tp().mytimes();
    form().PLAY->setForeColor(colour::kYellow);
    t = clock().now();
    at(t + 10, [this] { form().ffwd->onMouseUp(1, 0, 0, 0); });
    stopAt(t + 600);
    const int64_t first = nextFrame();
    tp().ffwd_MouseDown(1, 0, 0, 0);  // one step: the wound time is h:m:(s+1)
    runFor(100);
    // The first sound heard is the track's sample at the wound second, or nothing at all.
    const int64_t j = (int64_t{c.m} * 60 + c.s + 1) * kRate;
    int64_t k = first;
    while (k < nextFrame() && frame(k).first == 0) ++k;
    if (c.heard) {
      ASSERT_LT(k, nextFrame());
      EXPECT_EQ(frame(k).first, stamp(1, j));
      EXPECT_EQ(frame(k + 1).first, stamp(1, j + 1));
    } else {
      EXPECT_EQ(k, nextFrame());
    }
    EXPECT_EQ(form().PLAY->foreColor(), colour::kYellow);
    EXPECT_EQ(tp().playfrom(), 0);
  }
}

}  // namespace
}  // namespace transport_test

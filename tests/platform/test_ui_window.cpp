// Where a window goes (its frame's top-left corner at the form's Left and Top, its title bar on
// the screen whatever the frame and the screen), and the fonts its captions show in.
#include <gtest/gtest.h>

#include <QtGui/QScreen>
#include <QtGui/QFontInfo>
#include <QtGui/QWindow>
#include <QtWidgets/QApplication>
#include <QtWidgets/QWidget>

#include "platform/app_loop.h"
#include "platform/ui.h"
#include "platform/ui_qt.h"

using namespace platform::ui;

namespace {

TEST(WindowPlacement, FrameOnTheScreenAtTheWantedPlaceWhereItFits) {
  const FrameMargins none{}, twm{2, 29, 2, 2}, thick{8, 40, 8, 8};
  const PixelRect screen{0, 0, 1024, 768};
  const struct {
    const char* what;
    PixelRect wanted;
    FrameMargins frame;
    PixelRect available;
    PixelRect client;
  } cases[] = {
      {"no frame: the client at the place", {3, 0, 740, 524}, none, screen, {3, 0, 740, 524}},
      {"title bar below the top edge", {3, 0, 740, 524}, twm, screen, {5, 29, 740, 524}},
      {"thick frame", {3, 0, 740, 524}, thick, screen, {11, 40, 740, 524}},
      {"past the right and bottom: moved in", {600, 500, 740, 524}, twm, screen, {282, 242, 740, 524}},
      {"just fits at the bottom right", {280, 213, 740, 524}, twm, screen, {282, 242, 740, 524}},
      {"above and left of the screen", {-50, -20, 300, 200}, twm, screen, {2, 29, 300, 200}},
      {"a panel along the top", {3, 0, 740, 524}, twm, {0, 32, 1024, 736}, {5, 61, 740, 524}},
      {"a second screen to the right", {3, 0, 740, 524}, twm, {1024, 0, 1280, 1024}, {1026, 29, 740, 524}},
      {"larger than the screen: top-left wins", {3, 0, 740, 524}, twm, {0, 0, 640, 480}, {2, 29, 740, 524}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(placeClient(c.wanted, c.frame, c.available), c.client) << c.what;
}

TEST(WindowPlacement, FormWindowsArePlacedByTheRule) {
  platform::ensureApplication();
  const QRect avail = QGuiApplication::primaryScreen()->availableGeometry();
  Form f("FormPlace");
  f.resize(300 * kTwipsPerPixel, 200 * kTwipsPerPixel);
  f.move(50, 5);  // twips: pixel 3, 0
  f.show();
  QCoreApplication::processEvents();
  QWidget* w = ControlWidget::of(f);
  ASSERT_NE(w, nullptr);
  const QMargins m = w->windowHandle()->frameMargins();
  const PixelRect want = placeClient({3, 0, 300, 200}, {m.left(), m.top(), m.right(), m.bottom()},
                                     {avail.x(), avail.y(), avail.width(), avail.height()});
  EXPECT_EQ(w->geometry(), QRect(want.left, want.top, want.width, want.height));
  EXPECT_GE(w->frameGeometry().top(), avail.top());

  // Off the far corner of the screen: moved back in whole.
  f.move((avail.right() + 100) * kTwipsPerPixel, (avail.bottom() + 100) * kTwipsPerPixel);
  QCoreApplication::processEvents();
  EXPECT_TRUE(avail.contains(w->frameGeometry())) << w->frameGeometry().x() << ","
                                                  << w->frameGeometry().y();
  EXPECT_EQ(f.left(), (avail.right() + 100) * kTwipsPerPixel);  // the form keeps what was asked
}

TEST(ControlFonts, OwnFontOverTheApplicationsAndBackAgain) {
  platform::ensureApplication();
  Form f("FormFonts");
  Label& l = f.addLabel("pfrom", "P all", 60, 870, 495, 180);
  TextBox& t = f.addTextBox("siv", "1234", 60, 1200, 750, 285);
  QWidget* lw = ControlWidget::of(l);
  ASSERT_NE(lw, nullptr);
  EXPECT_EQ(lw->font(), QApplication::font());  // none of its own: the application's

  l.setFont({"DejaVu Serif", 7, true});
  t.setFont({"", 6.5});
  EXPECT_EQ(QFontInfo(lw->font()).family(), "DejaVu Serif");
  EXPECT_DOUBLE_EQ(lw->font().pointSizeF(), 7);
  EXPECT_TRUE(lw->font().bold());
  EXPECT_EQ(ControlWidget::of(t)->font().family(), QApplication::font().family());
  EXPECT_DOUBLE_EQ(ControlWidget::of(t)->font().pointSizeF(), 6.5);

  l.setFont({});
  EXPECT_EQ(lw->font(), QApplication::font());
}

}  // namespace

// A label used as a long-text display: read-only, wrapped, scrolled in its own rectangle, a CR
// a line break; and a label's own font.
#include <gtest/gtest.h>

#include <QtWidgets/QApplication>
#include <QtWidgets/QLabel>
#include <QtWidgets/QPlainTextEdit>
#include <QtWidgets/QScrollBar>
#include <string>

#include "platform/app_loop.h"
#include "platform/ui.h"
#include "platform/ui_qt.h"

namespace {

using namespace platform::ui;

TEST(UiLongText, ScrollingLabelIsAReadOnlyWrappedScrolledText) {
  platform::ensureApplication();
  Form form("FormL");
  form.resize(300 * 15, 200 * 15);
  form.show();
  Label& l = form.addLabel("Mvhelp", "", 15, 15, 200 * 15, 60 * 15);
  ASSERT_NE(qobject_cast<QLabel*>(ControlWidget::of(l)), nullptr);

  std::string text = " First line.\r Second line,";
  for (int i = 0; i < 60; ++i) text += " and a long run of words that wraps";
  l.setBackColor(colour::kPaleGrey);
  l.setScrolling(true);
  l.setCaption(text);
  auto* view = qobject_cast<QPlainTextEdit*>(ControlWidget::of(l));
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(l.caption(), text);  // the control keeps its CR
  EXPECT_TRUE(view->toPlainText().startsWith(" First line.\n Second line,"));
  EXPECT_FALSE(view->toPlainText().contains('\r'));
  EXPECT_TRUE(view->isReadOnly());
  EXPECT_EQ(view->lineWrapMode(), QPlainTextEdit::WidgetWidth);
  EXPECT_EQ(view->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  EXPECT_EQ(view->geometry(), QRect(1, 1, 200, 60));
  EXPECT_EQ(view->palette().color(QPalette::Base), QColor(0xE0, 0xE0, 0xE0));
  QCoreApplication::processEvents();
  EXPECT_GT(view->verticalScrollBar()->maximum(), 0);  // longer than the rectangle

  // Back to a plain label: a label widget again, with the same text.
  l.setScrolling(false);
  auto* plain = qobject_cast<QLabel*>(ControlWidget::of(l));
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(plain->text().toStdString(), text);
}

TEST(UiLongText, LabelFontFamilyAndPoints) {
  platform::ensureApplication();
  Form form("FormF");
  Label& l = form.addLabel("vp1h", "PV", 0, 0, 375, 135);
  EXPECT_EQ(l.font(), platform::ui::Font{});
  l.setFont({"Small Fonts", 6.75});
  EXPECT_EQ(l.font().family, "Small Fonts");
  EXPECT_DOUBLE_EQ(l.font().pointSize, 6.75);
  QWidget* w = ControlWidget::of(l);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->font().family(), "Small Fonts");
  EXPECT_DOUBLE_EQ(w->font().pointSizeF(), 6.75);
}

}  // namespace

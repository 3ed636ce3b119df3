// Every caption of every window reads whole: the font each widget really uses (offscreen, the
// fonts installed here) fits the text into the control's designed size.
#include <gtest/gtest.h>

#include <QtGui/QFontMetrics>
#include <QtWidgets/QLabel>
#include <QtWidgets/QLineEdit>
#include <QtWidgets/QStyle>
#include <QtWidgets/QStyleOptionFrame>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/app_loop.h"
#include "platform/ui.h"
#include "platform/ui_qt.h"
#include "shell/main_form.h"
#include "shell/shell.h"
#include "tests/support/program_fixture.h"

namespace {

namespace ui = platform::ui;

// The area a widget draws its caption in, and whether the caption may wrap.
struct TextArea {
  QRect rect;
  bool wraps = false;
};

TextArea areaOf(QWidget* w) {
  if (auto* label = qobject_cast<QLabel*>(w)) return {label->contentsRect(), label->wordWrap()};
  // A line edit: its frame's contents less the text margins and the two pixels it keeps left
  // and right of the text.
  auto* edit = qobject_cast<QLineEdit*>(w);
  QStyleOptionFrame opt;
  opt.initFrom(edit);
  opt.rect = edit->rect();
  opt.lineWidth = edit->hasFrame() ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, edit) : 0;
  opt.features = QStyleOptionFrame::None;
  QRect r = edit->style()->subElementRect(QStyle::SE_LineEditContents, &opt, edit);
  r = r.marginsRemoved(edit->textMargins()).adjusted(2, 0, -2, 0);
  return {r, false};
}

std::string str(const QRect& r) {
  return std::to_string(r.width()) + "x" + std::to_string(r.height()) + "+" +
         std::to_string(r.left()) + "+" + std::to_string(r.top());
}

// What does not fit, or "" when the caption reads whole: the text lies inside the control's
// text area and under no control stacked above it.
std::string clipped(QWidget* w, const std::string& caption) {
  const QFontMetrics fm(w->font());
  const TextArea area = areaOf(w);
  const QRect& r = area.rect;
  const QString text = QString::fromStdString(caption);
  const auto* label = qobject_cast<QLabel*>(w);
  const int flags = (label ? int(label->alignment()) : int(Qt::AlignLeft | Qt::AlignVCenter)) |
                    (area.wraps ? int(Qt::TextWordWrap) : 0);
  QRect drawn = fm.boundingRect(area.wraps ? QRect(r.topLeft(), QSize(r.width(), 10000)) : r,
                                flags, text);
  // A line taller than the control still reads when its glyphs lie whole inside it (a letter
  // in a fader strip).
  if (!area.wraps && drawn.height() > r.height()) {
    const QRect ink = fm.tightBoundingRect(text).translated(0, drawn.top() + fm.ascent());
    drawn.setTop(ink.top());
    drawn.setBottom(ink.bottom());
  }
  if (!r.contains(drawn)) return "text " + str(drawn) + " outside " + str(r);
  const QRect onParent = drawn.translated(w->pos());
  const QObjectList& siblings = w->parentWidget()->children();
  for (qsizetype k = siblings.indexOf(w) + 1; k < siblings.size(); ++k)
    if (auto* s = qobject_cast<QWidget*>(siblings[k]);
        s && !s->isHidden() && s->geometry().intersects(onParent))
      return "text " + str(onParent) + " under the control at " + str(s->geometry());
  return "";
}

// Checks every label and text box of the form that has a caption; returns how many.
int expectCaptionsFit(const ui::Form& form) {
  int checked = 0;
  for (ui::Control* c : form.controls()) {
    if ((c->kind() != ui::Kind::Label && c->kind() != ui::Kind::TextBox) || c->caption().empty())
      continue;
    QWidget* w = ui::ControlWidget::of(*c);
    EXPECT_NE(w, nullptr) << c->name();
    // A long text's display scrolls: it reads whole.
    if (!qobject_cast<QLabel*>(w) && !qobject_cast<QLineEdit*>(w)) continue;
    ++checked;
    EXPECT_EQ(clipped(w, c->caption()), "")
        << form.name() << "." << c->name() << " \"" << c->caption() << "\" in " << w->font().family().toStdString()
        << " " << w->font().pointSizeF() << "pt";
  }
  return checked;
}

TEST(Captions, EveryCaptionOfTheMixerDisplayFitsItsControl) {
  platform::ensureApplication();
  shell::MainForm form;
  EXPECT_GT(expectCaptionsFit(form), 60);
}

// After start-up (the welcome line, the first tip), and every tip of the tips line in turn.
class RunningCaptions : public test_support::ProgramTest {};

TEST_F(RunningCaptions, StartUpCaptionsAndEveryTipFit) {
  startProgram();
  EXPECT_GT(expectCaptionsFit(form()), 60);
  std::set<std::string> tips;
  for (int k = 0; k < shell::Shell::kTips; ++k) {
    form().tiplbl->click();
    tips.insert(form().tiplbl->caption());
    QWidget* w = ui::ControlWidget::of(*form().tiplbl);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(clipped(w, form().tiplbl->caption()), "") << form().tiplbl->caption();
  }
  EXPECT_GT(tips.size(), 40u);
  // The song clock at its widest.
  form().Elapset->setCaption(transport::Transport::clockText(10, 59, 59));
  EXPECT_EQ(clipped(ui::ControlWidget::of(*form().Elapset), form().Elapset->caption()), "");
}

// Every window open: the fader strips of a row in both automation modes, the punch-in dialog
// and the shift box with times and counts typed, the help window.
TEST_F(RunningCaptions, EveryWindowsCaptionsFit) {
  test_support::writeAll(track(1), test_support::wavFile(1, std::vector<int16_t>(100)));
  startProgram();
  form().PL[0]->setCaption("R");
  form().VL[0]->setCaption("P");
  form().Pinbtn->click();
  form().Fun[0]->click();  // makes the shift box (the menu is dismissed)
  form().HLPDOC->click();
  const std::pair<const char*, const char*> typed[] = {
      {"Minenter", "02"}, {"Secenter", "57"}, {"samstoinsert", "100"}, {"samstodel", "200"}};
  std::set<std::string> windows;
  for (ui::Form* f : program->forms()) {
    for (const auto& [box, text] : typed)
      if (ui::Control* c = f->find(box)) c->setText(text);
    windows.insert(f->name());
    expectCaptionsFit(*f);
  }
  EXPECT_EQ(windows, (std::set<std::string>{"FormMV2000", "Form2", "Trackmod", "Vemrahelp"}));
}

}  // namespace

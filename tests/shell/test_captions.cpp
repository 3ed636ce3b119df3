// Every caption of every window reads whole: the font each widget really uses (offscreen,
// the fonts installed here) fits the text into the control's designed size.
#include <gtest/gtest.h>

#include <QtGui/QFontMetrics>
#include <QtWidgets/QLabel>
#include <QtWidgets/QLineEdit>
#include <QtWidgets/QStyle>
#include <QtWidgets/QStyleOptionFrame>
#include <set>
#include <string>

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

// What does not fit, or "" when the caption reads whole.
std::string clipped(QWidget* w, const std::string& caption) {
  const QFontMetrics fm(w->font());
  const TextArea area = areaOf(w);
  const QString text = QString::fromStdString(caption);
  if (area.wraps) {
    const QRect needed =
        fm.boundingRect(QRect(0, 0, area.rect.width(), 10000), Qt::TextWordWrap, text);
    if (needed.height() > area.rect.height())
      return "wrapped height " + std::to_string(needed.height()) + " > " +
             std::to_string(area.rect.height());
    return "";
  }
  const auto* label = qobject_cast<QLabel*>(w);
  // A line taller than a label reads when its letters lie whole in it (a fader strip's R).
  const int inkBottom = fm.ascent() + fm.tightBoundingRect(text).bottom();
  if (fm.height() > area.rect.height() && (!label || inkBottom >= area.rect.height()))
    return "height " + std::to_string(fm.height()) + " > " + std::to_string(area.rect.height());
  if (fm.horizontalAdvance(text) > area.rect.width())
    return "width " + std::to_string(fm.horizontalAdvance(text)) + " > " +
           std::to_string(area.rect.width());
  const int align = label ? int(label->alignment()) : Qt::AlignVCenter;
  const QRect shown = (fm.boundingRect(area.rect, align, text) & area.rect).translated(w->pos());
  const QObjectList& siblings = w->parentWidget()->children();  // those after it lie above it
  for (QObject* o : siblings.sliced(siblings.indexOf(w) + 1))
    if (auto* s = qobject_cast<QWidget*>(o); s && !s->isHidden() && s->geometry().intersects(shown))
      return "under the control at " + std::to_string(s->x()) + "," + std::to_string(s->y());
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
    if (!qobject_cast<QLabel*>(w) && !qobject_cast<QLineEdit*>(w)) continue;  // a long text scrolls
    ++checked;
    EXPECT_EQ(clipped(w, c->caption()), "")
        << c->name() << " \"" << c->caption() << "\" in " << w->font().family().toStdString()
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

// Every window open, the strips' letters of both automation modes, times and counts typed.
TEST_F(RunningCaptions, EveryWindowsCaptionsFit) {
  test_support::writeAll(track(1), test_support::wavFile(1, std::vector<int16_t>(100)));
  startProgram();
  form().PL[0]->setCaption("R");
  form().VL[0]->setCaption("P");
  form().Pinbtn->click();
  form().Fun[0]->click();  // makes the shift box (the menu is dismissed)
  form().HLPDOC->click();
  ASSERT_EQ(program->forms().size(), 4u);  // the mixer display, Form2, Trackmod, Vemrahelp
  for (ui::Form* f : program->forms()) {
    SCOPED_TRACE(f->name());
    for (const char* box : {"Minenter", "Secenter", "samstodel"})
      if (ui::Control* c = f->find(box)) c->setText(*box == 's' ? "200" : "57");
    expectCaptionsFit(*f);
  }
}

}  // namespace

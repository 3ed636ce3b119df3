// The real boxes, answered as a person answers them: message boxes, the input box and the pop-up
// menu run their own modal loops, so a timer inside that loop finds the box on screen and sends
// it window-system mouse and key input (or closes it with its close button).
#include <gtest/gtest.h>

#include <QtCore/QTimer>
#include <QtTest/QTest>
#include <QtWidgets/QAbstractButton>
#include <QtWidgets/QApplication>
#include <QtWidgets/QLineEdit>
#include <QtWidgets/QMenu>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "platform/app_loop.h"
#include "platform/ui.h"
#include "platform/ui_qt.h"

using namespace platform;
using namespace platform::ui;

namespace {

// What a person does to the box on screen.
enum class Act { Click, Return, Escape, Close, ClickOutside, Keys };

// Button captions without their mnemonic marks ("&Yes" reads "Yes").
QString plainText(const QAbstractButton* b) { return b->text().remove('&'); }

QAbstractButton* buttonCalled(QWidget* box, const std::string& caption) {
  for (auto* b : box->findChildren<QAbstractButton*>())
    if (b->isVisible() && plainText(b).toStdString() == caption) return b;
  return nullptr;
}

QWindow* windowOf(QWidget* w) { return w->window()->windowHandle(); }

// Input for the box. `arg` is a button's caption, a menu item's caption, or (Keys) the text to
// type before pressing Return; for a menu, Keys is a count of Down presses before Return.
void perform(QWidget* box, Act act, const std::string& arg) {
  QWindow* win = windowOf(box);
  ASSERT_NE(win, nullptr);
  switch (act) {
    case Act::Click:
      if (auto* menu = qobject_cast<QMenu*>(box)) {
        QAction* hit = nullptr;
        for (QAction* a : menu->actions())
          if (a->text().toStdString() == arg) hit = a;
        ASSERT_NE(hit, nullptr) << arg;
        const QPoint at = menu->actionGeometry(hit).center();
        QTest::mouseMove(win, at);
        QTest::mouseClick(win, Qt::LeftButton, Qt::NoModifier, at);
      } else {
        QAbstractButton* b = buttonCalled(box, arg);
        ASSERT_NE(b, nullptr) << "no button " << arg;
        QTest::mouseClick(win, Qt::LeftButton, Qt::NoModifier,
                          b->mapTo(box->window(), b->rect().center()));
      }
      break;
    case Act::Return: QTest::keyClick(win, Qt::Key_Return); break;
    case Act::Escape: QTest::keyClick(win, Qt::Key_Escape); break;
    case Act::Close: win->close(); break;  // the window's own close button
    case Act::ClickOutside: {
      // A press beside the menu (the pointer is grabbed by the pop-up) dismisses it.
      const QPoint beside(box->width() + 40, box->height() + 40);
      QTest::mouseClick(win, Qt::LeftButton, Qt::NoModifier, beside);
      break;
    }
    case Act::Keys:
      if (qobject_cast<QMenu*>(box)) {
        for (int n = std::stoi(arg); n > 0; --n) QTest::keyClick(win, Qt::Key_Down);
      } else {
        auto* edit = box->findChild<QLineEdit*>();
        ASSERT_NE(edit, nullptr);
        edit->selectAll();  // the offered text is replaced, as a person's typing replaces it
        for (char c : arg) QTest::keyClick(win, c);
      }
      QTest::keyClick(win, Qt::Key_Return);
      break;
  }
}

// Runs `show` (which shows one box and returns when it is answered) while a timer waits for the
// box and answers it. A box still open long after its input is closed, as a failure (a test must
// end, whatever the box does).
struct Answerer {
  Answerer(Act a, std::string with) : act(a), arg(std::move(with)) {}
  Act act;
  std::string arg;
  bool acted = false, stuck = false;
  std::string title;
  QRect frame;  // where the box stood

  void run(const std::function<void()>& show) {
    QTimer timer;
    int ticks = 0;
    QObject::connect(&timer, &QTimer::timeout, [&] {
      QWidget* box = QApplication::activePopupWidget();
      if (!box) box = QApplication::activeModalWidget();
      if (!box || !box->isVisible()) return;
      if (!acted) {
        acted = true;
        title = box->windowTitle().toStdString();
        frame = box->frameGeometry();
        perform(box, act, arg);
      } else if (++ticks > 300) {
        stuck = true;
        box->close();
        box->hide();
      }
    });
    timer.start(10);
    show();
    timer.stop();
  }
};

class RealBoxes : public ::testing::Test {
 protected:
  void SetUp() override {
    ensureApplication();
    ASSERT_TRUE(ControlWidget::widgetsAvailable());
    setResponder(nullptr);  // the real widgets answer
    clearShownBoxes();
  }
};

struct BoxCase {
  int buttons;
  Act act;
  std::string arg;
  int answer;
};

TEST_F(RealBoxes, MessageBoxesAnswerWithTheButtonPressed) {
  const BoxCase cases[] = {
      {kOkOnly, Act::Click, "OK", kOk},
      {kOkOnly, Act::Return, "", kOk},
      {kOkOnly, Act::Escape, "", kOk},
      {kOkOnly, Act::Close, "", kOk},
      {kOkCancel, Act::Click, "OK", kOk},
      {kOkCancel, Act::Click, "Cancel", kCancel},
      {kOkCancel, Act::Return, "", kOk},
      {kOkCancel, Act::Escape, "", kCancel},
      {kOkCancel, Act::Close, "", kCancel},
      {kYesNo, Act::Click, "Yes", kYes},
      {kYesNo, Act::Click, "No", kNo},
      {kYesNo, Act::Return, "", kYes},
      {kYesNo, Act::Escape, "", kNo},
      {kYesNo, Act::Close, "", kNo},
      {kOkCancel | 32, Act::Return, "", kOk},  // with an icon
      {kYesNo | 48, Act::Escape, "", kNo},
  };
  for (const BoxCase& c : cases) {
    SCOPED_TRACE("buttons " + std::to_string(c.buttons) + ", act " +
                 std::to_string(static_cast<int>(c.act)) + " " + c.arg);
    Answerer person{c.act, c.arg};
    int answer = -1;
    person.run([&] { answer = msgBox(" Are you sure?", c.buttons, "QUIT"); });
    EXPECT_TRUE(person.acted);
    EXPECT_FALSE(person.stuck);
    EXPECT_EQ(person.title, "QUIT");
    EXPECT_EQ(answer, c.answer);
  }
}

struct InputCase {
  Act act;
  std::string arg;
  std::optional<std::string> typed;  // nothing: Cancel
};

TEST_F(RealBoxes, InputBoxGivesTheTextOnOkAndNothingOtherwise) {
  const InputCase cases[] = {
      {Act::Click, "OK", "Mysong"},
      {Act::Return, "", "Mysong"},
      {Act::Keys, "Take 2", "Take 2"},
      {Act::Click, "Cancel", std::nullopt},
      {Act::Escape, "", std::nullopt},
      {Act::Close, "", std::nullopt},
  };
  for (const InputCase& c : cases) {
    SCOPED_TRACE("act " + std::to_string(static_cast<int>(c.act)) + " " + c.arg);
    Answerer person{c.act, c.arg};
    std::string got = "unset";
    person.run([&] { got = inputBox(" Song name ?", "NEW SONG", "Mysong"); });
    EXPECT_TRUE(person.acted);
    EXPECT_FALSE(person.stuck);
    EXPECT_EQ(person.title, "NEW SONG");
    EXPECT_EQ(got, c.typed.value_or(""));
    ASSERT_FALSE(shownBoxes().empty());
    EXPECT_EQ(shownBoxes().back().answer, c.typed.value_or("Cancel"));
  }
}

// A prompt far wider than the screen, a path too: on the screen less a margin, centred on main.
TEST_F(RealBoxes, BoxesFitTheScreenCentredOverTheMainWindow) {
  Form main("FormMain");
  main.move(1500, 1200);
  main.resize(6000, 3000);
  main.show();
  QApplication::processEvents();  // the window placed for its frame
  const QPoint centre = ControlWidget::of(main)->frameGeometry().center();
  const auto [w, h] = screenSizePixels();
  const std::string text = QString("Enter EXACTLY the editor's path. ").repeated(9).toStdString() +
                           "eg C:\\" + std::string(200, 'w') + ".exe";
  for (bool input : {false, true}) {
    Answerer person{Act::Escape, ""};
    person.run([&] { input ? (void)inputBox(text, "T") : (void)msgBox(text, kOkOnly, "T"); });
    EXPECT_TRUE(QRect(16, 16, w - 32, h - 32).contains(person.frame)) << input;
    EXPECT_LE((person.frame.center() - centre).manhattanLength(), 2) << input;
  }
}

TEST_F(RealBoxes, PopupMenuChoosesTheItemOrNothing) {
  Form form("FormMenu");
  Menu& menu = form.addMenu("mnuTrack");
  std::string clicked;
  for (const char* name : {"mnuDel", "mnuSep", "mnuSolo", "mnuMute", "mnuGone"}) {
    const std::string caption = name == std::string("mnuSep") ? "-" : std::string(name + 3);
    Control& item = menu.addItem(name, caption);
    item.onClick = [&clicked, name] { clicked = name; };
  }
  menu.item("mnuMute")->setEnabled(false);
  menu.item("mnuGone")->setVisible(false);

  const struct {
    Act act;
    std::string arg;
    std::optional<std::string> chosen;
  } cases[] = {
      {Act::Click, "Del", "mnuDel"},
      {Act::Click, "Solo", "mnuSolo"},
      {Act::Keys, "1", "mnuDel"},
      {Act::Keys, "2", "mnuSolo"},  // the separator is passed over
      {Act::Keys, "3", "mnuDel"},   // the disabled item too: down wraps to the first
      {Act::Escape, "", std::nullopt},
      {Act::ClickOutside, "", std::nullopt},
      {Act::Close, "", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("act " + std::to_string(static_cast<int>(c.act)) + " " + c.arg);
    clicked.clear();
    Answerer person{c.act, c.arg};
    std::optional<std::string> got = "unset";
    person.run([&] { got = popupMenu(menu); });
    EXPECT_TRUE(person.acted);
    EXPECT_FALSE(person.stuck);
    EXPECT_EQ(got, c.chosen);
    EXPECT_EQ(clicked, c.chosen.value_or(""));
  }
}

}  // namespace

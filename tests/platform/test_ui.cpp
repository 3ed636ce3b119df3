#include <gtest/gtest.h>

#include <QtCore/QTimer>
#include <QtGui/QKeyEvent>
#include <QtGui/QMouseEvent>
#include <QtGui/QWindow>
#include <QtWidgets/QApplication>
#include <QtWidgets/QLabel>
#include <QtWidgets/QLineEdit>
#include <deque>
#include <string>
#include <vector>

#include "platform/app_loop.h"
#include "platform/clock.h"
#include "platform/ui.h"
#include "platform/ui_qt.h"

using namespace platform;
using namespace platform::ui;

// Qt's entry for window-system mouse input (what QTest drives): double clicks are detected and
// the implicit grab applies as for a real mouse.
Q_GUI_EXPORT void qt_handleMouseEvent(QWindow* window, const QPointF& local, const QPointF& global,
                                      Qt::MouseButtons state, Qt::MouseButton button,
                                      QEvent::Type type, Qt::KeyboardModifiers mods, int timestamp);

namespace {

// Writes every event of the wired controls as one line ("A down 1 0 75 30", "A click", ...).
using Lines = std::vector<std::string>;
struct EventLog {
  Lines lines;
  void wire(Control& c) {
    auto mouse = [this, &c](std::string what) {
      return [this, &c, what](int b, int s, double x, double y) {
        lines.push_back(c.name() + " " + what + " " + std::to_string(b) + " " + std::to_string(s) +
                        " " + std::to_string(int(x)) + " " + std::to_string(int(y)));
      };
    };
    c.onMouseDown = mouse("down");
    c.onMouseMove = mouse("move");
    c.onMouseUp = mouse("up");
    c.onClick = [this, &c] { lines.push_back(c.name() + " click"); };
    c.onDblClick = [this, &c] { lines.push_back(c.name() + " dbl"); };
    c.onChange = [this, &c] { lines.push_back(c.name() + " change " + c.text()); };
  }
};

// Answers from a queue (the layer itself keeps the shown boxes).
struct QueueResponder : Responder {
  std::deque<std::string> answers;
  std::string next() {
    std::string a = answers.front();
    answers.pop_front();
    return a;
  }
  int answerBox(const BoxRecord&) override {
    std::string a = next();
    return a == "Cancel" ? kCancel : a == "Yes" ? kYes : a == "No" ? kNo : kOk;
  }
  std::optional<std::string> answerInput(const BoxRecord&) override { return next(); }
  std::optional<std::string> answerMenu(const BoxRecord&) override { return next(); }
};

// The application object made for the widget tests goes before the process exits: Qt's own
// statics are gone by the time a static destructor would delete it.
struct AppCleanup : ::testing::Environment {
  void TearDown() override { shutdownApplication(); }
};
const auto* const kAppCleanup = ::testing::AddGlobalTestEnvironment(new AppCleanup);

// A shown form with widgets (offscreen), and the synthetic input a window system would send.
class UiWidgets : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::ensureApplication();
    ASSERT_TRUE(ControlWidget::widgetsAvailable());
    form.resize(300 * 15, 200 * 15);
    form.setBackColor(colour::kWhite);
    form.show();
    ASSERT_NE(window(), nullptr);
    QCoreApplication::processEvents();  // exposed
  }
  void TearDown() override { setInputBlocked(false); }
  QWindow* window() { return ControlWidget::of(form)->windowHandle(); }
  void mouse(QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons held,
             Qt::KeyboardModifiers mods = Qt::NoModifier, QWindow* to = nullptr) {
    to = to ? to : window();
    qt_handleMouseEvent(to, at, to->mapToGlobal(at), held, button, type, mods, stamp += 10);
    QCoreApplication::processEvents();
  }
  void clickAt(QPointF at) {
    mouse(QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
    stamp += 5000;  // the next press is no double click
  }
  void key(int qtKey, Qt::KeyboardModifiers mods, const QString& text, bool repeat = false) {
    QKeyEvent e(QEvent::KeyPress, qtKey, mods, text, repeat);
    QApplication::sendEvent(window(), &e);
  }
  Form form{"FormT"};
  int stamp = 100000;
};

}  // namespace

TEST(UiLogic, ControlsWorkWithoutWidgets) {
  Form f("F");
  Label& l = f.addLabel("Cmd1", "  << Back", 1800, 1350, 1515, 135);
  Shape& s = f.addShape("Shape1", 0, 0, 1, 300);
  if (!QCoreApplication::instance()) {
    EXPECT_EQ(ControlWidget::of(l), nullptr);
  }
  EXPECT_EQ(l.caption(), "  << Back");
  EXPECT_DOUBLE_EQ(l.left(), 1800);
  EXPECT_DOUBLE_EQ(s.width(), 1);  // a fraction of a pixel is kept as set
  EXPECT_EQ(&f.at("cmd1"), &l);  // names are found in any case
  EXPECT_EQ(f.find("nothing"), nullptr);
  EXPECT_THROW(f.at("nothing"), std::out_of_range);
  EXPECT_THROW(f.addLabel("CMD1", "", 0, 0, 1, 1), std::invalid_argument);

  EventLog log;
  log.wire(l);
  l.mouseDown(1, 0, 15, 30);
  l.mouseUp(1, 0, 15, 30);
  l.click();
  l.setEnabled(false);
  l.click();
  l.setEnabled(true);
  f.setEnabled(false);
  l.mouseDown(2, 0, 0, 0);
  f.setEnabled(true);
  EXPECT_EQ(log.lines, (Lines{"Cmd1 down 1 0 15 30", "Cmd1 up 1 0 15 30", "Cmd1 click"}));

  // A text box raises Change when its text changes, typed or set; typing needs it enabled.
  TextBox& t = f.addTextBox("Text1", "abc", 0, 0, 600, 300);
  log.lines.clear();
  log.wire(t);
  t.setText("abc");
  t.type("x");
  t.setEnabled(false);
  t.type("y");
  t.setText("z");
  EXPECT_EQ(log.lines, (Lines{"Text1 change x", "Text1 change z"}));

  // The drawing is kept in pixels until Cls.
  f.line(0, 15, 150, 15, colour::kRed);
  f.setScaleMode(ScaleMode::Pixels);
  f.line(1, 2, 3, 4, colour::kBlue);
  ASSERT_EQ(f.lines().size(), 2u);
  EXPECT_DOUBLE_EQ(f.lines()[0].y1, 1);
  EXPECT_DOUBLE_EQ(f.lines()[0].x2, 10);
  EXPECT_EQ(f.lines()[1].colour, colour::kBlue);
  f.cls();
  EXPECT_TRUE(f.lines().empty());
}

TEST(UiLogic, DispatchDepthAndDeferredDelete) {
  bool gone = false;
  struct Probe : Form {
    explicit Probe(bool* g) : Form("Probe"), gone(g) {}
    ~Probe() override { *gone = true; }
    bool* gone;
  };
  auto owned = std::make_unique<Probe>(&gone);
  Label& l = owned->addLabel("Quit", "Quit", 0, 0, 600, 300);
  int depthInside = 0;
  bool goneInside = true;
  std::unique_ptr<Form> form = std::move(owned);
  l.onClick = [&] {
    depthInside = handlerDepth();
    deleteLater(std::move(form));
    goneInside = gone;  // still there while the handler runs
  };
  l.click();
  EXPECT_EQ(depthInside, 1);
  EXPECT_FALSE(goneInside);
  EXPECT_TRUE(gone);  // deleted as the handler returned
  EXPECT_EQ(handlerDepth(), 0);

  Form f("F");
  Label& t = f.addLabel("Throw", "", 0, 0, 1, 1);
  t.onClick = [] { throw std::runtime_error("handler failed"); };
  EXPECT_THROW(t.click(), std::runtime_error);
  EXPECT_EQ(handlerDepth(), 0);
}

TEST(UiLogic, BoxesAndMenusThroughTheResponder) {
  QueueResponder r;
  setResponder(&r);
  clearShownBoxes();
  r.answers = {"Yes", "Cancel", "Song 2", "Yes", "Undo", "Hidden", ""};
  EXPECT_EQ(msgBox("Save first?", kYesNo), kYes);
  EXPECT_EQ(msgBox("Start?", kOkCancel, "Record"), kCancel);
  EXPECT_EQ(inputBox("Name?", "", "Song 1"), "Song 2");
  EXPECT_EQ(msgBox("Done"), kOk);  // "Yes" is not offered by an OK box: OK is taken

  Form f("F");
  Menu& m = f.addMenu("mnuEdit");
  Control& undo = m.addItem("Undo", "&Undo");
  m.addItem("Hidden", "Hidden").setVisible(false);
  int undone = 0;
  undo.onClick = [&] { undone += handlerDepth(); };
  EXPECT_EQ(popupMenu(m), "Undo");
  EXPECT_EQ(popupMenu(m), std::nullopt);  // a hidden item cannot be chosen
  EXPECT_EQ(popupMenu(m), std::nullopt);  // dismissed
  EXPECT_EQ(undone, 1);
  setResponder(nullptr);

  Lines shown;
  for (const BoxRecord& b : shownBoxes())
    shown.push_back(b.title + "|" + b.text + "|" + b.defaultText + "|" + b.answer);
  EXPECT_EQ(shown, (Lines{"VemraCd|Save first?||Yes", "Record|Start?||Cancel",
                          "VemraCd|Name?|Song 1|Song 2", "VemraCd|Done||OK",
                          "mnuEdit|&Undo||Undo", "mnuEdit|&Undo||", "mnuEdit|&Undo||"}));
  clearShownBoxes();
  EXPECT_TRUE(shownBoxes().empty());
}

TEST(UiLogic, TimersRunOnTheSimulatedClock) {
  SimClock clock(0);
  ScriptedYield driver(clock);
  setYieldDriver(&driver);
  std::vector<int64_t> fired;
  auto runTo = [&](int64_t t) {
    while (nowMs() < t) driver.yield(t);
  };
  {
    Form f("F");
    Timer& t = f.addTimer("Timer1", 1000, true);
    t.onTimer = [&] { fired.push_back(nowMs()); };
    runTo(2500);
    EXPECT_EQ(fired, (std::vector<int64_t>{1000, 2000}));
    t.setEnabled(false);
    runTo(5000);
    EXPECT_EQ(fired.size(), 2u);
    t.setEnabled(true);  // a new period starts
    runTo(6100);
    t.setInterval(300);  // re-timed: the 7100 tick is gone
    runTo(7150);
    EXPECT_EQ(fired, (std::vector<int64_t>{1000, 2000, 6000, 6400, 6700, 7000}));
  }
  runTo(9000);  // the form and its timer are gone: what was posted for it does nothing
  EXPECT_EQ(fired.size(), 6u);
  setYieldDriver(nullptr);
}

TEST_F(UiWidgets, PropertiesShowOnTheWidgets) {
  Label& l = form.addLabel("Cmd1", "  <<  &Back", 150, 300, 1515, 135);
  Shape& line = form.addShape("Shape1", 150, 0, 1, 300);
  Shape& knob = form.addShape("P01", 120, 90, 5, 6, Unit::Pixels);
  auto* ql = qobject_cast<QLabel*>(ControlWidget::of(l));
  ASSERT_NE(ql, nullptr);
  EXPECT_EQ(ql->textFormat(), Qt::PlainText);
  EXPECT_EQ(ql->text(), "  <<  &Back");  // as written: no mnemonic, no markup, blanks kept
  EXPECT_EQ(ql->geometry(), QRect(10, 20, 101, 9));
  EXPECT_EQ(ControlWidget::of(line)->geometry(), QRect(10, 0, 1, 20));
  EXPECT_EQ(ControlWidget::of(knob)->geometry(), QRect(120, 90, 5, 6));
  knob.setLeft(121.4);
  EXPECT_EQ(ControlWidget::of(knob)->x(), 121);
  EXPECT_DOUBLE_EQ(knob.left(), 121.4);

  l.setForeColor(colour::kRed);
  l.setBackColor(colour::kBlue);
  l.setToolTip("Back to the start");
  EXPECT_EQ(ql->palette().color(QPalette::WindowText), QColor(255, 0, 0));
  EXPECT_EQ(ql->palette().color(QPalette::Window), QColor(0, 0, 255));
  EXPECT_TRUE(ql->autoFillBackground());
  EXPECT_EQ(ql->toolTip(), "Back to the start");
  l.setTransparent(true);
  EXPECT_FALSE(ql->autoFillBackground());
  l.setVisible(false);
  EXPECT_TRUE(ql->isHidden());

  TextBox& t = form.addTextBox("Text1", "hello", 0, 600, 1500, 300);
  auto* qt = qobject_cast<QLineEdit*>(ControlWidget::of(t));
  ASSERT_NE(qt, nullptr);
  EXPECT_EQ(qt->text(), "hello");
  t.setForeColor(colour::kYellow);
  EXPECT_EQ(qt->palette().color(QPalette::Text), QColor(255, 255, 0));
  form.setEnabled(false);
  EXPECT_FALSE(qt->isEnabled());

  form.setTitle("");
  EXPECT_EQ(ControlWidget::of(form)->windowTitle(), "");
  form.setPointer(Pointer::Hourglass);
  EXPECT_EQ(ControlWidget::of(form)->cursor().shape(), Qt::WaitCursor);
  setScreenSizeOverride(std::pair{800, 600});
  EXPECT_EQ(screenSizePixels(), (std::pair{800, 600}));
  setScreenSizeOverride(std::nullopt);
  EXPECT_GT(screenSizePixels().first, 0);
}

TEST_F(UiWidgets, MouseOrderFromWindowInput) {
  Label& a = form.addLabel("A", "A", 150, 150, 1500, 300);  // pixels 10,10 .. 110,30
  Label& b = form.addLabel("B", "B", 150, 750, 1500, 300);  // pixels 10,50 .. 110,70
  EventLog log;
  log.wire(a);
  log.wire(b);

  mouse(QEvent::MouseMove, {15, 12}, Qt::NoButton, Qt::NoButton);
  log.lines.clear();
  for (int i = 0; i < 2; ++i) {  // the second press makes a double click
    mouse(QEvent::MouseButtonPress, {15, 12}, Qt::LeftButton, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, {15, 12}, Qt::LeftButton, Qt::NoButton);
  }
  stamp += 5000;
  EXPECT_EQ(log.lines, (Lines{"A down 1 0 75 30", "A up 1 0 75 30", "A click", "A dbl",
                              "A up 1 0 75 30"}));

  // Moves are raised on a new pixel only; a right press gives no click.
  log.lines.clear();
  mouse(QEvent::MouseMove, {20.2, 12}, Qt::NoButton, Qt::NoButton);
  mouse(QEvent::MouseMove, {20.4, 12.3}, Qt::NoButton, Qt::NoButton);
  mouse(QEvent::MouseMove, {21, 12}, Qt::NoButton, Qt::NoButton);
  mouse(QEvent::MouseButtonPress, {21, 12}, Qt::RightButton, Qt::RightButton,
        Qt::ShiftModifier | Qt::ControlModifier);
  mouse(QEvent::MouseButtonRelease, {21, 12}, Qt::RightButton, Qt::NoButton);
  EXPECT_EQ(log.lines, (Lines{"A move 0 0 150 30", "A move 0 0 165 30", "A down 2 3 165 30",
                              "A up 2 0 165 30"}));

  // The release goes to the control that took the press, though the pointer is over another
  // and the press handler runs a nested event loop meanwhile; outside the control, no click.
  log.lines.clear();
  a.onMouseDown = [&](int, int, double, double) {
    bool released = false;
    a.onMouseUp = [&](int, int, double, double y) {
      log.lines.push_back("A up at " + std::to_string(int(y)));
      released = true;
    };
    QTimer::singleShot(0, [&] {
      mouse(QEvent::MouseMove, {20, 60}, Qt::NoButton, Qt::LeftButton);
      mouse(QEvent::MouseButtonRelease, {20, 60}, Qt::LeftButton, Qt::NoButton);
    });
    EXPECT_TRUE(waitUntil([&] { return released; }, nowMs() + 5000));
  };
  mouse(QEvent::MouseButtonPress, {21, 12}, Qt::LeftButton, Qt::LeftButton);
  EXPECT_EQ(log.lines, (Lines{"A move 1 0 150 750", "A up at 750"}));

  // Nothing for a disabled control, a disabled form, or while input is blocked.
  log.lines.clear();
  b.setEnabled(false);
  clickAt({15, 55});
  b.setEnabled(true);
  form.setEnabled(false);
  clickAt({15, 55});
  form.setEnabled(true);
  setInputBlocked(true);
  clickAt({15, 55});
  setInputBlocked(false);
  EXPECT_TRUE(log.lines.empty());

  // A click whose handler closes and deletes the form it came from.
  auto other = std::make_unique<Form>("Other");
  Label& c = other->addLabel("C", "C", 0, 0, 1500, 300);
  other->show();
  c.onClick = [&] { deleteLater(std::move(other)); };
  QWindow* w = ControlWidget::of(*other)->windowHandle();
  mouse(QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton, Qt::LeftButton, {}, w);
  mouse(QEvent::MouseButtonRelease, {5, 5}, Qt::LeftButton, Qt::NoButton, {}, w);
  EXPECT_EQ(other, nullptr);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST_F(UiWidgets, KeyPreviewSeesKeysBeforeTheTextBox) {
  TextBox& t = form.addTextBox("Text1", "", 0, 0, 1500, 300);
  QWidget* qt = ControlWidget::of(t);
  qt->setFocus();
  ASSERT_EQ(window()->focusObject(), qt);
  std::vector<std::pair<int, int>> keys;
  form.onKeyDown = [&](int code, int shift) { keys.emplace_back(code, shift); };

  key(Qt::Key_Plus, Qt::KeypadModifier, "+");  // no preview: the text box takes it
  EXPECT_TRUE(keys.empty());
  form.setKeyPreview(true);
  key(Qt::Key_Plus, Qt::KeypadModifier, "+");
  key(Qt::Key_Plus, Qt::KeypadModifier, "+", true);  // auto-repeat
  key(Qt::Key_F5, Qt::ShiftModifier, "");
  key(Qt::Key_A, Qt::NoModifier, "a");
  key(Qt::Key_Percent, Qt::NoModifier, "%");  // not a key the program knows
  EXPECT_EQ(keys, (std::vector<std::pair<int, int>>{{107, 0}, {116, 1}, {65, 0}}));
  EXPECT_EQ(t.text(), "+a%");  // command keys stop at the form; text keys go on
  setInputBlocked(true);
  key(Qt::Key_B, Qt::NoModifier, "b");
  EXPECT_EQ(t.text(), "+a%");
}

TEST_F(UiWidgets, TimerTicksInRealTime) {
  Timer& t = form.addTimer("Timer1", 5, true);
  int ticks = 0;
  t.onTimer = [&] { ++ticks; };
  EXPECT_TRUE(waitUntil([&] { return ticks >= 2; }, nowMs() + 10000));
  t.setEnabled(false);
  const int seen = ticks;
  waitFor(30);
  EXPECT_EQ(ticks, seen);
}

TEST_F(UiWidgets, CloseBoxAsksTheForm) {
  int cancel = 1, asked = 0;
  form.onUnload = [&](int& c) {
    ++asked;
    c = cancel;
  };
  QWidget* w = ControlWidget::of(form);
  w->close();
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(form.visible());
  EXPECT_TRUE(w->isVisible());
  setInputBlocked(true);
  w->close();
  EXPECT_EQ(asked, 1);
  setInputBlocked(false);
  cancel = 0;
  w->close();
  EXPECT_EQ(asked, 2);
  EXPECT_FALSE(form.visible());
  EXPECT_FALSE(w->isVisible());
}

TEST_F(UiWidgets, RetainedDrawingPaintsUnderTheControls) {
  int paints = 0;
  form.onPaint = [&] { ++paints; };
  form.setScaleMode(ScaleMode::Pixels);
  form.line(0, 5, 100, 5, colour::kRed);
  form.refresh();
  EXPECT_GE(paints, 1);  // synchronous
  QWidget* w = ControlWidget::of(form);
  EXPECT_EQ(w->grab().toImage().pixelColor(50, 5), QColor(255, 0, 0));
  Label& panel = form.addLabel("wd01", "", 0, 0, 600, 150);  // 40 x 10 pixels over the line
  panel.setTransparent(true);
  form.refresh();
  EXPECT_EQ(w->grab().toImage().pixelColor(20, 5), QColor(255, 0, 0));  // shows through
  panel.setTransparent(false);
  panel.setBackColor(colour::kBlue);
  EXPECT_EQ(w->grab().toImage().pixelColor(20, 5), QColor(0, 0, 255));
  EXPECT_EQ(w->grab().toImage().pixelColor(50, 5), QColor(255, 0, 0));  // repaints keep it
  form.cls();
  EXPECT_EQ(w->grab().toImage().pixelColor(50, 5), QColor(255, 255, 255));
}

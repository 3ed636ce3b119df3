// The widget side of platform/ui.h: private to platform/ (and the platform tests, which look at
// the widgets). Qt types are only named here, never included, so ui.cpp stays free of Qt.
#pragma once
#include <optional>
#include <string>
#include <utility>

#include "platform/ui.h"

class QWidget;
class QTimer;

namespace platform::ui {

struct Backref;
class KeyFilter;

// What a form's window shows, for a partial update.
enum FormPart { kTitle = 1, kGeometry = 2, kPointer = 4, kShown = 8, kRepaint = 16, kAll = 31,
                kModal = 32 };

// The window of a form: a top-level widget made once a QApplication exists.
struct Form::Window {
  ~Window();
  QWidget* widget = nullptr;
  KeyFilter* keys = nullptr;
  bool painting = false;  // inside the paint event: drawing calls need no new repaint
  FrameMargins placedWith;  // the frame the window was last placed for
};

// A control's widget (labels, text boxes, shapes) or, for a timer in real time, its QTimer.
// The widget holds a pointer back to the control, cleared when the control goes; the widget
// itself is deleted at once, or later when one of its own event handlers is on the stack.
struct ControlWidget {
  ~ControlWidget();
  QWidget* widget = nullptr;
  Backref* back = nullptr;
  QTimer* timer = nullptr;

  static bool widgetsAvailable();  // a QApplication exists
  // Makes the widget (and its window) when possible and shows the control's properties.
  static void sync(Control& c);
  // Makes the form's window when possible and shows the given parts of it.
  static void syncForm(Form& f, int parts);
  // Places the form's window for the frame the window system gives it now (none before it is
  // first shown); a window whose frame turns out different is placed again.
  static void placeForm(Form& f);
  static bool frameChanged(const Form& f);
  static void startRealTimer(Timer& t);  // (re)starts or stops the QTimer of a timer
  static void paintForm(QWidget* window);
  static void repaintNow(Form& f);

  // Real boxes, for when no responder is set (first button / Cancel / nothing without widgets).
  static int messageBox(const BoxRecord& box);
  static std::optional<std::string> inputBox(const BoxRecord& box);
  static Control* menu(Menu& menu);
  // Closes the open boxes and menus, each with its escape answer.
  static void dismissBoxes();
  static std::optional<std::pair<int, int>> screenSize();

  // Tests: the widgets (nullptr while there are none).
  static QWidget* of(const Control& c) { return c.widget_ ? c.widget_->widget : nullptr; }
  static QWidget* of(const Form& f) { return f.window_ ? f.window_->widget : nullptr; }
};

}  // namespace platform::ui

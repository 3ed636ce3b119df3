// The widgets behind ui.h's forms and controls, and the real boxes. Widgets only show the
// controls' properties and turn mouse, key and close input into the controls' dispatch calls.
#include "platform/ui_qt.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <climits>
#include <cmath>
#include <cstdio>
#include <type_traits>

#include "platform/clock.h"

namespace platform::ui {

// A widget's pointer back to its control; null once the control is gone.
struct Backref {
  Control* ctl = nullptr;
};

namespace {

// Our Qt event handlers on the stack. While one runs, a widget or timer that goes is deleted
// later, from the event loop: its own handler may be the one running.
int gQtEvents = 0;
struct InQtEvent {
  InQtEvent() { ++gQtEvents; }
  ~InQtEvent() { --gQtEvents; }
};

void dispose(QObject* o) {
  if (!o) return;
  if (auto* w = qobject_cast<QWidget*>(o)) w->hide();
  if (auto* t = qobject_cast<QTimer*>(o)) t->stop();
  o->disconnect();
  if (gQtEvents > 0)
    o->deleteLater();
  else
    delete o;
}

// BGR integers; the few system colours (0x800000nn) a form designer would leave in place.
QColor toQColor(int32_t bgr) {
  if (bgr < 0) {
    switch (bgr & 0xFF) {
      case 5: return Qt::white;                 // window background
      case 15: return QColor(0xC0, 0xC0, 0xC0);  // button face
      default: return Qt::black;                // window and button text
    }
  }
  return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

QString qs(const std::string& s) { return QString::fromStdString(s); }

// Places round to the nearest pixel; a size above zero keeps at least one pixel (a 1-twip line).
int toPixels(double v, Unit u) {
  return static_cast<int>(std::lround(u == Unit::Twips ? v / kTwipsPerPixel : v));
}
int toPixelSize(double v, Unit u) { return v <= 0 ? 0 : std::max(1, toPixels(v, u)); }

int buttonOf(Qt::MouseButton b) {
  switch (b) {
    case Qt::LeftButton: return kLeftButton;
    case Qt::RightButton: return kRightButton;
    case Qt::MiddleButton: return kMiddleButton;
    default: return 0;
  }
}
int buttonsOf(Qt::MouseButtons bs) {
  return (bs & Qt::LeftButton ? kLeftButton : 0) | (bs & Qt::RightButton ? kRightButton : 0) |
         (bs & Qt::MiddleButton ? kMiddleButton : 0);
}
int shiftOf(Qt::KeyboardModifiers m) {
  return (m & Qt::ShiftModifier ? kShiftMask : 0) | (m & Qt::ControlModifier ? kCtrlMask : 0) |
         (m & Qt::AltModifier ? kAltMask : 0);
}
QPoint pixelAt(const QMouseEvent* e) {
  return {static_cast<int>(std::floor(e->position().x())),
          static_cast<int>(std::floor(e->position().y()))};
}

// The documented key code of a key, or 0 for a key the program does not know.
int keyCodeOf(const QKeyEvent* e) {
  const int k = e->key();
  if (e->modifiers() & Qt::KeypadModifier) {
    if (k == Qt::Key_Plus) return kKeyAdd;
    if (k == Qt::Key_Minus) return kKeySubtract;
    if (k >= Qt::Key_0 && k <= Qt::Key_9) return 96 + (k - Qt::Key_0);
  }
  if (k >= Qt::Key_F1 && k <= Qt::Key_F12) return kKeyF1 + (k - Qt::Key_F1);
  if ((k >= Qt::Key_A && k <= Qt::Key_Z) || (k >= Qt::Key_0 && k <= Qt::Key_9)) return k;
  switch (k) {
    case Qt::Key_Return:
    case Qt::Key_Enter: return kKeyReturn;
    case Qt::Key_Escape: return kKeyEscape;
    case Qt::Key_Space: return kKeySpace;
  }
  return 0;
}
// Letters, digits and the space also reach the focused text box after the form has seen them;
// the command keys (keypad plus, F5, Escape, ...) stop at the form.
bool isTextKey(int code) {
  return code == kKeySpace || (code >= '0' && code <= '9') || (code >= 'A' && code <= 'Z') ||
         (code >= 96 && code <= 105);
}

// Mouse input of a control's widget: down, move (on a new pixel only), up, then click for the
// left button released inside; a double click raises DblClick in place of the second down, and
// its release raises only up. The release reaches the widget that took the press (Qt's implicit
// grab), even when the press handler runs a nested loop.
template <class Base>
class ControlView : public Base, public Backref {
 public:
  explicit ControlView(QWidget* parent) : Base(parent) { this->setMouseTracking(true); }

 protected:
  void mousePressEvent(QMouseEvent* e) override { press(e, false); }
  void mouseDoubleClickEvent(QMouseEvent* e) override { press(e, true); }

  void mouseMoveEvent(QMouseEvent* e) override {
    InQtEvent guard;
    e->accept();
    if (inputBlocked()) return;
    if constexpr (kEditable) Base::mouseMoveEvent(e);
    const QPoint p = pixelAt(e);
    if (p == last_ || !ctl) return;
    last_ = p;
    ctl->mouseMove(buttonsOf(e->buttons()), shiftOf(e->modifiers()), p.x() * kTwipsPerPixel,
                   p.y() * kTwipsPerPixel);
  }

  void mouseReleaseEvent(QMouseEvent* e) override {
    InQtEvent guard;
    e->accept();
    const int b = buttonOf(e->button());
    const bool pressed = (down_ & b) != 0;
    const bool afterDouble = b == kLeftButton && afterDouble_;
    down_ &= ~b;
    if (b == kLeftButton) afterDouble_ = false;
    if (inputBlocked()) return;
    if constexpr (kEditable) Base::mouseReleaseEvent(e);
    if (!pressed || !ctl) return;
    const QPoint p = pixelAt(e);
    last_ = p;
    ctl->mouseUp(b, shiftOf(e->modifiers()), p.x() * kTwipsPerPixel, p.y() * kTwipsPerPixel);
    if (ctl && b == kLeftButton && !afterDouble && this->rect().contains(p)) ctl->click();
  }

  void leaveEvent(QEvent* e) override {
    last_ = kNowhere;
    Base::leaveEvent(e);
  }

 private:
  static constexpr bool kEditable = std::is_base_of_v<QLineEdit, Base>;
  static constexpr QPoint kNowhere{INT_MIN, INT_MIN};

  void press(QMouseEvent* e, bool twice) {
    InQtEvent guard;
    e->accept();
    if (inputBlocked()) return;
    if constexpr (kEditable) twice ? Base::mouseDoubleClickEvent(e) : Base::mousePressEvent(e);
    const int b = buttonOf(e->button());
    if (!ctl || !b) return;
    down_ |= b;
    last_ = pixelAt(e);
    if (twice && b == kLeftButton) {
      afterDouble_ = true;
      ctl->dblClick();
      return;
    }
    ctl->mouseDown(b, shiftOf(e->modifiers()), last_.x() * kTwipsPerPixel,
                   last_.y() * kTwipsPerPixel);
  }

  QPoint last_{kNowhere};
  int down_ = 0;  // buttons whose press was taken (a release without one raises nothing)
  bool afterDouble_ = false;
};

using LabelView = ControlView<QLabel>;
using TextView = ControlView<QLineEdit>;
using ScrollTextView = ControlView<QPlainTextEdit>;  // a label with a long text

class ShapeView : public ControlView<QWidget> {
 public:
  using ControlView::ControlView;

 protected:
  void paintEvent(QPaintEvent*) override {
    auto* s = static_cast<Shape*>(ctl);
    if (!s) return;
    QPainter p(this);
    if (s->filled()) p.fillRect(rect(), toQColor(s->fillColor()));
    p.setPen(QPen(toQColor(s->foreColor()), 0));
    p.setBrush(Qt::NoBrush);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
  }
};

// The frame the window system draws around a top-level widget: none until it is shown.
FrameMargins frameOf(const QWidget* w) {
  const QWindow* handle = w->windowHandle();
  if (!handle) return {};
  const QMargins m = handle->frameMargins();
  return {m.left(), m.top(), m.right(), m.bottom()};
}

// The window system frames a window only once it is shown, and a manager may tell the frame late:
// one that sets no frame-extents property (twm) is seen only by walking the window tree after it
// has reparented the window, which moves nothing. Each move, show, activation or exposure looks
// again; one that finds another frame than the window was placed for places it again, title bar
// on the screen. `holder` (a form's widget or its window's filter) drops its form when it goes.
template <class Holder>
void placeWhenReframed(Holder* holder) {
  if (!holder->form || !ControlWidget::frameChanged(*holder->form)) return;
  QTimer::singleShot(0, holder, [holder] {
    if (holder->form) ControlWidget::placeForm(*holder->form);
  });
}

class FormView : public QWidget {
 public:
  explicit FormView(Form* f) : form(f) {
    if (!first) first = this;
  }
  Form* form;  // null once the form is gone
  static inline QPointer<FormView> first;  // the program's first window: its main window

 protected:
  void paintEvent(QPaintEvent*) override {
    InQtEvent guard;
    ControlWidget::paintForm(this);
  }
  bool event(QEvent* e) override {
    const auto t = e->type();
    if (t == QEvent::Move || t == QEvent::Show || t == QEvent::WindowActivate)
      placeWhenReframed(this);
    return QWidget::event(e);
  }
  // The close box asks the form (its unload handler may cancel); the form hides itself.
  void closeEvent(QCloseEvent* e) override {
    InQtEvent guard;
    e->ignore();
    if (form && form->enabled() && !inputBlocked()) form->close();
  }
};

void setColours(QWidget* w, QPalette::ColorRole foreRole, int32_t fore,
                QPalette::ColorRole backRole, int32_t back) {
  QPalette pal = w->palette();
  const QColor f = toQColor(fore), b = toQColor(back);
  if (pal.color(foreRole) == f && pal.color(backRole) == b) return;
  pal.setColor(foreRole, f);
  pal.setColor(backRole, b);
  w->setPalette(pal);
}

// A control's own font over the application's; a control without one follows the application.
void applyFont(QWidget* w, const Font& font) {
  if (font == Font{}) {
    if (w->testAttribute(Qt::WA_SetFont)) w->setFont(QFont());
    return;
  }
  QFont f = QApplication::font();
  if (!font.family.empty()) f.setFamilies({qs(font.family)});
  if (font.pointSize > 0) f.setPointSizeF(font.pointSize);
  f.setBold(font.bold);
  if (w->font() != f || !w->testAttribute(Qt::WA_SetFont)) w->setFont(f);
}

template <class View>
View* newView(Control& c, QWidget* parent, ControlWidget& cw) {
  auto* v = new View(parent);
  v->ctl = &c;
  cw.widget = v;
  cw.back = v;
  return v;
}

}  // namespace

// Keys reach the window before any widget in it: with key preview on (or nothing in the window
// holding the focus) a known key raises the form's KeyDown first. Auto-repeats raise nothing.
// The window's exposures (which its widget does not see) look at its frame again.
class KeyFilter : public QObject {
 public:
  KeyFilter(QObject* parent, Form* f) : QObject(parent), form(f) {}
  Form* form;  // null once the form is gone

  bool eventFilter(QObject* watched, QEvent* e) override {
    if (e->type() == QEvent::Expose) placeWhenReframed(this);
    if (!form || (e->type() != QEvent::KeyPress && e->type() != QEvent::KeyRelease)) return false;
    if (inputBlocked() || !form->enabled()) return true;
    if (e->type() != QEvent::KeyPress) return false;
    InQtEvent guard;
    auto* key = static_cast<QKeyEvent*>(e);
    const int code = keyCodeOf(key);
    if (!code) return false;
    QObject* focus = static_cast<QWindow*>(watched)->focusObject();
    if (!form->keyPreview() && focus && focus != ControlWidget::of(*form)) return false;
    if (!key->isAutoRepeat()) form->keyDown(code, shiftOf(key->modifiers()));
    return !isTextKey(code);
  }
};

Form::Window::~Window() {
  static_cast<FormView*>(widget)->form = nullptr;
  keys->form = nullptr;
  dispose(widget);  // the key filter is its child
}

ControlWidget::~ControlWidget() {
  if (back) back->ctl = nullptr;
  dispose(widget);
  dispose(timer);
}

bool ControlWidget::widgetsAvailable() {
  return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

void ControlWidget::sync(Control& c) {
  if (c.kind_ != Kind::Label && c.kind_ != Kind::TextBox && c.kind_ != Kind::Shape) return;
  const bool scrolling = c.kind_ == Kind::Label && static_cast<const Label&>(c).scrolling();
  // A label turned into a long-text display (or back) gets the other kind of widget.
  if (c.widget_ && c.kind_ == Kind::Label &&
      scrolling != (qobject_cast<QPlainTextEdit*>(c.widget_->widget) != nullptr))
    c.widget_.reset();
  if (!c.widget_) {
    if (!c.form_.window_) {
      syncForm(c.form_, kAll);  // makes the window and every control's widget
      return;
    }
    c.widget_ = std::make_unique<ControlWidget>();
    QWidget* parent = c.form_.window_->widget;
    if (scrolling) {
      // Read-only, wrapped at word boundaries, a vertical scroll bar when the text is longer.
      auto* t = newView<ScrollTextView>(c, parent, *c.widget_);
      t->setReadOnly(true);
      t->setTextInteractionFlags(Qt::NoTextInteraction);
      t->setFocusPolicy(Qt::NoFocus);
      t->setLineWrapMode(QPlainTextEdit::WidgetWidth);
      t->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
      t->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
      t->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    } else if (c.kind_ == Kind::Label) {
      auto* l = newView<LabelView>(c, parent, *c.widget_);
      l->setTextFormat(Qt::PlainText);
      l->setTextInteractionFlags(Qt::NoTextInteraction);
      l->setMargin(0);
      l->setIndent(0);
    } else if (c.kind_ == Kind::TextBox) {
      auto* t = newView<TextView>(c, parent, *c.widget_);
      QObject::connect(t, &QLineEdit::textEdited, t, [t](const QString& text) {
        InQtEvent guard;
        if (t->ctl) t->ctl->type(text.toStdString());
        if (t->ctl) sync(*t->ctl);  // a text box that takes no input shows its text again
      });
    } else {
      // Shapes take no input: a press on a fader knob or a selection rectangle belongs to the
      // strip or the panel beneath it.
      auto* sh = newView<ShapeView>(c, parent, *c.widget_);
      sh->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
  }

  QWidget* w = c.widget_->widget;
  const QRect r(toPixels(c.left_, c.unit_), toPixels(c.top_, c.unit_),
                toPixelSize(c.width_, c.unit_), toPixelSize(c.height_, c.unit_));
  if (w->geometry() != r) w->setGeometry(r);
  if (const QString tip = qs(c.tip_); w->toolTip() != tip) w->setToolTip(tip);
  if (w->isHidden() == c.visible_) w->setVisible(c.visible_);
  if (c.kind_ != Kind::Shape) applyFont(w, c.font_);
  switch (c.kind_) {
    case Kind::Label: {
      if (scrolling) {
        auto* t = static_cast<ScrollTextView*>(w);
        QString text = qs(c.caption_);
        text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        if (t->toPlainText() != text) t->setPlainText(text);  // shown from its first line
        if (const int frame = static_cast<const Label&>(c).border() ? QFrame::Box | QFrame::Plain
                                                                    : QFrame::NoFrame;
            t->frameStyle() != frame)
          t->setFrameStyle(frame);
        setColours(t, QPalette::Text, c.fore_, QPalette::Base, c.back_);
        break;
      }
      auto* l = static_cast<LabelView*>(w);
      const auto& label = static_cast<const Label&>(c);
      if (const QString text = qs(c.caption_); l->text() != text) l->setText(text);
      const Qt::Alignment a = (label.alignment() == 1   ? Qt::AlignRight
                               : label.alignment() == 2 ? Qt::AlignHCenter
                                                        : Qt::AlignLeft) |
                              Qt::AlignTop;
      if (l->alignment() != a) l->setAlignment(a);
      if (l->wordWrap() != label.wordWrap()) l->setWordWrap(label.wordWrap());
      if (const int frame = label.border() ? QFrame::Box | QFrame::Plain : QFrame::NoFrame;
          l->frameStyle() != frame)
        l->setFrameStyle(frame);
      setColours(l, QPalette::WindowText, c.fore_, QPalette::Window, c.back_);
      l->setAutoFillBackground(!c.transparent_);
      break;
    }
    case Kind::TextBox: {
      auto* t = static_cast<TextView*>(w);
      if (const QString text = qs(c.caption_); t->text() != text) t->setText(text);
      t->setEnabled(c.enabled_ && c.form_.enabled_);
      setColours(t, QPalette::Text, c.fore_, QPalette::Base, c.back_);
      break;
    }
    default:
      w->update();
  }
}

void ControlWidget::syncForm(Form& f, int parts) {
  if (!f.window_) {
    if (!widgetsAvailable()) return;
    f.window_ = std::make_unique<Form::Window>();
    auto* view = new FormView(&f);
    f.window_->widget = view;
    f.window_->keys = new KeyFilter(view, &f);
    for (Control* c : f.order_) sync(*c);
    parts |= kAll;
  }
  QWidget* w = f.window_->widget;
  if (parts & kTitle) w->setWindowTitle(qs(f.title_));
  if (parts & kGeometry) placeForm(f);
  if (parts & kPointer)
    w->setCursor(f.pointer_ == Pointer::Hourglass ? Qt::WaitCursor : Qt::ArrowCursor);
  if ((parts & kRepaint) && !f.window_->painting) w->update();
  if (parts & kShown) {
    if (!f.visible_) {
      w->hide();
    } else {
      if (!w->isVisible()) {
        w->setWindowModality(parts & kModal ? Qt::ApplicationModal : Qt::NonModal);
        w->show();
      }
      if (QGuiApplication::platformName() != "offscreen") w->raise();
      if (QWindow* handle = w->windowHandle()) handle->installEventFilter(f.window_->keys);
    }
  }
}

bool ControlWidget::frameChanged(const Form& f) {
  return f.window_ && frameOf(f.window_->widget) != f.window_->placedWith;
}

void ControlWidget::placeForm(Form& f) {
  if (!f.window_) return;
  QWidget* w = f.window_->widget;
  const FrameMargins frame = frameOf(w);
  f.window_->placedWith = frame;
  const PixelRect wanted{toPixels(f.left_, Unit::Twips), toPixels(f.top_, Unit::Twips),
                         std::max(1, toPixelSize(f.width_, Unit::Twips)),
                         std::max(1, toPixelSize(f.height_, Unit::Twips))};
  PixelRect available{INT_MIN / 4, INT_MIN / 4, INT_MAX / 2, INT_MAX / 2};  // no screen: anywhere
  if (const QScreen* s = w->screen() ? w->screen() : QGuiApplication::primaryScreen()) {
    const QRect a = s->availableGeometry();
    available = {a.x(), a.y(), a.width(), a.height()};
  }
  const PixelRect client = placeClient(wanted, frame, available);
  const QRect r(client.left, client.top, client.width, client.height);
  if (w->geometry() != r) w->setGeometry(r);
}

// The background, then the form's Paint handler (its drawing is shown at once), then the lines.
void ControlWidget::paintForm(QWidget* window) {
  auto* view = static_cast<FormView*>(window);
  if (!view->form) return;
  QPainter p(view);
  p.fillRect(view->rect(), toQColor(view->form->back_));
  view->form->window_->painting = true;
  struct Done {
    FormView* v;
    ~Done() {
      if (v->form) v->form->window_->painting = false;
    }
  } done{view};
  view->form->paint();
  if (!view->form) return;  // closed and deleted by its handler
  p.setRenderHint(QPainter::Antialiasing, false);
  std::optional<int32_t> colour;
  for (const DrawnLine& l : view->form->lines_) {
    if (colour != l.colour) {
      colour = l.colour;
      p.setPen(QPen(toQColor(l.colour), 0));
    }
    p.drawLine(QLineF(l.x1, l.y1, l.x2, l.y2));
  }
}

void ControlWidget::repaintNow(Form& f) {
  if (f.window_ && f.window_->widget->isVisible()) f.window_->widget->repaint();
}

void ControlWidget::startRealTimer(Timer& t) {
  const bool run = t.enabled() && t.interval() > 0;
  if (!t.widget_) {
    if (!run || !QCoreApplication::instance()) return;
    t.widget_ = std::make_unique<ControlWidget>();
    auto* q = new QTimer;
    q->setTimerType(Qt::PreciseTimer);
    Timer* timer = &t;
    QObject::connect(q, &QTimer::timeout, q, [timer] {
      InQtEvent guard;
      timer->fire();
    });
    t.widget_->timer = q;
  }
  if (run)
    t.widget_->timer->start(t.interval());
  else
    t.widget_->timer->stop();
}

bool saveWindowImage(const Form& form, const std::string& path) {
  QWidget* w = ControlWidget::of(form);
  if (!w) return false;
  return w->grab().save(qs(path), "PNG");
}

// ---- Real boxes ------------------------------------------------------------------------------

namespace {

constexpr int kBoxMargin = 16;  // pixels kept free between a box's frame and the screen's edges

// Where a box goes: over the main window (the screen while that is not shown), inside the
// screen less the margins; its frame is taken to be the main window's, as the same window
// manager frames both. `widest` is the widest box whose frame fits.
struct BoxRoom {
  QRect over, screen;
  FrameMargins frame;
  int widest = INT_MAX;
};

BoxRoom boxRoom() {
  BoxRoom r;
  const QWidget* main = FormView::first;
  if (main && !main->isVisible()) main = nullptr;
  const QScreen* s = main ? main->screen() : QGuiApplication::primaryScreen();
  if (!s) return r;
  const QRect a = s->availableGeometry();
  r.screen = a.adjusted(kBoxMargin, kBoxMargin, -kBoxMargin, -kBoxMargin);
  r.over = main ? main->frameGeometry() : a;
  if (main) r.frame = frameOf(main);
  r.widest = r.screen.width() - r.frame.left - r.frame.right;
  return r;
}

// The text broken into lines no wider than `width`: at the blank before a word that would run
// past it, and inside a run without blanks that is wider by itself (a long path).
QString wrapped(const QString& text, const QFontMetrics& fm, int width) {
  QStringList lines;
  for (const QString& paragraph : text.split('\n')) {
    QString line;
    bool first = true;
    for (const QString& word : paragraph.split(' ')) {
      if (!first && !line.trimmed().isEmpty() && fm.horizontalAdvance(line + ' ' + word) > width) {
        lines << line;
        line = word;
      } else {
        line = first ? word : line + ' ' + word;
      }
      first = false;
      while (line.size() > 1 && fm.horizontalAdvance(line) > width) {
        qsizetype n = line.size() - 1;
        while (n > 1 && fm.horizontalAdvance(line.left(n)) > width) --n;
        lines << line.left(n);
        line = line.mid(n);
      }
    }
    lines << line;
  }
  return lines.join('\n');
}

// A message box or input box whose prompt wraps within half the screen's width, placed when it
// has sized itself for its text, before the window system maps it: centred over the main
// window, moved in just far enough to lie on the screen.
template <class Box>
class FittedBox : public Box {
 public:
  explicit FittedBox(const QString& prompt) : prompt_(prompt) {
    const QString text = wrapped(prompt, QFontMetrics(this->font()), room.widest / 2);
    if constexpr (std::is_same_v<Box, QInputDialog>)
      this->setLabelText(text);
    else
      this->setText(text);
  }

 protected:
  void showEvent(QShowEvent* e) override {
    Box::showEvent(e);  // a message box sizes itself here
    if constexpr (std::is_same_v<Box, QMessageBox>) {
      // A message box narrows lines it finds too wide and wraps them once more, leaving a word
      // alone on a line: break the prompt at the width its text has instead.
      auto* label = this->template findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
      if (label && label->wordWrap()) {
        this->layout()->activate();
        this->setText(wrapped(prompt_, label->fontMetrics(), label->contentsRect().width()));
      }
    }
    if (room.screen.isEmpty()) return;
    const FrameMargins& f = room.frame;
    const PixelRect wanted{room.over.center().x() - (f.left + this->width() + f.right) / 2,
                           room.over.center().y() - (f.top + this->height() + f.bottom) / 2,
                           this->width(), this->height()};
    const PixelRect client = placeClient(
        wanted, f, {room.screen.x(), room.screen.y(), room.screen.width(), room.screen.height()});
    // The client area, not the frame: the window has no frame yet, and the manager frames it
    // around the client where it stands.
    this->setGeometry(client.left, client.top, client.width, client.height);
  }

 private:
  const BoxRoom room = boxRoom();
  const QString prompt_;
};

}  // namespace

void ControlWidget::dismissBoxes() {
  if (!widgetsAvailable()) return;
  while (QWidget* popup = QApplication::activePopupWidget()) {
    if (!popup->close()) break;
  }
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible()) d->reject();
}

int ControlWidget::messageBox(const BoxRecord& b) {
  const int group = b.buttons & 7;
  if (platform::ending()) return group == kOkCancel ? kCancel : group == kYesNo ? kNo : kOk;
  if (!widgetsAvailable()) {
    std::fprintf(stderr, "[%s] %s\n", b.title.c_str(), b.text.c_str());
    return group == kYesNo ? kYes : kOk;
  }
  FittedBox<QMessageBox> box(qs(b.text));
  box.setWindowTitle(qs(b.title));
  box.setTextFormat(Qt::PlainText);
  switch (b.buttons & 0x70) {
    case 16: box.setIcon(QMessageBox::Critical); break;
    case 32: box.setIcon(QMessageBox::Question); break;
    case 48: box.setIcon(QMessageBox::Warning); break;
    case 64: box.setIcon(QMessageBox::Information); break;
  }
  const auto first = group == kYesNo ? QMessageBox::Yes : QMessageBox::Ok;
  const auto last = group == kOkCancel ? QMessageBox::Cancel
                    : group == kYesNo  ? QMessageBox::No
                                       : QMessageBox::Ok;
  box.setStandardButtons(first | last);
  // The button pressed, by mouse or key. Return presses the first button (OK or Yes); Escape and
  // the close button press the last: Cancel on OK/Cancel, No on Yes/No, OK on an OK-only box.
  box.setDefaultButton(first);
  box.setEscapeButton(last);
  box.exec();
  switch (box.standardButton(box.clickedButton())) {
    case QMessageBox::Ok: return kOk;
    case QMessageBox::Yes: return kYes;
    case QMessageBox::No: return kNo;
    case QMessageBox::Cancel: return kCancel;
    default: return group == kOkCancel ? kCancel : group == kYesNo ? kNo : kOk;
  }
}

std::optional<std::string> ControlWidget::inputBox(const BoxRecord& b) {
  if (!widgetsAvailable() || platform::ending()) return std::nullopt;
  FittedBox<QInputDialog> dialog(qs(b.text));
  dialog.setWindowTitle(qs(b.title));
  dialog.setTextValue(qs(b.defaultText));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.textValue().toStdString();
}

Control* ControlWidget::menu(Menu& m) {
  if (!widgetsAvailable() || platform::ending()) return nullptr;
  QMenu menu;
  std::vector<std::pair<QAction*, Control*>> actions;
  for (Control* item : m.items()) {
    if (!item->visible()) continue;
    if (item->caption() == "-") {
      menu.addSeparator();
      continue;
    }
    QAction* a = menu.addAction(qs(item->caption()));
    a->setEnabled(item->enabled());
    actions.emplace_back(a, item);
  }
  // Beside the pointer, not under it: a menu mapped under the pointer takes it out of the window
  // before the menu grabs it, and a manager whose focus follows the pointer (twm) then takes the
  // focus from the program, which closes its menus. Once the menu is up it holds the pointer, and
  // moving into it is seen by the program alone.
  QAction* chosen = menu.exec(QCursor::pos() + QPoint(1, 1));
  for (auto& [a, item] : actions)
    if (a == chosen) return item;
  return nullptr;
}

std::optional<std::pair<int, int>> ControlWidget::screenSize() {
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return std::nullopt;
  QScreen* s = QGuiApplication::primaryScreen();
  if (!s) return std::nullopt;
  return std::pair{s->size().width(), s->size().height()};
}

}  // namespace platform::ui

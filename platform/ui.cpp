// Forms and controls: properties, dispatch, timers and boxes. The widgets live in ui_qt.cpp;
// everything here works without them (pure-logic tests make forms with no QApplication).
#include "platform/ui.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <unordered_set>

#include "platform/clock.h"
#include "platform/text.h"
#include "platform/ui_qt.h"

namespace platform::ui {
namespace {

int gDepth = 0;                            // dispatches on the stack
std::vector<std::unique_ptr<Form>> gDoomed;  // forms to delete once no dispatch runs
bool gBlocked = false;
Responder* gResponder = nullptr;
std::optional<std::pair<int, int>> gScreen;
std::vector<BoxRecord> gShown;
std::unordered_set<const Control*> gTimers;  // live timers, for callbacks posted to the clock
uint64_t gTimerGeneration = 0;

// One dispatch on the stack; the outermost one deletes the forms closed meanwhile.
class Dispatch {
 public:
  Dispatch() { ++gDepth; }
  ~Dispatch() {
    if (--gDepth == 0) {
      while (!gDoomed.empty()) {
        auto doomed = std::move(gDoomed);
        gDoomed.clear();
        doomed.clear();  // a form's destructor may close others
      }
    }
  }
  Dispatch(const Dispatch&) = delete;
  Dispatch& operator=(const Dispatch&) = delete;
};

// Raises an event: a copy of the handler runs, so a handler may replace itself.
template <class Fn, class... Args>
void raise(const Fn& handler, Args&&... args) {
  if (!handler) return;
  Dispatch d;
  Fn fn = handler;
  fn(std::forward<Args>(args)...);
}

std::string answerName(int answer) {
  switch (answer) {
    case kOk: return "OK";
    case kCancel: return "Cancel";
    case kYes: return "Yes";
    case kNo: return "No";
  }
  return std::to_string(answer);
}

// The answers a box offers; the first is what an unanswerable box takes. The icon flags
// (16, 32, 48, 64) ride on the button group.
std::vector<int> answersOf(int buttons) {
  switch (buttons & 7) {
    case kOkCancel: return {kOk, kCancel};
    case kYesNo: return {kYes, kNo};
  }
  return {kOk};
}

std::string titleOf(std::string_view title) {
  return std::string(title.empty() ? kDefaultTitle : title);
}

}  // namespace

// Timers: real time through a QTimer, simulated time through callbacks posted to the driver.
struct TimerDriver {
  static bool live(const Timer* t, uint64_t generation) {
    return gTimers.count(t) && t->generation_ == generation;
  }
  static void restart(Timer& t) {
    t.generation_ = ++gTimerGeneration;
    const bool run = t.enabled_ && t.interval_ > 0;
    if (YieldDriver* d = yieldDriver()) {
      if (run) schedule(&t, t.generation_, d->clock().now() + t.interval_);
    } else {
      ControlWidget::startRealTimer(t);
    }
  }
  // Fires at `due`, then again one interval later (or one interval after now when the handler
  // overran it), as long as the timer is not switched off or re-timed meanwhile.
  static void schedule(Timer* t, uint64_t generation, int64_t due) {
    yieldDriver()->post(due, [t, generation, due] {
      if (!live(t, generation)) return;
      int64_t next = due + t->interval_;
      if (next <= nowMs()) next = nowMs() + t->interval_;
      t->fire();
      if (live(t, generation) && yieldDriver()) schedule(t, generation, next);
    });
  }
};

// ---- Control -------------------------------------------------------------------------------

Control::Control(Form& form, std::string name, Kind kind, Unit unit)
    : form_(form), name_(std::move(name)), kind_(kind), unit_(unit) {}

Control::~Control() { gTimers.erase(this); }

void Control::sync() { ControlWidget::sync(*this); }

void Control::setCaption(std::string_view text) {
  if (caption_ == text) return;
  caption_ = std::string(text);
  sync();
  if (kind_ == Kind::TextBox) raise(onChange);
}

#define VEMRA_SETTER(fn, member, type)  \
  void Control::fn(type v) {            \
    if (member == v) return;            \
    member = v;                         \
    sync();                             \
  }
VEMRA_SETTER(setFont, font_, const Font&)
VEMRA_SETTER(setForeColor, fore_, int32_t)
VEMRA_SETTER(setBackColor, back_, int32_t)
VEMRA_SETTER(setFillColor, fill_, int32_t)
VEMRA_SETTER(setTransparent, transparent_, bool)
VEMRA_SETTER(setVisible, visible_, bool)
VEMRA_SETTER(setLeft, left_, double)
VEMRA_SETTER(setTop, top_, double)
VEMRA_SETTER(setWidth, width_, double)
VEMRA_SETTER(setHeight, height_, double)
#undef VEMRA_SETTER

void Control::setToolTip(std::string_view tip) {
  if (tip_ == tip) return;
  tip_ = std::string(tip);
  sync();
}

void Control::setEnabled(bool on) {
  if (enabled_ == on) return;
  enabled_ = on;
  sync();
  enabledChanged();
}

void Control::move(double left, double top, double width, double height) {
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  sync();
}

namespace {
bool active(const Control& c) { return c.enabled() && c.form().enabled(); }
}  // namespace

void Control::click() {
  if (active(*this)) raise(onClick);
}
void Control::dblClick() {
  if (active(*this)) raise(onDblClick);
}
void Control::mouseDown(int button, int shift, double x, double y) {
  if (active(*this)) raise(onMouseDown, button, shift, x, y);
}
void Control::mouseMove(int button, int shift, double x, double y) {
  if (active(*this)) raise(onMouseMove, button, shift, x, y);
}
void Control::mouseUp(int button, int shift, double x, double y) {
  if (active(*this)) raise(onMouseUp, button, shift, x, y);
}
void Control::type(std::string_view text) {
  if (active(*this)) setCaption(text);
}

void Label::setAlignment(int a) {
  if (a < 0 || a > 2 || a == align_) return;
  align_ = a;
  sync();
}
void Label::setBorder(bool on) {
  if (on == border_) return;
  border_ = on;
  sync();
}
void Label::setWordWrap(bool on) {
  if (on == wrap_) return;
  wrap_ = on;
  sync();
}

void Label::setScrolling(bool on) {
  if (on == scrolling_) return;
  scrolling_ = on;
  sync();
}

void Shape::setFilled(bool on) {
  if (on == filled_) return;
  filled_ = on;
  sync();
}

void Timer::setInterval(int ms) {
  ms = std::max(0, ms);
  if (ms == interval_) return;
  interval_ = ms;
  TimerDriver::restart(*this);
}
void Timer::enabledChanged() { TimerDriver::restart(*this); }
// A timer ticks whether or not its form takes input.
void Timer::fire() {
  if (enabled_) raise(onTimer);
}

Control& Menu::addItem(const std::string& name, std::string_view caption) {
  Control& item = form_.add<Control>(name, Kind::MenuItem, Unit::Twips);
  item.setCaption(caption);
  items_.push_back(&item);
  return item;
}

Control* Menu::item(std::string_view name) const {
  for (Control* c : items_)
    if (iequals(c->name(), name)) return c;
  return nullptr;
}

// ---- Form ----------------------------------------------------------------------------------

Form::Form(std::string name) : name_(std::move(name)) { ControlWidget::syncForm(*this, kAll); }

Form::~Form() {
  // The controls' widgets are children of the window: they go first.
  for (auto& c : owned_) c->widget_.reset();
  window_.reset();
}

template <class T>
T& Form::add(const std::string& name, Kind kind, Unit unit) {
  if (name.empty() || find(name))
    throw std::invalid_argument("form " + name_ + ": control name '" + name +
                                "' is empty or already taken");
  auto* c = new T(*this, name, kind, unit);
  owned_.emplace_back(c);
  order_.push_back(c);
  return *c;
}

namespace {
template <class T>
T& placed(T& c, std::string_view caption, double l, double t, double w, double h) {
  c.setCaption(caption);
  c.move(l, t, w, h);
  return c;
}
}  // namespace

Label& Form::addLabel(const std::string& name, std::string_view caption, double left, double top,
                      double width, double height, Unit unit) {
  return placed(add<Label>(name, Kind::Label, unit), caption, left, top, width, height);
}

TextBox& Form::addTextBox(const std::string& name, std::string_view text, double left, double top,
                          double width, double height, Unit unit) {
  auto& box = add<TextBox>(name, Kind::TextBox, unit);
  box.back_ = colour::kWhite;
  box.caption_ = std::string(text);  // no Change while it is made
  box.move(left, top, width, height);
  return box;
}

Shape& Form::addShape(const std::string& name, double left, double top, double width,
                      double height, Unit unit) {
  auto& s = add<Shape>(name, Kind::Shape, unit);
  s.move(left, top, width, height);
  return s;
}

Timer& Form::addTimer(const std::string& name, int intervalMs, bool enabled) {
  auto& t = add<Timer>(name, Kind::Timer, Unit::Twips);
  gTimers.insert(&t);
  t.interval_ = std::max(0, intervalMs);
  t.enabled_ = enabled;
  TimerDriver::restart(t);
  return t;
}

Menu& Form::addMenu(const std::string& name) {
  return add<Menu>(name, Kind::Menu, Unit::Twips);
}

Control* Form::find(std::string_view name) const {
  for (Control* c : order_)
    if (iequals(c->name(), name)) return c;
  return nullptr;
}

Control& Form::at(std::string_view name) const {
  if (Control* c = find(name)) return *c;
  throw std::out_of_range("form " + name_ + " has no control '" + std::string(name) + "'");
}

void Form::setTitle(std::string_view title) {
  title_ = std::string(title);
  ControlWidget::syncForm(*this, kTitle);
}

void Form::move(double left, double top) {
  left_ = left;
  top_ = top;
  ControlWidget::syncForm(*this, kGeometry);
}

void Form::resize(double width, double height) {
  width_ = width;
  height_ = height;
  ControlWidget::syncForm(*this, kGeometry);
}

void Form::setBackColor(int32_t bgr) {
  back_ = bgr;
  ControlWidget::syncForm(*this, kRepaint);
}

void Form::setEnabled(bool on) {
  if (enabled_ == on) return;
  enabled_ = on;
  for (Control* c : order_) c->sync();  // text boxes take input only on an enabled form
}

void Form::show(bool modal) {
  visible_ = true;
  ControlWidget::syncForm(*this, kShown | (modal ? kModal : 0));
}

void Form::hide() {
  visible_ = false;
  ControlWidget::syncForm(*this, kShown);
}

bool Form::close() {
  Dispatch d;  // a window released by its own unload handler goes once close has finished
  int cancel = 0;
  raise(onUnload, cancel);
  if (cancel != 0) return false;
  hide();
  loaded_ = false;  // shown again, it loads again
  return true;
}

void Form::load() {
  if (loaded_) return;
  loaded_ = true;
  raise(onLoad);
}

void Form::paint() { raise(onPaint); }

void Form::keyDown(int keyCode, int shift) {
  if (enabled_) raise(onKeyDown, keyCode, shift);
}

void Form::line(double x1, double y1, double x2, double y2, int32_t colour) {
  const double k = scale_ == ScaleMode::Twips ? 1.0 / kTwipsPerPixel : 1.0;
  lines_.push_back({x1 * k, y1 * k, x2 * k, y2 * k, colour});
  ControlWidget::syncForm(*this, kRepaint);
}

void Form::cls() {
  lines_.clear();
  ControlWidget::syncForm(*this, kRepaint);
}

void Form::refresh() { ControlWidget::repaintNow(*this); }

void Form::setPointer(Pointer p) {
  pointer_ = p;
  ControlWidget::syncForm(*this, kPointer);
}

// ---- Boxes ---------------------------------------------------------------------------------

void dismissBoxes() { ControlWidget::dismissBoxes(); }

int msgBox(std::string_view text, int buttons, std::string_view title) {
  BoxRecord box{BoxRecord::Box, titleOf(title), std::string(text), buttons, {}, {}};
  const std::vector<int> offered = answersOf(buttons);
  int answer = gResponder ? gResponder->answerBox(box) : ControlWidget::messageBox(box);
  if (std::find(offered.begin(), offered.end(), answer) == offered.end()) {
    std::fprintf(stderr, "box \"%s\": answer %d is not offered; taking %s\n", box.text.c_str(),
                 answer, answerName(offered.front()).c_str());
    answer = offered.front();
  }
  box.answer = answerName(answer);
  gShown.push_back(box);
  return answer;
}

std::string inputBox(std::string_view prompt, std::string_view title,
                     std::string_view defaultText) {
  BoxRecord box{BoxRecord::Input, titleOf(title), std::string(prompt), kOkCancel, {},
                std::string(defaultText)};
  std::optional<std::string> typed =
      gResponder ? gResponder->answerInput(box) : ControlWidget::inputBox(box);
  box.answer = typed ? *typed : "Cancel";
  gShown.push_back(box);
  return typed.value_or("");
}

std::optional<std::string> popupMenu(Menu& menu) {
  BoxRecord box{BoxRecord::PopupMenu, menu.name(), {}, kOkOnly, {}, {}};
  for (Control* item : menu.items()) {
    if (!item->visible()) continue;
    if (!box.text.empty()) box.text += '|';
    box.text += item->caption();
  }
  Control* chosen = nullptr;
  if (gResponder) {
    if (auto name = gResponder->answerMenu(box)) {
      chosen = menu.item(*name);
      if (!chosen || !chosen->visible() || !chosen->enabled()) {
        std::fprintf(stderr, "menu %s: no item '%s' to choose\n", menu.name().c_str(),
                     name->c_str());
        chosen = nullptr;
      }
    }
  } else {
    chosen = ControlWidget::menu(menu);
  }
  box.answer = chosen ? chosen->name() : "";
  gShown.push_back(box);
  if (!chosen) return std::nullopt;
  std::string name = chosen->name();
  chosen->click();
  return name;
}

const std::vector<BoxRecord>& shownBoxes() { return gShown; }
void clearShownBoxes() { gShown.clear(); }
void setResponder(Responder* r) { gResponder = r; }
Responder* responder() { return gResponder; }

// ---- The screen, the handlers, input ---------------------------------------------------------

std::pair<int, int> screenSizePixels() {
  if (gScreen) return *gScreen;
  return ControlWidget::screenSize().value_or(std::pair{1024, 768});
}

void setScreenSizeOverride(std::optional<std::pair<int, int>> size) { gScreen = size; }

PixelRect placeClient(PixelRect wanted, FrameMargins frame, PixelRect available) {
  const int frameWidth = frame.left + wanted.width + frame.right;
  const int frameHeight = frame.top + wanted.height + frame.bottom;
  // Right and bottom edges first, so that the left and top edges win where the frame is larger
  // than the available area.
  auto fit = [](int at, int size, int start, int length) {
    return std::max(std::min(at, start + length - size), start);
  };
  const int x = fit(wanted.left, frameWidth, available.left, available.width);
  const int y = fit(wanted.top, frameHeight, available.top, available.height);
  return {x + frame.left, y + frame.top, wanted.width, wanted.height};
}

int handlerDepth() { return gDepth; }

void deleteLater(std::unique_ptr<Form> form) {
  if (!form) return;
  if (gDepth == 0) return;  // deleted here, as `form` goes
  form->hide();
  gDoomed.push_back(std::move(form));
}

void setInputBlocked(bool on) { gBlocked = on; }
bool inputBlocked() { return gBlocked; }

}  // namespace platform::ui

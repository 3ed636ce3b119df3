// The window system as the program's windows use it: forms with named controls (labels used as
// buttons, text boxes, shapes, timers, pop-up menus), a retained line-drawing layer, message and
// input boxes, the pointer, the screen size and window-level keys.
//
// Nothing here exposes Qt. Every control keeps its own properties (caption or text, colours as
// BGR integers, Tag, Enabled, Visible, geometry, tooltip), which handlers read and write; the
// widgets only show them. Geometry is read and written in the control's own unit: twips (15 to
// the pixel) or pixels, fixed when the control is made.
//
// Events are plain std::function members. The widgets raise them from real mouse and key input;
// tests and the scenario runner raise them by name through the same dispatch calls (click(),
// mouseDown(), ...), so a handler cannot tell the two apart. A dispatch counts as "a handler on
// the stack": forms closed meanwhile are deleted only once no handler runs.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::ui {

constexpr int kTwipsPerPixel = 15;

enum class Unit { Twips, Pixels };
enum class Kind { Label, TextBox, Shape, Timer, Menu, MenuItem };

// Mouse buttons and shift state as the handlers receive them.
enum MouseButton { kLeftButton = 1, kRightButton = 2, kMiddleButton = 4 };
enum ShiftState { kShiftMask = 1, kCtrlMask = 2, kAltMask = 4 };

// Key codes of the window-level key event.
enum KeyCode {
  kKeyReturn = 13, kKeyEscape = 27, kKeySpace = 32,
  kKeyAdd = 107,       // keypad plus
  kKeySubtract = 109,  // keypad minus
  kKeyF1 = 112,        // F1 .. F12 are 112 .. 123
  kKeyF12 = 123,
};

// Colours: BGR integers (255 red, 0xFF0000 blue, 65535 yellow).
namespace colour {
constexpr int32_t kBlack = 0, kRed = 255, kYellow = 65535, kBlue = 0xFF0000, kWhite = 0xFFFFFF,
                  kCyan = 0xFFFF00, kGreen = 0xFF00, kGrey = 0x808080, kLightGrey = 0xC0C0C0,
                  kPaleGrey = 0xE0E0E0;
}

// A caption's font: a family and a size in points. An empty family or a size of 0 keeps the
// application's.
struct Font {
  std::string family;
  double pointSize = 0;
  bool bold = false;
  bool operator==(const Font&) const = default;
};

class Form;
struct ControlWidget;  // the widget side, private to the implementation

class Control {
 public:
  virtual ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  const std::string& name() const { return name_; }
  Kind kind() const { return kind_; }
  Unit unit() const { return unit_; }
  Form& form() const { return form_; }

  // Caption of a label or menu item, Text of a text box (one property under two names).
  const std::string& caption() const { return caption_; }
  void setCaption(std::string_view text);
  const std::string& text() const { return caption_; }
  void setText(std::string_view text) { setCaption(text); }

  const Font& font() const { return font_; }
  void setFont(const Font& font);

  int32_t foreColor() const { return fore_; }
  void setForeColor(int32_t bgr);
  int32_t backColor() const { return back_; }
  void setBackColor(int32_t bgr);
  int32_t fillColor() const { return fill_; }
  void setFillColor(int32_t bgr);
  // A label without a background shows the drawing beneath it (the waveform panels).
  bool transparent() const { return transparent_; }
  void setTransparent(bool on);

  const std::string& tag() const { return tag_; }
  void setTag(std::string_view tag) { tag_ = std::string(tag); }
  const std::string& toolTip() const { return tip_; }
  void setToolTip(std::string_view tip);

  bool enabled() const { return enabled_; }
  void setEnabled(bool on);
  bool visible() const { return visible_; }
  void setVisible(bool on);

  // Geometry in the control's unit; values keep their fractions (a 1-twip-wide shape).
  double left() const { return left_; }
  double top() const { return top_; }
  double width() const { return width_; }
  double height() const { return height_; }
  void setLeft(double v);
  void setTop(double v);
  void setWidth(double v);
  void setHeight(double v);
  void move(double left, double top, double width, double height);

  // ---- events -------------------------------------------------------------------------
  std::function<void()> onClick;
  std::function<void()> onDblClick;
  std::function<void()> onChange;  // a text box's text changed (typed or set)
  // Button 1 left, 2 right, 4 middle; X and Y in twips from the control's top-left corner.
  std::function<void(int button, int shift, double x, double y)> onMouseDown, onMouseMove,
      onMouseUp;

  // ---- dispatch: what the widget raises, and what tests call by name --------------------
  // Nothing is raised for a disabled control or one on a disabled form.
  void click();
  void dblClick();
  void mouseDown(int button, int shift, double xTwips, double yTwips);
  void mouseMove(int button, int shift, double xTwips, double yTwips);
  void mouseUp(int button, int shift, double xTwips, double yTwips);
  // The user typing: sets the text and raises Change.
  void type(std::string_view text);

 protected:
  Control(Form& form, std::string name, Kind kind, Unit unit);
  friend class Form;
  friend struct ControlWidget;
  void sync();  // pushes the properties to the widget
  virtual void enabledChanged() {}

  Form& form_;
  std::string name_;
  Kind kind_;
  Unit unit_;
  std::string caption_, tag_, tip_;
  Font font_;
  int32_t fore_ = colour::kBlack, back_ = colour::kLightGrey, fill_ = colour::kBlack;
  bool transparent_ = false, enabled_ = true, visible_ = true;
  double left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  std::unique_ptr<ControlWidget> widget_;
};

// A label used as a button or a display line: plain text, no mnemonics, no rich text, blanks
// shown as written. Alignment: 0 left, 1 right, 2 centre.
class Label : public Control {
 public:
  int alignment() const { return align_; }
  void setAlignment(int a);
  bool border() const { return border_; }
  void setBorder(bool on);
  bool wordWrap() const { return wrap_; }
  void setWordWrap(bool on);
  // A long text: shown read-only and word-wrapped, with a vertical scroll bar in the label's
  // own rectangle when it does not fit; a carriage return (character 13) starts a new line.
  bool scrolling() const { return scrolling_; }
  void setScrolling(bool on);

 private:
  friend class Form;
  using Control::Control;
  int align_ = 0;
  bool border_ = false, wrap_ = false, scrolling_ = false;
};

class TextBox : public Control {
 private:
  friend class Form;
  using Control::Control;
};

// Rectangle shapes: fader knobs, selection rectangles, pointers, progress bars. FillColor fills
// it when `filled`; BorderColor is the fore colour.
class Shape : public Control {
 public:
  bool filled() const { return filled_; }
  void setFilled(bool on);

 private:
  friend class Form;
  using Control::Control;
  bool filled_ = true;
};

// A window timer: raises onTimer every interval while enabled (real time in the program,
// simulated time under a test clock).
class Timer : public Control {
 public:
  int interval() const { return interval_; }
  void setInterval(int ms);  // Enabled (re)starts the period when switched on
  std::function<void()> onTimer;
  void fire();  // dispatch, as the other events

 private:
  friend class Form;
  friend struct TimerDriver;
  using Control::Control;
  void enabledChanged() override;
  int interval_ = 1000;
  uint64_t generation_ = 0;
};

// A pop-up menu and its items (each item a control of its own, with onClick).
class Menu : public Control {
 public:
  Control& addItem(const std::string& name, std::string_view caption);
  const std::vector<Control*>& items() const { return items_; }
  Control* item(std::string_view name) const;

 private:
  friend class Form;
  using Control::Control;
  std::vector<Control*> items_;
};

enum class Pointer { Arrow = 1, Hourglass = 11 };
enum class ScaleMode { Twips = 1, Pixels = 3 };

struct DrawnLine {
  double x1, y1, x2, y2;  // pixels of the client area
  int32_t colour;
};

class Form {
 public:
  // `name` is the window's documented name (FormMV2000, Form2, ...). Its geometry is in twips.
  explicit Form(std::string name);
  virtual ~Form();
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  const std::string& name() const { return name_; }

  // ---- controls (made once, owned by the form) ----
  Label& addLabel(const std::string& name, std::string_view caption, double left, double top,
                  double width, double height, Unit unit = Unit::Twips);
  TextBox& addTextBox(const std::string& name, std::string_view text, double left, double top,
                      double width, double height, Unit unit = Unit::Twips);
  Shape& addShape(const std::string& name, double left, double top, double width, double height,
                  Unit unit = Unit::Twips);
  Timer& addTimer(const std::string& name, int intervalMs, bool enabled = false);
  Menu& addMenu(const std::string& name);
  Control* find(std::string_view name) const;  // controls and menu items
  Control& at(std::string_view name) const;    // throws std::out_of_range when missing
  const std::vector<Control*>& controls() const { return order_; }

  // ---- the window ----
  const std::string& title() const { return title_; }
  void setTitle(std::string_view title);
  // Left and Top place the window's outer frame (its title bar included) on the screen; Width
  // and Height are the client area's.
  double left() const { return left_; }
  double top() const { return top_; }
  double width() const { return width_; }    // client area, twips
  double height() const { return height_; }
  void move(double left, double top);
  void resize(double width, double height);
  int32_t backColor() const { return back_; }
  void setBackColor(int32_t bgr);
  bool enabled() const { return enabled_; }
  void setEnabled(bool on);
  bool visible() const { return visible_; }
  void show(bool modal = false);  // modal forms are not used by the program; kept for boxes
  void hide();
  // Closes the window (hides it and raises onUnload with cancel = 0; a non-zero cancel keeps
  // it). The form object is deleted later by its owner, never while a handler runs.
  bool close();
  bool keyPreview() const { return keyPreview_; }
  void setKeyPreview(bool on) { keyPreview_ = on; }

  std::function<void()> onLoad;
  std::function<void(int& cancel)> onUnload;
  std::function<void()> onPaint;
  std::function<void(int keyCode, int shift)> onKeyDown;

  // Dispatch (the window's close box, a repaint, a key press): as Control's.
  void load();  // raises onLoad once
  bool requestClose() { return close(); }
  void paint();
  void keyDown(int keyCode, int shift);

  // ---- drawing (retained: lines survive repaints until Cls) ----
  ScaleMode scaleMode() const { return scale_; }
  void setScaleMode(ScaleMode m) { scale_ = m; }
  // A straight line in the current scale unit, drawn over what is there.
  void line(double x1, double y1, double x2, double y2, int32_t colour);
  void cls();
  const std::vector<DrawnLine>& lines() const { return lines_; }
  // Repaints now (synchronously), so drawing done in a long handler shows.
  void refresh();

  Pointer pointer() const { return pointer_; }
  void setPointer(Pointer p);

 private:
  friend class Control;
  friend class Menu;
  friend struct ControlWidget;
  template <class T> T& add(const std::string& name, Kind kind, Unit unit);
  struct Window;  // the widget side

  std::string name_, title_;
  double left_ = 0, top_ = 0, width_ = 12000, height_ = 8400;
  int32_t back_ = colour::kLightGrey;
  bool enabled_ = true, visible_ = false, loaded_ = false, keyPreview_ = false;
  ScaleMode scale_ = ScaleMode::Twips;
  Pointer pointer_ = Pointer::Arrow;
  std::vector<std::unique_ptr<Control>> owned_;
  std::vector<Control*> order_;
  std::vector<DrawnLine> lines_;
  std::unique_ptr<Window> window_;
};

// ---- Boxes, input boxes and pop-up menus: one layer, answered by a responder in tests ------
enum BoxButtons { kOkOnly = 0, kOkCancel = 1, kYesNo = 4 };
enum BoxAnswer { kOk = 1, kCancel = 2, kYes = 6, kNo = 7 };

// A box given no title shows this one.
inline constexpr std::string_view kDefaultTitle = "VemraCd";

// Shows a modal box; returns the answer (kOk for an OK-only box).
int msgBox(std::string_view text, int buttons = kOkOnly, std::string_view title = {});
// Shows an input box; the typed text, or "" on Cancel.
std::string inputBox(std::string_view prompt, std::string_view title = {},
                     std::string_view defaultText = {});
// Shows the menu at the pointer; raises the chosen item's onClick. Returns the item's name,
// or nothing when the menu was dismissed.
std::optional<std::string> popupMenu(Menu& menu);

struct BoxRecord {
  enum Type { Box, Input, PopupMenu } type;
  std::string title, text;  // menus: title = the menu's name, text = the captions joined by '|'
  int buttons = kOkOnly;
  std::string answer;       // "OK", "Cancel", "Yes", "No", the typed text, or the menu item
  std::string defaultText;  // input boxes: the text offered
};

// Every box, input box and menu shown so far, answered, in order (tests read them).
const std::vector<BoxRecord>& shownBoxes();
void clearShownBoxes();

// What answers boxes when the program runs under a test. Without one, real dialogs are shown.
class Responder {
 public:
  virtual ~Responder() = default;
  virtual int answerBox(const BoxRecord& box) = 0;                      // a BoxAnswer
  virtual std::optional<std::string> answerInput(const BoxRecord& box) = 0;  // nullopt: Cancel
  virtual std::optional<std::string> answerMenu(const BoxRecord& menu) = 0;  // item name
};
void setResponder(Responder* r);
Responder* responder();
// Closes every real box, input box and pop-up menu that is open, each with its escape answer
// (Cancel on OK/Cancel, No on Yes/No, OK on an OK-only box; Cancel; nothing chosen). Once the
// program is ending (clock.h) no real box is shown any more: each gives its escape answer.
void dismissBoxes();

// ---- The screen, the pointer, the application ------------------------------------------
// Size of the primary screen in pixels (tests may override it).
std::pair<int, int> screenSizePixels();
void setScreenSizeOverride(std::optional<std::pair<int, int>> size);

// ---- Window placement ------------------------------------------------------------------------
struct PixelRect {
  int left = 0, top = 0, width = 0, height = 0;
  bool operator==(const PixelRect&) const = default;
};
// What the window system draws around a window's client area (title bar, borders).
struct FrameMargins {
  int left = 0, top = 0, right = 0, bottom = 0;
  bool operator==(const FrameMargins&) const = default;
};
// Where a window's client area goes. `wanted` is a form's placement in pixels: the frame's
// top-left corner, and the client area's size. The frame keeps that corner where it lies wholly
// inside `available` (the screen less its panels); otherwise it moves in just enough to fit, and
// where it cannot fit, its top-left corner stays on the screen so the title bar can be reached.
PixelRect placeClient(PixelRect wanted, FrameMargins frame, PixelRect available);
// Saves a picture of the window as it is drawn now (controls and lines) to a PNG file; false
// when there are no widgets or the file cannot be written.
bool saveWindowImage(const Form& form, const std::string& path);

// Whether an event handler is running (a dispatch is on the stack).
int handlerDepth();
// Deletes `form` as soon as no handler runs (at once when none does).
void deleteLater(std::unique_ptr<Form> form);

// While set, the widgets drop mouse and key input (and the window's close box), so nothing can
// start while the program finishes something. The dispatch calls themselves are not blocked:
// whoever scripts input (the scenario runner) consults the flag itself.
void setInputBlocked(bool on);
bool inputBlocked();

}  // namespace platform::ui

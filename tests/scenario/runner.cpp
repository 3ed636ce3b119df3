// The scenario runner: starts the whole application offscreen on a fresh drive root, with the
// offline sound backend and the simulated clock, runs a script of user actions and checks, and
// prints a transcript. Exit 0 when every expectation held, 1 otherwise, 2 on a bad script.
//
// The script is consumed inside the program's yields, so an action sent while a handler runs a
// loop (PLAY does not return until STOP) is delivered inside that loop, as a user's click would
// be. Every yield advances simulated time, so no wait spins for ever.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/application.h"
#include "platform/app_loop.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/mci.h"
#include "platform/paths.h"
#include "platform/shell.h"
#include "platform/sound.h"
#include "platform/ui.h"
#include "platform/wav.h"
#include "shell/main_form.h"
#ifdef VEMRA_HAVE_KIT
#include "kit/kit.h"
#endif

namespace fs = std::filesystem;
namespace ui = platform::ui;

namespace {

constexpr int64_t kMaxStepMs = 10;
constexpr int kChildWaitSeconds = 60;

struct Line {
  int number = 0;
  std::string raw;
  std::vector<std::string> words;
};

// Words separated by blanks; "TEXT" keeps its blanks (\" and \\ escape inside quotes).
bool tokenize(const std::string& text, std::vector<std::string>& out, std::string& error) {
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == ' ' || text[i] == '\t' || text[i] == '\r') { ++i; continue; }
    if (text[i] == '#') break;
    std::string word;
    if (text[i] == '"') {
      ++i;
      bool closed = false;
      while (i < text.size()) {
        char c = text[i++];
        if (c == '\\' && i < text.size() && (text[i] == '"' || text[i] == '\\')) { word += text[i++]; continue; }
        if (c == '\\' && i < text.size() && text[i] == 'r') { word += '\r'; ++i; continue; }
        if (c == '"') { closed = true; break; }
        word += c;
      }
      if (!closed) { error = "unterminated quote"; return false; }
    } else {
      while (i < text.size() && text[i] != ' ' && text[i] != '\t' && text[i] != '\r') word += text[i++];
    }
    out.push_back(word);
  }
  return true;
}

std::string boolText(bool b) { return b ? "true" : "false"; }

std::string number(double v) {
  if (std::floor(v) == v && std::fabs(v) < 1e15) return std::to_string(static_cast<long long>(v));
  std::ostringstream s;
  s << v;
  return s.str();
}

std::string q(const std::string& s) { return "\"" + s + "\""; }

// `*` in a pattern stands for any run of characters; everything else matches itself.
bool globMatch(std::string_view pattern, std::string_view text) {
  size_t p = 0, t = 0, star = std::string_view::npos, mark = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '*') { star = p++; mark = t; continue; }
    if (p < pattern.size() && pattern[p] == text[t]) { ++p; ++t; continue; }
    if (star == std::string_view::npos) return false;
    p = star + 1;
    t = ++mark;
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

// A number of the script, or nothing when the word is not one.
std::optional<double> numberOf(const std::string& w) {
  char* end = nullptr;
  const double v = std::strtod(w.c_str(), &end);
  if (w.empty() || *end) return std::nullopt;
  return v;
}

// Control characters (the CR of a long text) shown as \r, \n, \t in the transcript.
std::string visible(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else if (c == '\t') out += "\\t";
    else out += c;
  }
  return out;
}

std::string strokeLine(const ui::DrawnLine& l) {
  return std::to_string(l.colour) + " " + number(l.x1) + " " + number(l.y1) + " " + number(l.x2) + " " + number(l.y2);
}

std::string programLine(const platform::ProgramStart& p) {
  std::string s = q(p.commandLine) + " -> " + (p.program.empty() ? std::string("(no program)") : p.program);
  for (const auto& a : p.args) s.append(" ").append(q(a));
  if (!p.started) s += " (not started)";
  return s;
}

class Runner;

// Answers boxes, input boxes and menus from the script; records every one shown.
class ScriptResponder : public ui::Responder {
 public:
  explicit ScriptResponder(Runner& r) : runner_(r) {}
  int answerBox(const ui::BoxRecord& box) override;
  std::optional<std::string> answerInput(const ui::BoxRecord& box) override;
  std::optional<std::string> answerMenu(const ui::BoxRecord& menu) override;

  std::deque<std::string> answers;
  std::vector<ui::BoxRecord> shown;
  size_t expected = 0;  // boxes already matched by "expect box"

 private:
  Runner& runner_;
};

class Runner : public platform::YieldDriver {
 public:
  Runner(std::vector<Line> lines, fs::path root) : lines_(std::move(lines)), root_(std::move(root)), responder_(*this) {}

  platform::SimClock& clock() override { return clock_; }

  void post(int64_t dueMs, std::function<void()> action) override {
    posted_.push_back({dueMs, seq_++, std::move(action)});
  }

  void yield(int64_t deadlineMs) override {
    const int64_t now = clock_.now();
    // 1. Timers and other posted work that is due.
    if (runDuePosted(now)) return;
    // 2. The next script line, when its time has come.
    if (next_ < lines_.size()) {
      if (notBefore_ <= now) {
        if (!waitingForChildren()) runNextLine();
        return;
      }
    } else if (depth_ > 0 && !endingSaid_) {
      // The script ended while a handler still runs: end the program.
      endingSaid_ = true;
      say("script ended while a handler was running: ending the program");
      platform::setEnding(true);
      return;
    }
    // 3. Let time pass.
    int64_t target = now + (deadlineMs <= now ? 1 : kMaxStepMs);
    if (deadlineMs > now) target = std::min(target, deadlineMs);
    if (next_ < lines_.size() && notBefore_ > now) target = std::min(target, notBefore_);
    for (const auto& p : posted_) if (p.due > now) target = std::min(target, p.due);
    clock_.advanceTo(std::max(target, now + 1));
  }

  int run();
  bool takeMenuLine(std::string& item);  // a "menu ITEM" line waiting to answer an open menu
  void say(const std::string& s) { std::cout << s << "\n" << std::flush; }
  void fail(const Line& l, const std::string& why) {
    ++failures_;
    say("  FAIL (line " + std::to_string(l.number) + "): " + why);
  }

  app::Application* app = nullptr;
  ScriptResponder& responder() { return responder_; }

 private:
  struct Posted { int64_t due; uint64_t seq; std::function<void()> fn; };

  bool runDuePosted(int64_t now) {
    auto it = std::min_element(posted_.begin(), posted_.end(), [](const Posted& a, const Posted& b) {
      return a.due != b.due ? a.due < b.due : a.seq < b.seq;
    });
    if (it == posted_.end() || it->due > now) return false;
    auto fn = std::move(it->fn);
    posted_.erase(it);
    fn();
    return true;
  }

  // Child processes (the mixdown program) run in real time: a wait lets them finish before the
  // script goes on, so their completion "falls due" within the wait.
  bool waitingForChildren() {
    if (!childWait_) return false;
    childWait_ = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kChildWaitSeconds);
    while (platform::attachedChildren() > 0 && std::chrono::steady_clock::now() < deadline) {
      platform::pollChildren();
      if (platform::attachedChildren() > 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }

  void runNextLine() {
    const Line& l = lines_[next_++];
    ++depth_;
    execute(l);
    --depth_;
  }

  void execute(const Line& l);
  void doSetup(const Line& l, bool& handled);
  void doAction(const Line& l, bool& handled);
  void doExpect(const Line& l);
  void dump();
  void dumpStrokes(const Line& l, const std::string& window);
  bool doLogExpect(const Line& l);
  bool doWindowExpect(const Line& l);
  ui::Control* control(const std::string& name);
  std::optional<std::string> property(ui::Control& c, const std::string& prop);
  fs::path host(const std::string& path) const { return root_ / path; }

  std::vector<Line> lines_;
  size_t next_ = 0;
  int64_t notBefore_ = 0;
  bool childWait_ = false;
  int depth_ = 0;
  bool endingSaid_ = false;
  int failures_ = 0;
  fs::path root_;
  platform::SimClock clock_{0};
  std::vector<Posted> posted_;
  uint64_t seq_ = 0;
  ScriptResponder responder_;
  platform::OfflineConfig audio_;
  size_t mciExpected_ = 0;       // command strings already matched by "expect mci"
  size_t programsExpected_ = 0;  // program starts already matched by "expect program"
  platform::DesktopPrograms desktop_{"/bin/true", "/bin/true", "/bin/true", "/bin/true"};
};

std::string boxLine(const ui::BoxRecord& b) {
  const char* type = b.type == ui::BoxRecord::Box ? "box" : b.type == ui::BoxRecord::Input ? "input box" : "menu";
  return std::string("  ") + type + " " + q(b.title) + " " + q(b.text);
}

int ScriptResponder::answerBox(const ui::BoxRecord& box) {
  ui::BoxRecord r = box;
  int answer = box.buttons == ui::kYesNo ? ui::kYes : ui::kOk;  // the first button
  if (!answers.empty()) {
    std::string a = answers.front();
    answers.pop_front();
    if (a == "OK") answer = ui::kOk;
    else if (a == "Cancel") answer = ui::kCancel;
    else if (a == "Yes") answer = ui::kYes;
    else if (a == "No") answer = ui::kNo;
    else runner_.say("  (answer " + q(a) + " does not fit a box; the first button is taken)");
  }
  r.answer = answer == ui::kOk ? "OK" : answer == ui::kCancel ? "Cancel" : answer == ui::kYes ? "Yes" : "No";
  runner_.say(boxLine(r) + " -> " + r.answer);
  shown.push_back(r);
  return answer;
}

std::optional<std::string> ScriptResponder::answerInput(const ui::BoxRecord& box) {
  ui::BoxRecord r = box;
  std::optional<std::string> result;
  if (!answers.empty()) {
    std::string a = answers.front();
    answers.pop_front();
    if (a != "Cancel") result = a;
  }
  r.answer = result ? *result : "Cancel";
  runner_.say(boxLine(r) + " -> " + (result ? q(*result) : std::string("Cancel")));
  shown.push_back(r);
  return result;
}

std::optional<std::string> ScriptResponder::answerMenu(const ui::BoxRecord& menu) {
  ui::BoxRecord r = menu;
  std::optional<std::string> result;
  std::string item;
  if (!answers.empty()) {
    result = answers.front();
    answers.pop_front();
  } else if (runner_.takeMenuLine(item)) {
    result = item;
  }
  r.answer = result ? *result : "";
  runner_.say(boxLine(r) + " -> " + (result ? *result : std::string("dismissed")));
  shown.push_back(r);
  return result;
}

bool Runner::takeMenuLine(std::string& item) {
  if (next_ >= lines_.size() || notBefore_ > clock_.now()) return false;
  const Line& l = lines_[next_];
  if (l.words.size() != 2 || l.words[0] != "menu") return false;
  say("> " + l.raw);
  item = l.words[1];
  ++next_;
  return true;
}

ui::Control* Runner::control(const std::string& name) {
  auto dot = name.find('.');
  if (dot != std::string::npos) {
    ui::Form* f = app->form(name.substr(0, dot));
    return f ? f->find(name.substr(dot + 1)) : nullptr;
  }
  for (ui::Form* f : app->forms())
    if (auto* c = f->find(name)) return c;
  return nullptr;
}

std::optional<std::string> Runner::property(ui::Control& c, const std::string& prop) {
  if (prop == "caption" || prop == "text") return c.caption();
  if (prop == "forecolor") return std::to_string(c.foreColor());
  if (prop == "backcolor") return std::to_string(c.backColor());
  if (prop == "fillcolor") return std::to_string(c.fillColor());
  if (prop == "tag") return c.tag();
  if (prop == "enabled") return boolText(c.enabled());
  if (prop == "visible") return boolText(c.visible());
  if (prop == "left") return number(c.left());
  if (prop == "top") return number(c.top());
  if (prop == "width") return number(c.width());
  if (prop == "height") return number(c.height());
  if (prop == "tooltip") return c.toolTip();
  if (prop == "font")
    return c.font() == ui::Font{} ? "" : c.font().family + " " + number(c.font().pointSize);
  if (auto* label = dynamic_cast<ui::Label*>(&c)) {
    if (prop == "alignment") return std::to_string(label->alignment());
    if (prop == "border") return boolText(label->border());
    if (prop == "transparent") return boolText(label->transparent());
  }
  return std::nullopt;
}

// Writes a 16-bit WAV: silence or a sine tone at a quarter of full scale.
bool writeWav(const fs::path& p, int channels, double hz, double seconds) {
  const uint32_t frames = static_cast<uint32_t>(std::llround(seconds * platform::kSampleRate));
  std::vector<int16_t> data(static_cast<size_t>(frames) * channels);
  for (uint32_t i = 0; i < frames; ++i) {
    const int16_t v = hz > 0 ? static_cast<int16_t>(std::lround(8192 * std::sin(2 * M_PI * hz * i / platform::kSampleRate))) : 0;
    for (int c = 0; c < channels; ++c) data[i * channels + c] = v;
  }
  fs::create_directories(p.parent_path());
  std::ofstream f(p, std::ios::binary | std::ios::trunc);
  auto h = platform::wavHeader(channels, static_cast<uint32_t>(data.size() * 2));
  f.write(reinterpret_cast<const char*>(h.data()), h.size());
  f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size() * 2));
  return static_cast<bool>(f);
}

void Runner::doSetup(const Line& l, bool& handled) {
  const auto& w = l.words;
  handled = true;
  const std::string& cmd = w[0];
  std::error_code ec;
  if (cmd == "kit" && w.size() == 1) {
#ifdef VEMRA_HAVE_KIT
    kit::install(root_.string(), VEMRA_MV01_EXE);
#else
    fail(l, "this build has no program folder kit");
#endif
  } else if (cmd == "file" && w.size() >= 3) {
    const fs::path p = host(w[1]);
    bool ok = false;
    if (w[2] == "silence" && w.size() == 4) ok = writeWav(p, 1, 0, std::stod(w[3]));
    else if (w[2] == "tone" && w.size() == 5) ok = writeWav(p, 1, std::stod(w[3]), std::stod(w[4]));
    else if (w[2] == "stereo" && w.size() == 6 && w[3] == "tone") ok = writeWav(p, 2, std::stod(w[4]), std::stod(w[5]));
    else if (w[2] == "bytes" && w.size() == 4) {
      fs::create_directories(p.parent_path());
      std::ofstream f(p, std::ios::binary | std::ios::trunc);
      std::string zeros(static_cast<size_t>(std::stoll(w[3])), '\0');
      f << zeros;
      ok = static_cast<bool>(f);
    } else {
      handled = false;
      return;
    }
    if (!ok) fail(l, "could not write " + p.string());
  } else if (cmd == "copy" && w.size() == 3) {
    fs::create_directories(host(w[2]).parent_path());
    if (!fs::copy_file(w[1], host(w[2]), fs::copy_options::overwrite_existing, ec)) fail(l, "copy failed: " + ec.message());
  } else if (cmd == "export" && w.size() == 3) {
    if (!fs::copy_file(host(w[1]), w[2], fs::copy_options::overwrite_existing, ec)) fail(l, "export failed: " + ec.message());
  } else if (cmd == "devices" && w.size() == 3) {
    audio_.inputDevices = std::stoi(w[1]);
    audio_.outputDevices = std::stoi(w[2]);
    platform::configureOffline(audio_);
  } else if (cmd == "desktop" && w.size() == 3) {
    std::string* which = w[1] == "editor" ? &desktop_.textEditor : w[1] == "files" ? &desktop_.fileManager
                       : w[1] == "mixer"  ? &desktop_.soundMixer : w[1] == "opener" ? &desktop_.urlOpener : nullptr;
    if (!which) { fail(l, "no desktop program " + w[1]); return; }
    *which = w[2] == "none" ? "" : w[2];
    platform::setDesktopPrograms(desktop_);
  } else if (cmd == "screen" && w.size() == 3) {
    ui::setScreenSizeOverride(std::make_pair(std::stoi(w[1]), std::stoi(w[2])));
  } else if (cmd == "fail" && (w.size() == 2 || (w.size() == 3 && w[1] == "delete"))) {
    if (w.size() == 3) platform::failDeleteFor(w[2]);
    else if (w[1] == "none") platform::clearFailHooks();
    else platform::failOpenFor(w[1]);
  } else if (cmd == "input" && w.size() == 2) {
    audio_.inputWav = fs::absolute(w[1]).string();
    platform::configureOffline(audio_);
  } else if (cmd == "output" && w.size() == 2) {
    audio_.outputWav = fs::absolute(w[1]).string();
    platform::configureOffline(audio_);
  } else {
    handled = false;
  }
}

int keyCode(const std::string& name) {
  if (name == "KP_ADD") return ui::kKeyAdd;
  if (name == "KP_SUBTRACT") return ui::kKeySubtract;
  if (name.size() >= 2 && name[0] == 'F') {
    int n = std::atoi(name.c_str() + 1);
    if (n >= 1 && n <= 12) return ui::kKeyF1 + n - 1;
  }
  if (name == "RETURN") return ui::kKeyReturn;
  if (name == "ESCAPE") return ui::kKeyEscape;
  if (name == "SPACE") return ui::kKeySpace;
  if (name.size() == 1 && std::isalnum(static_cast<unsigned char>(name[0]))) return std::toupper(name[0]);
  return -1;
}

void Runner::doAction(const Line& l, bool& handled) {
  const auto& w = l.words;
  const std::string& cmd = w[0];
  handled = true;
  static const std::vector<std::string> inputs = {"click", "dblclick", "rclick", "down", "move", "up", "key", "type", "close"};
  const bool isInput = std::find(inputs.begin(), inputs.end(), cmd) != inputs.end();
  if (isInput && ui::inputBlocked()) {
    say("  dropped: input is blocked while the program finishes its work");
    return;
  }
  if (cmd == "start" && w.size() == 1) {
    app->start();
  } else if (cmd == "close" && w.size() == 1) {
    app->mainForm().requestClose();
  } else if (cmd == "close" && w.size() == 2) {
    ui::Form* f = app->form(w[1]);
    if (!f) { fail(l, "no window " + w[1]); return; }
    f->requestClose();
  } else if (cmd == "draw" && w.size() == 7) {
    ui::Form* f = app->form(w[1]);
    if (!f) { fail(l, "no window " + w[1]); return; }
    const ui::ScaleMode was = f->scaleMode();
    f->setScaleMode(ui::ScaleMode::Pixels);
    f->line(std::stod(w[3]), std::stod(w[4]), std::stod(w[5]), std::stod(w[6]), std::stoi(w[2]));
    f->setScaleMode(was);
  } else if (cmd == "shot" && w.size() == 3) {
    ui::Form* f = app->form(w[1]);
    if (!f) { fail(l, "no window " + w[1]); return; }
    if (!ui::saveWindowImage(*f, fs::absolute(w[2]).string())) fail(l, "could not save " + w[2]);
  } else if (cmd == "skip" && w.size() == 2 && w[1] == "mci") {
    mciExpected_ = platform::mciCommandLog().size();
  } else if (cmd == "skip" && w.size() == 2 && w[1] == "boxes") {
    responder_.expected = responder_.shown.size();
  } else if (cmd == "skip" && w.size() == 2 && w[1] == "programs") {
    programsExpected_ = platform::programStarts().size();
  } else if (cmd == "key" && w.size() == 2) {
    int code = keyCode(w[1]);
    if (code < 0) { fail(l, "unknown key " + w[1]); return; }
    app->mainForm().keyDown(code, 0);
  } else if (cmd == "menu" && w.size() == 2) {
    fail(l, "no pop-up menu is open");
  } else if ((cmd == "click" || cmd == "dblclick" || cmd == "rclick") && (w.size() == 2 || w.size() == 4)) {
    ui::Control* c = control(w[1]);
    if (!c) { fail(l, "no control " + w[1]); return; }
    // The pointer at the control's centre unless a point is given (twips).
    const double tw = c->unit() == ui::Unit::Pixels ? ui::kTwipsPerPixel : 1;
    double x = c->width() * tw / 2, y = c->height() * tw / 2;
    if (w.size() == 4) { x = std::stod(w[2]); y = std::stod(w[3]); }
    if (cmd == "rclick") {
      c->mouseDown(ui::kRightButton, 0, x, y);
      c->mouseUp(ui::kRightButton, 0, x, y);
    } else {
      c->mouseDown(ui::kLeftButton, 0, x, y);
      c->mouseUp(ui::kLeftButton, 0, x, y);
      c->click();
      if (cmd == "dblclick") {
        c->dblClick();
        c->mouseUp(ui::kLeftButton, 0, x, y);
      }
    }
  } else if ((cmd == "down" || cmd == "move" || cmd == "up") && w.size() == 5) {
    ui::Control* c = control(w[1]);
    if (!c) { fail(l, "no control " + w[1]); return; }
    const int b = std::stoi(w[2]);
    const double x = std::stod(w[3]), y = std::stod(w[4]);
    if (cmd == "down") c->mouseDown(b, 0, x, y);
    else if (cmd == "move") c->mouseMove(b, 0, x, y);
    else c->mouseUp(b, 0, x, y);
  } else if (cmd == "type" && w.size() == 3) {
    ui::Control* c = control(w[1]);
    if (!c) { fail(l, "no control " + w[1]); return; }
    c->type(w[2]);
  } else {
    handled = false;
  }
}

std::string hexOf(const std::string& bytes) {
  static const char* d = "0123456789ABCDEF";
  std::string s;
  for (unsigned char b : bytes) { s += d[b >> 4]; s += d[b & 15]; }
  return s;
}

void Runner::doExpect(const Line& l) {
  const auto& w = l.words;
  auto check = [&](bool ok, const std::string& what) {
    if (ok) say("  ok");
    else fail(l, what);
  };
  if (doLogExpect(l) || doWindowExpect(l)) return;
  if (w.size() == 2 && w[1] == "nobox") {
    const auto& s = responder_.shown;
    check(responder_.expected >= s.size(), s.size() > responder_.expected
              ? "a box was shown: " + boxLine(s[responder_.expected]) : "");
    responder_.expected = s.size();
  } else if (w.size() == 4 && w[1] == "box") {
    auto& s = responder_.shown;
    if (responder_.expected >= s.size()) { fail(l, "no box was shown"); return; }
    const auto& b = s[responder_.expected++];
    check(b.title == w[2] && b.text == w[3], "the box shown was" + boxLine(b));
  } else if (w.size() == 3 && w[1] == "pointer") {
    const bool hour = app->mainForm().pointer() == ui::Pointer::Hourglass;
    check(w[2] == (hour ? "hourglass" : "arrow"), std::string("the pointer is the ") + (hour ? "hourglass" : "arrow"));
  } else if (w.size() == 3 && w[1] == "title") {
    const std::string t = app->mainForm().title();
    check(t == w[2], "the title is " + q(t));
  } else if (w.size() == 4 && w[1] == "var") {
    auto v = app->var(w[2]);
    if (!v) { fail(l, "no state field " + w[2]); return; }
    check(*v == w[3], w[2] + " is " + q(*v));
  } else if (w.size() >= 4 && w.size() <= 6 && w[1] == "file") {
    const fs::path p = host(w[2]);
    std::error_code ec;
    const bool exists = fs::is_regular_file(p, ec);
    if (w[3] == "exists" && w.size() == 4) {
      check(exists, "the file does not exist");
    } else if (w[3] == "absent" && w.size() == 4) {
      check(!exists, "the file exists");
    } else if (w[3] == "size" && w.size() == 5) {
      const auto size = exists ? static_cast<long long>(fs::file_size(p, ec)) : -1;
      check(size == std::stoll(w[4]), exists ? "its size is " + std::to_string(size) : "the file does not exist");
    } else if (w[3] == "bytes" && w.size() == 6) {
      std::string want = w[5];
      std::transform(want.begin(), want.end(), want.begin(), ::toupper);
      std::string got(want.size() / 2, '\0');
      std::ifstream f(p, std::ios::binary);
      f.seekg(std::stoll(w[4]));
      f.read(got.data(), static_cast<std::streamsize>(got.size()));
      got.resize(static_cast<size_t>(std::max<std::streamsize>(0, f.gcount())));
      check(exists && hexOf(got) == want, exists ? "the bytes are " + hexOf(got) : "the file does not exist");
    } else {
      fail(l, "bad expect file");
    }
  } else if (w.size() == 7 && w[1] == "level") {
    // The RMS level of each side of the output WAV between two times, in dB of full scale,
    // to a tenth of a dB ("silent" for none at all).
    platform::offlineFlush();
    std::ifstream f(fs::absolute(w[2]), std::ios::binary);
    const long long from = std::stoll(w[3]) * 441 / 10, to = std::stoll(w[4]) * 441 / 10;
    std::vector<int16_t> frames(static_cast<size_t>(std::max(0LL, to - from)) * 2);
    f.seekg(44 + from * 4);
    f.read(reinterpret_cast<char*>(frames.data()), static_cast<std::streamsize>(frames.size() * 2));
    const auto got = static_cast<size_t>(std::max<std::streamsize>(0, f.gcount())) / 4;
    std::array<std::string, 2> db;
    for (size_t side = 0; side < 2; ++side) {
      double sum = 0;
      for (size_t k = 0; k < got; ++k) sum += double(frames[2 * k + side]) * frames[2 * k + side];
      const double rms = got ? std::sqrt(sum / double(got)) : 0;
      char text[32];
      std::snprintf(text, sizeof text, "%.1f", 20 * std::log10(rms / 32768));
      db[side] = rms > 0 ? text : "silent";
    }
    check(got == frames.size() / 2 && db[0] == w[5] && db[1] == w[6],
          "the levels are " + db[0] + " " + db[1] + " over " + std::to_string(got) + " frames");
  } else if (w.size() == 3 || (w.size() == 4 && (w[2] == "starts" || w[2] == "ends" || w[2] == "contains"))) {
    const auto dot = w[1].rfind('.');
    if (dot == std::string::npos) { fail(l, "bad expect"); return; }
    ui::Control* c = control(w[1].substr(0, dot));
    if (!c) { fail(l, "no control " + w[1].substr(0, dot)); return; }
    auto v = property(*c, w[1].substr(dot + 1));
    if (!v) { fail(l, "no property " + w[1].substr(dot + 1)); return; }
    const std::string& want = w.back();
    const bool ok = w.size() == 3       ? *v == want
                    : w[2] == "starts" ? v->starts_with(want)
                    : w[2] == "ends"   ? v->ends_with(want)
                                       : v->find(want) != std::string::npos;
    check(ok, w[1] + " is " + q(visible(*v)));
  } else {
    fail(l, "bad expect");
  }
}

// The logs: command strings sent to the MCI devices and programs started.
bool Runner::doLogExpect(const Line& l) {
  const auto& w = l.words;
  auto check = [&](bool ok, const std::string& what) {
    if (ok) say("  ok");
    else fail(l, what);
  };
  const auto& mci = platform::mciCommandLog();
  const auto& starts = platform::programStarts();
  if (w.size() >= 3 && w[1] == "mci") {
    // The next commands not yet expected are exactly these, in order.
    std::string why;
    for (size_t i = 2; i < w.size() && why.empty(); ++i) {
      if (mciExpected_ >= mci.size()) why = "no further command was sent (wanted " + q(w[i]) + ")";
      else if (!globMatch(w[i], mci[mciExpected_])) why = "the command sent was " + q(mci[mciExpected_]);
      else ++mciExpected_;
    }
    check(why.empty(), why);
  } else if (w.size() == 2 && w[1] == "nomci") {
    const bool none = mciExpected_ >= mci.size();
    check(none, none ? "" : "a command was sent: " + q(mci[mciExpected_]));
    mciExpected_ = mci.size();
  } else if ((w.size() == 3 || w.size() == 4) && w[1] == "program") {
    if (programsExpected_ >= starts.size()) { fail(l, "no program was started"); return true; }
    const auto& p = starts[programsExpected_++];
    bool ok = globMatch(w[2], p.commandLine);
    if (w.size() == 4) ok = ok && (w[3] == "started" ? p.started : w[3] == "notstarted" ? !p.started : false);
    check(ok, "the start was " + programLine(p));
  } else if (w.size() == 2 && w[1] == "noprogram") {
    const bool none = programsExpected_ >= starts.size();
    check(none, none ? "" : "a program was started: " + programLine(starts[programsExpected_]));
    programsExpected_ = starts.size();
  } else if (w.size() >= 4 && w[1] == "strokes") {
    ui::Form* f = app->form(w[2]);
    if (!f) { fail(l, "no window " + w[2]); return true; }
    // expect strokes WINDOW [colour C] [in X1 Y1 X2 Y2] N
    std::optional<int32_t> colour;
    std::optional<std::array<double, 4>> box;
    size_t i = 3;
    if (i + 1 < w.size() && w[i] == "colour") { colour = std::stoi(w[i + 1]); i += 2; }
    if (i + 4 < w.size() && w[i] == "in") {
      box = std::array<double, 4>{std::stod(w[i + 1]), std::stod(w[i + 2]), std::stod(w[i + 3]), std::stod(w[i + 4])};
      i += 5;
    }
    auto want = i + 1 == w.size() ? numberOf(w[i]) : std::nullopt;
    if (!want) { fail(l, "bad expect strokes"); return true; }
    auto inside = [&](double x, double y) {
      return x >= (*box)[0] && x <= (*box)[2] && y >= (*box)[1] && y <= (*box)[3];
    };
    long n = 0;
    for (const auto& s : f->lines())
      if ((!colour || s.colour == *colour) && (!box || (inside(s.x1, s.y1) && inside(s.x2, s.y2)))) ++n;
    check(n == static_cast<long>(*want), "there are " + std::to_string(n) + " such strokes");
  } else if (w.size() == 9 && w[1] == "stroke") {
    ui::Form* f = app->form(w[2]);
    if (!f) { fail(l, "no window " + w[2]); return true; }
    const long i = std::stol(w[3]);
    const auto& lines = f->lines();
    if (i < 1 || i > static_cast<long>(lines.size())) { fail(l, "there are " + std::to_string(lines.size()) + " strokes"); return true; }
    const auto& s = lines[static_cast<size_t>(i - 1)];
    const double want[4] = {std::stod(w[5]), std::stod(w[6]), std::stod(w[7]), std::stod(w[8])};
    const double got[4] = {s.x1, s.y1, s.x2, s.y2};
    bool ok = s.colour == std::stoi(w[4]);
    for (int k = 0; k < 4; ++k) ok = ok && std::fabs(got[k] - want[k]) < 1e-6;
    check(ok, "stroke " + w[3] + " is " + strokeLine(s));
  } else {
    return false;
  }
  return true;
}

// Any window by name: shown or not, its title and its pointer.
bool Runner::doWindowExpect(const Line& l) {
  const auto& w = l.words;
  auto check = [&](bool ok, const std::string& what) {
    if (ok) say("  ok");
    else fail(l, what);
  };
  if (w.size() == 4 && w[1] == "window") {
    ui::Form* f = app->form(w[2]);
    const std::string state = !f ? "absent" : f->visible() ? "shown" : "hidden";
    check(state == w[3], "the window is " + state);
  } else if (w.size() == 4 && (w[1] == "title" || w[1] == "pointer")) {
    ui::Form* f = app->form(w[2]);
    if (!f) { fail(l, "no window " + w[2]); return true; }
    if (w[1] == "title") {
      check(f->title() == w[3], "the title is " + q(f->title()));
    } else {
      const bool hour = f->pointer() == ui::Pointer::Hourglass;
      check(w[3] == (hour ? "hourglass" : "arrow"), std::string("the pointer is the ") + (hour ? "hourglass" : "arrow"));
    }
  } else {
    return false;
  }
  return true;
}

void Runner::dumpStrokes(const Line& l, const std::string& window) {
  ui::Form* f = app->form(window);
  if (!f) { fail(l, "no window " + window); return; }
  say("  window " + window + " strokes=" + std::to_string(f->lines().size()));
  for (size_t i = 0; i < f->lines().size(); ++i) say("    stroke " + std::to_string(i + 1) + " " + strokeLine(f->lines()[i]));
}

void Runner::dump() {
  for (ui::Form* f : app->forms()) {
    say("  window " + f->name() + " title=" + q(f->title()) + " visible=" + boolText(f->visible()) +
        " enabled=" + boolText(f->enabled()) + " pointer=" +
        (f->pointer() == ui::Pointer::Hourglass ? "hourglass" : "arrow") + " strokes=" + std::to_string(f->lines().size()));
    for (ui::Control* c : f->controls()) {
      say("    " + c->name() + " caption=" + q(visible(c->caption())) + " fore=" + std::to_string(c->foreColor()) +
          " back=" + std::to_string(c->backColor()) + " fill=" + std::to_string(c->fillColor()) +
          " tag=" + q(c->tag()) + " enabled=" + boolText(c->enabled()) + " visible=" + boolText(c->visible()) +
          " left=" + number(c->left()) + " top=" + number(c->top()) + " width=" + number(c->width()) +
          " height=" + number(c->height()) + " tooltip=" + q(c->toolTip()));
    }
  }
  for (const auto& n : app->varNames()) say("  var " + n + " = " + q(app->var(n).value_or("")));
  for (const auto& b : responder_.shown) say(boxLine(b) + " -> " + b.answer);
  const auto& mci = platform::mciCommandLog();
  for (size_t i = 0; i < mci.size(); ++i) say("  mci " + std::to_string(i + 1) + " " + q(mci[i]));
  for (const auto& p : platform::programStarts()) say("  program " + programLine(p));
  const fs::path song = root_ / "Vemracd" / "Mysong";
  std::error_code ec;
  if (fs::is_directory(song, ec)) {
    std::vector<std::pair<std::string, uintmax_t>> files;
    for (const auto& e : fs::directory_iterator(song, ec))
      if (e.is_regular_file()) files.emplace_back(e.path().filename().string(), e.file_size());
    std::sort(files.begin(), files.end());
    for (const auto& [n, s] : files) say("  file Vemracd/Mysong/" + n + " " + std::to_string(s));
  }
}

void Runner::execute(const Line& l) {
  say("> " + l.raw);
  const auto& w = l.words;
  const std::string& cmd = w[0];
  bool handled = false;
  if (cmd == "wait" && w.size() == 2) {
    notBefore_ = clock_.now() + std::stoll(w[1]);
    childWait_ = true;
    return;
  }
  if (cmd == "answer" && w.size() == 2) { responder_.answers.push_back(w[1]); return; }
  if (cmd == "expect") { doExpect(l); return; }
  if (cmd == "dump" && w.size() == 1) { dump(); return; }
  if (cmd == "dump" && w.size() == 3 && w[1] == "strokes") { dumpStrokes(l, w[2]); return; }
  doSetup(l, handled);
  if (!handled) doAction(l, handled);
  if (!handled) fail(l, "unknown command");
}

int Runner::run() {
  platform::setYieldDriver(this);
  ui::setResponder(&responder_);
  platform::configureOffline(audio_);
  // Outside programs are logged, never started; the desktop's programs exist unless the script
  // says otherwise ("desktop editor none").
  platform::setDetachedStartsSimulated(true);
  platform::setDesktopPrograms(desktop_);
  platform::mciClearCommandLog();
  platform::clearProgramStarts();
  app::Application application;
  app = &application;
  while (next_ < lines_.size() && !platform::ending()) yield(platform::kForever);
  // Let posted work that is already due finish.
  runDuePosted(clock_.now());
  // Once the program has ended, the checks that follow still run (the files it left behind);
  // anything else is a mistake in the script.
  if (next_ < lines_.size()) say("the program has ended");
  while (next_ < lines_.size()) {
    const Line& l = lines_[next_++];
    const std::string& cmd = l.words[0];
    if (cmd == "expect" || cmd == "dump" || cmd == "export") execute(l);
    else { say("> " + l.raw); fail(l, "the program has ended"); }
  }
  app = nullptr;
  ui::setResponder(nullptr);
  platform::setYieldDriver(nullptr);
  say(failures_ == 0 ? "scenario passed" : "scenario FAILED: " + std::to_string(failures_) + " expectation(s)");
  return failures_ == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: scenario_runner SCRIPT\n";
    return 2;
  }
  std::ifstream in(argv[1]);
  if (!in) {
    std::cerr << "cannot read " << argv[1] << "\n";
    return 2;
  }
  std::vector<Line> lines;
  std::string text;
  for (int n = 1; std::getline(in, text); ++n) {
    Line l{n, text, {}};
    std::string error;
    if (!tokenize(text, l.words, error)) {
      std::cerr << argv[1] << ":" << n << ": " << error << "\n";
      return 2;
    }
    if (!l.words.empty()) {
      while (!l.raw.empty() && (l.raw.back() == '\r' || l.raw.back() == ' ')) l.raw.pop_back();
      lines.push_back(std::move(l));
    }
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  setenv("VEMRA_AUDIO", "offline", 1);
  char tmpl[] = "/tmp/vemra-scenario-XXXXXX";
  if (!mkdtemp(tmpl)) return 2;
  const fs::path root = tmpl;
  platform::setDriveRoot(root.string());
  if (chdir(root.c_str()) != 0) return 2;
  if (!std::getenv("XDG_RUNTIME_DIR")) {
    const fs::path runtime = root / ".runtime";
    fs::create_directories(runtime);
    fs::permissions(runtime, fs::perms::owner_all, fs::perm_options::replace);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  }
  platform::initApplication(argc, argv);
  int rc;
  {
    Runner runner(std::move(lines), root);
    rc = runner.run();
  }
  platform::mciReset();
  platform::shutdownAudio();
  std::error_code ec;
  fs::remove_all(root, ec);
  return rc;
}

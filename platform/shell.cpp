// Starting outside programs with posix_spawn: argv only, never through a shell.
#include "platform/shell.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <initializer_list>
#include <mutex>
#include <optional>

#include "platform/paths.h"

extern char** environ;

namespace platform {
namespace {

// ---- Finding programs ----------------------------------------------------------------------

bool isExecutableFile(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

bool isRegularFile(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// A bare name is looked up on PATH; a name with a slash must be an executable file itself.
std::string findProgram(std::string_view name) {
  if (name.empty()) return {};
  if (name.find('/') != std::string_view::npos) {
    std::string p(name);
    return isExecutableFile(p) ? p : std::string();
  }
  const char* env = std::getenv("PATH");
  std::string_view path = env ? env : "/usr/local/bin:/usr/bin:/bin";
  for (;;) {
    size_t colon = path.find(':');
    std::string_view dir = path.substr(0, colon);
    std::string candidate = (dir.empty() ? std::string(".") : std::string(dir)) + "/";
    candidate += name;
    if (isExecutableFile(candidate)) return candidate;
    if (colon == std::string_view::npos) return {};
    path.remove_prefix(colon + 1);
  }
}

std::string firstFound(std::initializer_list<const char*> names) {
  for (const char* n : names)
    if (std::string p = findProgram(n); !p.empty()) return p;
  return {};
}

std::mutex gMutex;  // guards the overrides and the child lists
std::optional<DesktopPrograms> gOverride;

enum class Desktop { TextEditor, FileManager, SoundMixer, UrlOpener };

std::string desktopProgram(Desktop which, bool hasFileArgument) {
  std::optional<DesktopPrograms> o;
  {
    std::lock_guard lock(gMutex);
    o = gOverride;
  }
  if (o) {
    switch (which) {
      case Desktop::TextEditor:
        return findProgram(o->textEditor);
      case Desktop::FileManager:
        return findProgram(o->fileManager);
      case Desktop::SoundMixer:
        return findProgram(o->soundMixer);
      case Desktop::UrlOpener:
        return findProgram(o->urlOpener);
    }
  }
  switch (which) {
    case Desktop::TextEditor: {
      std::string p = firstFound({"gnome-text-editor", "gedit", "kate", "kwrite", "mousepad", "xed",
                                  "pluma", "featherpad", "leafpad"});
      return p.empty() && hasFileArgument ? findProgram("xdg-open") : p;
    }
    case Desktop::FileManager:
      return firstFound({"xdg-open", "nautilus", "dolphin", "thunar", "pcmanfm", "nemo", "caja"});
    case Desktop::SoundMixer:
      return firstFound({"pavucontrol", "pavucontrol-qt", "qpwgraph"});
    case Desktop::UrlOpener:
      return firstFound({"xdg-open", "sensible-browser", "x-www-browser"});
  }
  return {};
}

// ---- Command lines -------------------------------------------------------------------------

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && (isBlank(s.back()) || s.back() == '\0')) s.remove_suffix(1);
  return s;
}

std::string lower(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return r;
}

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && lower(s.substr(0, prefix.size())) == prefix;
}

// "X:\..." or "X:/..." (any drive letter).
bool isDrivePath(std::string_view s) {
  return s.size() >= 3 && std::isalpha(static_cast<unsigned char>(s[0])) && s[1] == ':' &&
         (s[2] == '\\' || s[2] == '/');
}

// The program's file name without its directory and without ".exe", lower case.
std::string programName(std::string_view token) {
  size_t slash = token.find_last_of("\\/");
  std::string name = lower(slash == std::string_view::npos ? token : token.substr(slash + 1));
  if (name.size() > 4 && name.ends_with(".exe")) name.resize(name.size() - 4);
  return name;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

std::string percentDecode(std::string_view s) {
  std::string r;
  for (size_t i = 0; i < s.size(); ++i) {
    int hi = -1, lo = -1;
    if (s[i] == '%' && i + 2 < s.size() && (hi = hexValue(s[i + 1])) >= 0 &&
        (lo = hexValue(s[i + 2])) >= 0) {
      r += static_cast<char>(hi * 16 + lo);
      i += 2;
    } else {
      r += s[i];
    }
  }
  return r;
}

std::string percentEncodePath(std::string_view s) {
  static const char* hex = "0123456789ABCDEF";
  std::string r;
  for (char c : s) {
    auto u = static_cast<unsigned char>(c);
    if (std::isalnum(u) || c == '/' || c == '-' || c == '.' || c == '_' || c == '~') {
      r += c;
    } else {
      r += '%';
      r += hex[u >> 4];
      r += hex[u & 15];
    }
  }
  return r;
}

// The argument of "start.exe": a "file:///C|/dir/page.htm" URL becomes a file URL of the host
// path; a logical path becomes the host path; anything else (other URLs) passes unchanged.
std::string openerArgument(std::string_view arg) {
  if (startsWithNoCase(arg, "file:///")) {
    std::string path = percentDecode(arg.substr(8));
    if (path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) &&
        (path[1] == '|' || path[1] == ':')) {
      path[1] = ':';
      if (path.size() == 2) path += '/';
    } else {
      path = "/" + path;
    }
    return "file://" + percentEncodePath(hostPath(path));
  }
  if (isDrivePath(arg)) return hostPath(arg);
  return std::string(arg);
}

// ---- Children ------------------------------------------------------------------------------

struct Attached {
  pid_t pid;
  std::function<void(int)> onExit;
};
std::vector<pid_t> gDetached;
std::vector<Attached> gAttached;
QPointer<QTimer> gPollTimer;  // polls while the application idles in its main loop

// Runs the poll timer while children are tracked and a Qt loop exists on this thread.
void updatePollTimer(bool anyChildren) {
  auto* app = QCoreApplication::instance();
  if (!app || QThread::currentThread() != app->thread()) return;
  if (!gPollTimer) {
    if (!anyChildren) return;
    gPollTimer = new QTimer(app);
    gPollTimer->setInterval(50);
    QObject::connect(gPollTimer, &QTimer::timeout, gPollTimer, [] { pollChildren(); });
  }
  if (anyChildren && !gPollTimer->isActive()) gPollTimer->start();
  if (!anyChildren && gPollTimer->isActive()) gPollTimer->stop();
}

// posix_spawn of argv; stdin (and stdout, and in Hidden mode stderr) from/to /dev/null, in a
// process group of its own so that a Ctrl-C of the program does not reach it. Nothing else this
// process has open is passed on: a sound client's socket held by a program that outlives us
// would stall the sound server.
pid_t spawn(const ResolvedCommand& cmd, WindowMode mode) {
  if (cmd.program.empty()) return -1;
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(cmd.program.c_str()));
  for (const auto& a : cmd.args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attr);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  if (mode == WindowMode::Hidden)
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
  sigset_t none, deflt;
  sigemptyset(&none);
  sigemptyset(&deflt);
  for (int s : {SIGPIPE, SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGCHLD, SIGUSR1, SIGUSR2})
    sigaddset(&deflt, s);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &deflt);
  posix_spawnattr_setpgroup(&attr, 0);
  posix_spawnattr_setflags(&attr,
                           POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, cmd.program.c_str(), &actions, &attr, argv.data(), environ);
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

}  // namespace

ResolvedCommand resolveCommand(std::string_view commandLine) {
  std::string_view line = trim(commandLine);
  if (line.empty()) return {};
  size_t blank = line.find_first_of(" \t");
  std::string_view token = line.substr(0, blank);
  std::string_view rest = blank == std::string_view::npos ? "" : trim(line.substr(blank));

  // The Windows programs the documents name, with or without a directory, in any case.
  std::string name = programName(token);
  auto desktop = [&](Desktop which, std::vector<std::string> args) {
    ResolvedCommand r{desktopProgram(which, !args.empty()), std::move(args)};
    if (r.program.empty()) r.args.clear();
    return r;
  };
  auto argList = [&](std::string a) {
    return rest.empty() ? std::vector<std::string>{} : std::vector<std::string>{std::move(a)};
  };
  if (name == "notepad") return desktop(Desktop::TextEditor, argList(hostPath(rest)));
  if (name == "explorer")
    return desktop(Desktop::FileManager, {rest.empty() ? driveRoot() : hostPath(rest)});
  if (name == "sndvol32") return desktop(Desktop::SoundMixer, {});
  if (name == "start") return desktop(Desktop::UrlOpener, argList(openerArgument(rest)));

  // A path typed by the user may hold blanks: the whole line naming a file is the program.
  if (std::string whole = hostPath(line); isRegularFile(whole))
    return {isExecutableFile(whole) ? whole : std::string(), {}};

  ResolvedCommand r;
  bool bare = token.find_first_of("\\/:") == std::string_view::npos;
  r.program = findProgram(hostPath(token));
  if (r.program.empty() && bare) r.program = findProgram(token);
  if (!r.program.empty() && !rest.empty())
    r.args.push_back(isDrivePath(rest) ? hostPath(rest) : std::string(rest));
  return r;
}

bool programExists(std::string_view commandLine) {
  return !resolveCommand(commandLine).program.empty();
}

namespace {
std::vector<ProgramStart> gStarts;  // UI thread only
bool gSimulated = false;

// Logs the start and makes it; a simulated detached start makes nothing and counts as made
// when the program exists.
pid_t logAndSpawn(std::string_view commandLine, WindowMode mode, bool attached) {
  ResolvedCommand cmd = resolveCommand(commandLine);
  ProgramStart entry{std::string(commandLine), cmd.program, cmd.args, mode, attached, false};
  pid_t pid = -1;
  if (gSimulated && !attached) {
    entry.started = !cmd.program.empty();
  } else {
    pid = spawn(cmd, mode);
    entry.started = pid > 0;
  }
  gStarts.push_back(std::move(entry));
  return pid;
}
}  // namespace

const std::vector<ProgramStart>& programStarts() { return gStarts; }
void clearProgramStarts() { gStarts.clear(); }
void setDetachedStartsSimulated(bool on) { gSimulated = on; }

bool shellExecute(std::string_view commandLine, WindowMode mode) {
  pid_t pid = logAndSpawn(commandLine, mode, false);
  if (gSimulated) return !gStarts.back().program.empty();
  if (pid <= 0) return false;
  {
    std::lock_guard lock(gMutex);
    gDetached.push_back(pid);
  }
  updatePollTimer(true);
  return true;
}

bool shellExecuteAttached(std::string_view commandLine, WindowMode mode,
                          std::function<void(int exitCode)> onExit) {
  pid_t pid = logAndSpawn(commandLine, mode, true);
  if (pid <= 0) return false;
  {
    std::lock_guard lock(gMutex);
    gAttached.push_back({pid, std::move(onExit)});
  }
  updatePollTimer(true);
  return true;
}

void pollChildren() {
  std::vector<std::pair<std::function<void(int)>, int>> finished;
  bool anyLeft;
  {
    std::lock_guard lock(gMutex);
    if (gDetached.empty() && gAttached.empty()) return;
    int status = 0;
    std::erase_if(gDetached, [&](pid_t pid) {
      pid_t r = ::waitpid(pid, &status, WNOHANG);
      return r == pid || (r < 0 && errno == ECHILD);
    });
    std::erase_if(gAttached, [&](Attached& a) {
      pid_t r = ::waitpid(a.pid, &status, WNOHANG);
      if (r == 0 || (r < 0 && errno != ECHILD)) return false;
      int code = r == a.pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      finished.emplace_back(std::move(a.onExit), code);
      return true;
    });
    anyLeft = !gDetached.empty() || !gAttached.empty();
  }
  updatePollTimer(anyLeft);
  // Callbacks run outside the lock: they may start programs or yield again.
  for (auto& [fn, code] : finished)
    if (fn) fn(code);
}

int attachedChildren() {
  std::lock_guard lock(gMutex);
  return static_cast<int>(gAttached.size());
}

void setDesktopPrograms(const DesktopPrograms& programs) {
  std::lock_guard lock(gMutex);
  gOverride = programs;
}

void resetDesktopPrograms() {
  std::lock_guard lock(gMutex);
  gOverride.reset();
}

}  // namespace platform

// Termination signals through a self-pipe: the signal handler only writes the signal's number
// into a non-blocking pipe; a socket notifier on its read end calls the program's handler on
// the UI thread.
#include "platform/signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <utility>

namespace platform {
namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

int gPipe[2] = {-1, -1};

extern "C" void noteSignal(int sig) {
  const int saved = errno;
  const unsigned char b = static_cast<unsigned char>(sig);
  [[maybe_unused]] ssize_t n = ::write(gPipe[1], &b, 1);  // a full pipe already holds a request
  errno = saved;
}

struct Watch {
  std::function<void(int)> onRequest;
  QPointer<QSocketNotifier> notifier;  // owned by the application object
  bool running = false;                 // onRequest is on the stack
};

Watch& watch() {
  static Watch* w = new Watch;  // never destroyed: a late signal must find it
  return *w;
}

bool makePipe() {
  if (gPipe[0] >= 0) return true;
  if (::pipe2(gPipe, O_NONBLOCK | O_CLOEXEC) != 0) {
    gPipe[0] = gPipe[1] = -1;
    return false;
  }
  return true;
}

void onReadable() {
  Watch& w = watch();
  unsigned char buf[64];
  int last = 0;
  for (ssize_t n; (n = ::read(gPipe[0], buf, sizeof buf)) > 0;) last = buf[n - 1];
  if (last == 0 || w.running || !w.onRequest) return;
  w.running = true;
  auto call = w.onRequest;  // the handler may replace itself
  call(last);
  w.running = false;
}

}  // namespace

void setTerminationHandler(std::function<void(int signal)> onRequest) {
  Watch& w = watch();
  if (!onRequest) {
    for (int sig : kSignals) std::signal(sig, SIG_DFL);
    w.onRequest = nullptr;
    return;
  }
  if (!QCoreApplication::instance() || !makePipe()) return;
  w.onRequest = std::move(onRequest);
  if (!w.notifier) {
    w.notifier = new QSocketNotifier(gPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(w.notifier, &QSocketNotifier::activated, w.notifier, [] { onReadable(); });
  }
  struct sigaction sa {};
  sa.sa_handler = noteSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  for (int sig : kSignals) ::sigaction(sig, &sa, nullptr);
}

}  // namespace platform

#include "platform/app_loop.h"

#include <QApplication>
#include <QEventLoop>
#include <QFont>

namespace platform {
namespace {

// Held by a plain pointer on purpose: a static owner would destroy the application after Qt's
// own globals are gone, which crashes at exit. It lives until shutdownApplication or the end.
QApplication*& ownApp() {
  static QApplication* app = nullptr;
  return app;
}

}  // namespace

void initApplication(int& argc, char** argv) {
  if (QCoreApplication::instance()) return;
  ownApp() = new QApplication(argc, argv);
  // The program decides when it ends (the main window's unload), not the last window closing.
  QApplication::setQuitOnLastWindowClosed(false);
  // The windows' twip geometry is laid out for a small UI font (captions such as "MX-->1/2" in
  // 765 twips, 17-pixel buttons): use an 11-pixel, slightly condensed face.
  QFont font = QApplication::font();
  font.setPixelSize(11);
  font.setStretch(QFont::SemiCondensed);
  QApplication::setFont(font);
}

void ensureApplication() {
  static int argc = 1;
  static char name[] = "vemracd";
  static char* argv[] = {name, nullptr};
  initApplication(argc, argv);
}

int runEventLoop(const std::function<bool()>& finished) {
  while (!finished() && !QCoreApplication::closingDown())
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  return 0;
}

void shutdownApplication() {
  delete ownApp();
  ownApp() = nullptr;
}

}  // namespace platform

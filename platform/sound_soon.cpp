// The deferred opening of the input stream (see sound.h), on the window system's event loop.
#include <QCoreApplication>
#include <QTimer>

#include "platform/sound.h"

namespace platform {

namespace {
// After the window's first paint: on some servers the open takes a noticeable time.
constexpr int kInputOpenDelayMs = 100;
}  // namespace

void openInputStreamSoon() {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return;
  QTimer::singleShot(kInputOpenDelayMs, app, [] { openInputStream(); });
}

}  // namespace platform

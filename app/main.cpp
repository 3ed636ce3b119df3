// The program: shows the mixer display and runs until its window closes.
#include "app/application.h"
#include "platform/app_loop.h"
#include "platform/sound.h"

int main(int argc, char** argv) {
  platform::prepareSound();  // while the window system starts
  platform::initApplication(argc, argv);
  int rc = 0;
  {
    app::Application program;
    program.start();  // start-up runs before the window appears, as its boxes expect
    program.show();
    rc = platform::runEventLoop([&] { return program.finished(); });
  }
  platform::shutdownApplication();
  return rc;
}

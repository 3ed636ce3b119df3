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
    if (program.finished()) {
      // Start-up ended the program (another copy runs on the program folder, or a signal to
      // end came during its boxes): no window, no event loop. The sound devices' examination
      // begun above ends before the process does.
      platform::shutdownAudio();
    } else {
      program.show();
      platform::runEventLoop([&] { return program.finished(); });
    }
    rc = program.exitStatus();
  }
  platform::shutdownApplication();
  return rc;
}

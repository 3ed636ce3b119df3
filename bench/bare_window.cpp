// A bare window with as many captioned controls as the program's main window, made through the
// same window layer and with nothing else: what showing such a window costs, for
// startup_vs_bare.sh to compare the program's start-up with.
//   bare_window [LABELS]   (default 227; the window is titled "vemra-bare-window")
#include <cstdlib>
#include <string>

#include "platform/app_loop.h"
#include "platform/ui.h"

int main(int argc, char** argv) {
  const int labels = argc > 1 ? std::max(1, std::atoi(argv[1])) : 227;
  platform::initApplication(argc, argv);
  int rc = 0;
  {
    platform::ui::Form form("Bare");
    form.setTitle("vemra-bare-window");
    form.resize(12000, 8400);
    constexpr int kColumns = 16;
    for (int i = 0; i < labels; ++i) {
      const double left = 60 + (i % kColumns) * 740, top = 60 + (i / kColumns) * 300;
      const std::string n = std::to_string(i);
      form.addLabel(std::string("L").append(n), std::string("Lbl ").append(n), left, top, 700, 255);
    }
    bool closed = false;
    form.onUnload = [&](int& cancel) { closed = cancel == 0; };
    form.show();
    rc = platform::runEventLoop([&] { return closed; });
  }
  platform::shutdownApplication();
  return rc;
}

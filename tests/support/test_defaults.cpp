// Linked into every test program: the environment the tests run in, and the leaks inside
// system libraries (fonts, audio servers, Qt's plugin loader) that the leak checker ignores.
#include <cstdlib>

namespace {
// Offscreen windows and the offline sound backend unless the caller chose otherwise.
[[maybe_unused]] const bool environmentSet = [] {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("VEMRA_AUDIO", "offline", 0);
  return true;
}();
}  // namespace

extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig\n"
         "leak:libjack\n"
         "leak:libpulse\n"
         "leak:libasound\n"
         "leak:libQt6Core\n"
         "leak:libQt6Gui\n"
         "leak:libdbus\n";
}

extern "C" const char* __lsan_default_options() { return "print_suppressions=0"; }

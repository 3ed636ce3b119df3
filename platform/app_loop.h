// The window system's application object and its event loop, for main() and the tests that
// make windows. Everything else of the window system is in ui.h.
#pragma once
#include <functional>

namespace platform {

// Makes the process's application object once, before any window exists; later calls (and
// calls when one already exists) do nothing. `argc` and `argv` must outlive it.
void initApplication(int& argc, char** argv);
// As initApplication, with the program's name as the only argument (tests, tools).
void ensureApplication();
// Runs the event loop, sleeping while nothing happens, until finished() is true after an event
// has been handled. Returns 0.
int runEventLoop(const std::function<bool()>& finished);
// Deletes the application object made here (after every window is gone).
void shutdownApplication();

}  // namespace platform

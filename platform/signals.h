// Requests from outside to end the program: SIGTERM (logout, shutdown), SIGINT (Ctrl-C) and
// SIGHUP (the terminal or session went away).
#pragma once
#include <functional>

namespace platform {

// From this call on the three signals no longer end the process at once: each is noted by an
// async-signal-safe handler (one byte into a pipe) and `onRequest` runs with the signal's
// number on the UI thread, from the event loop or any wait that yields to it (never inside
// another call of itself). nullptr puts the default actions back. Needs the application object
// (app_loop.h); without one nothing changes.
void setTerminationHandler(std::function<void(int signal)> onRequest);

}  // namespace platform

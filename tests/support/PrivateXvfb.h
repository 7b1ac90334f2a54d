#pragma once
// A display of our own for desktop tests and benchmarks run where none is set (CI).
#include <sys/types.h>

namespace wendrake::testing {

// Starts Xvfb on a display number no other server holds, waits until it listens,
// and sets DISPLAY. The server ends with this process, even when it crashes.
// Returns its pid, or -1 when no server could be started.
pid_t StartPrivateXvfb();
void StopPrivateXvfb(pid_t server);
// Uses the display that is set, or starts a private one: 0 for the display that
// was set, the server's pid, or -1 when there is no display to be had. X11 only.
pid_t EnsureDisplay();

}  // namespace wendrake::testing

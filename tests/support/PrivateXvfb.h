#pragma once
// A display of our own for desktop tests and benchmarks run where none is set (CI).
#include <sys/types.h>

namespace wendrake::testing {

// Starts Xvfb on a display number no other server holds, waits until it listens,
// and sets DISPLAY. The server ends with this process, even when it crashes.
// Returns its pid, or -1 when no server could be started.
pid_t StartPrivateXvfb();
void StopPrivateXvfb(pid_t server);

}  // namespace wendrake::testing

#pragma once
// The web processes a run of the program has started, as /proc shows them: the
// test kills one as a crash would, and finds a page's by what its script does.
#include <sys/types.h>

#include <optional>
#include <vector>

namespace wendrake::programtest {

// The WebKit web processes among the program's descendants.
std::vector<pid_t> WebProcessesOf(pid_t program);
// The one web process that keeps a processor busy (a page script in an endless
// loop) while the others idle; none when that is not clear within the time.
std::optional<pid_t> BusyWebProcessOf(pid_t program, double seconds = 20);

}  // namespace wendrake::programtest

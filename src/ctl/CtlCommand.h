#pragma once
// wendrakectl: runs one page method headless against an installation, reads and
// writes its settings, finds the game, and lists and restores add-on snapshots.
#include <ostream>
#include <string>
#include <vector>

namespace wendrake {

// Exit status 0 after a call, 3 when the bridge refused it, 2 on a usage error;
// 1 when a setting cannot be read or written, no game is found, or a snapshot
// cannot be restored.
int RunWendrakeCtl(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace wendrake

#pragma once
// wendrakectl: runs one page method headless against an installation.
#include <ostream>
#include <string>
#include <vector>

namespace wendrake {

// Exit status 0 after a call, 3 when the bridge refused it, 2 on a usage error.
int RunWendrakeCtl(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace wendrake

#pragma once
// Runs a program (a path, or a name on the PATH) to its end and collects what it wrote.
#include <string>
#include <vector>

namespace wendrake::testing {

struct ProcessOutcome {
  int status = -1;  // exit status, or -1 when it did not exit normally
  std::string out;
  std::string err;
};

ProcessOutcome RunProcess(const std::vector<std::string>& argv);

}  // namespace wendrake::testing

#pragma once
// One run of the installed program: started with an environment of the test's
// choosing, watched until it ends, and never left behind.
#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace wendrake::programtest {

class ProgramProcess {
 public:
  // `environment` holds NAME=value entries; stdout and stderr go to `output`.
  ProgramProcess(const std::filesystem::path& program, const std::vector<std::string>& environment, const std::filesystem::path& output);
  // Kills the program and whatever it started, if still there.
  ~ProgramProcess();
  ProgramProcess(const ProgramProcess&) = delete;
  ProgramProcess& operator=(const ProgramProcess&) = delete;

  pid_t Pid() const { return pid_; }
  bool Running();
  // True once it has ended within the time; its wait status is then in WaitStatus().
  bool WaitForEnd(double seconds = 20);
  std::optional<int> WaitStatus() const { return status_; }
  void Signal(int signal) const;

 private:
  pid_t pid_ = -1;
  std::optional<int> status_;
};

// "exited with 0", "killed by signal 9": for failure messages.
std::string DescribeStatus(const std::optional<int>& status);

}  // namespace wendrake::programtest

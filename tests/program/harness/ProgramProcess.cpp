#include "harness/ProgramProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

#include "harness/Wait.h"

namespace wendrake::programtest {

ProgramProcess::ProgramProcess(const std::filesystem::path& program, const std::vector<std::string>& environment,
                               const std::filesystem::path& output) {
  std::vector<char*> envp;
  for (const auto& entry : environment) envp.push_back(const_cast<char*>(entry.c_str()));
  envp.push_back(nullptr);
  const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (out < 0 || in < 0) throw std::runtime_error("cannot open the program's output file");
  pid_ = ::fork();
  if (pid_ == 0) {
    // Its own process group, so its web processes can be ended with it.
    ::setpgid(0, 0);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(out, 2);
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    ::execve(argv[0], argv, envp.data());
    ::_exit(127);
  }
  ::close(out);
  ::close(in);
  if (pid_ < 0) throw std::runtime_error("fork failed");
  ::setpgid(pid_, pid_);
}

ProgramProcess::~ProgramProcess() {
  if (pid_ <= 0) return;
  ::killpg(pid_, SIGKILL);
  if (!status_) {
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
}

bool ProgramProcess::Running() {
  if (status_) return false;
  int status = 0;
  if (::waitpid(pid_, &status, WNOHANG) != pid_) return true;
  status_ = status;
  return false;
}

bool ProgramProcess::WaitForEnd(double seconds) {
  return RunUntil([&] { return !Running(); }, seconds);
}

void ProgramProcess::Signal(int signal) const {
  if (!status_) ::kill(pid_, signal);
}

std::string DescribeStatus(const std::optional<int>& status) {
  if (!status) return "still running";
  if (WIFEXITED(*status)) return "exited with " + std::to_string(WEXITSTATUS(*status));
  if (WIFSIGNALED(*status)) return "killed by signal " + std::to_string(WTERMSIG(*status));
  return "wait status " + std::to_string(*status);
}

}  // namespace wendrake::programtest

#include "platform/InstanceEnder.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <vector>

namespace wendrake {
namespace {

struct ProcessInfo {
  pid_t parent = 0;
  std::string executableName;
};

// The processes this user owns, by pid.
std::map<pid_t, ProcessInfo> OwnProcesses() {
  std::map<pid_t, ProcessInfo> processes;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    struct stat owner {};
    if (::stat(entry.path().c_str(), &owner) != 0 || owner.st_uid != ::getuid()) continue;

    std::ifstream statFile(entry.path() / "stat");
    std::string line;
    std::getline(statFile, line);
    const auto commEnd = line.rfind(')');
    if (commEnd == std::string::npos) continue;
    std::istringstream fields(line.substr(commEnd + 1));
    char state;
    ProcessInfo info;
    fields >> state >> info.parent;

    std::error_code linkError;
    std::string executable = std::filesystem::read_symlink(entry.path() / "exe", linkError).filename().string();
    if (const auto deleted = executable.rfind(" (deleted)"); deleted != std::string::npos && deleted + 10 == executable.size())
      executable.resize(deleted);
    info.executableName = executable;
    processes.emplace(static_cast<pid_t>(std::stol(name)), info);
  }
  return processes;
}

}  // namespace

void EndProcessesNamed(std::string_view name) {
  const auto processes = OwnProcesses();
  std::map<pid_t, std::vector<pid_t>> children;
  for (const auto& [pid, info] : processes) children[info.parent].push_back(pid);

  std::set<pid_t> doomed;
  std::vector<pid_t> pending;
  for (const auto& [pid, info] : processes)
    if (info.executableName == name) pending.push_back(pid);
  while (!pending.empty()) {
    const pid_t pid = pending.back();
    pending.pop_back();
    if (!doomed.insert(pid).second) continue;
    for (pid_t child : children[pid]) pending.push_back(child);
  }

  const pid_t self = ::getpid();
  for (pid_t pid : doomed)
    if (pid != self) ::kill(pid, SIGKILL);
  if (doomed.contains(self)) ::kill(self, SIGKILL);
}

void InstanceEnder::RunPending() {
  if (!requested_) return;
  requested_ = false;
  if (!dryRun_) EndProcessesNamed(kProgramFileName);
}

}  // namespace wendrake

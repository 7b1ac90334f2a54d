#include "harness/WebProcesses.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "harness/Wait.h"

namespace wendrake::programtest {
namespace {

struct ProcessStat {
  pid_t parent = 0;
  std::string name;
  long long cpuTicks = 0;  // user and system time
};

std::optional<ProcessStat> StatOf(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  if (!std::getline(file, text)) return std::nullopt;
  // The name stands in parentheses and may hold blanks and parentheses itself.
  const auto open = text.find('('), close = text.rfind(')');
  if (open == std::string::npos || close == std::string::npos) return std::nullopt;
  ProcessStat stat;
  stat.name = text.substr(open + 1, close - open - 1);
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  long long utime = 0, stime = 0;
  // Fields from the state on: state(3) ppid(4) ... utime(14) stime(15).
  for (int index = 3; index <= 15 && fields >> field; ++index) {
    if (index == 4) stat.parent = static_cast<pid_t>(std::stol(field));
    if (index == 14) utime = std::stoll(field);
    if (index == 15) stime = std::stoll(field);
  }
  stat.cpuTicks = utime + stime;
  return stat;
}

std::map<pid_t, ProcessStat> AllProcesses() {
  std::map<pid_t, ProcessStat> processes;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
    const std::string name = entry.path().filename().string();
    if (name.empty() || !std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; })) continue;
    const pid_t pid = static_cast<pid_t>(std::stol(name));
    if (auto stat = StatOf(pid)) processes[pid] = *stat;
  }
  return processes;
}

std::map<pid_t, long long> CpuTicksOf(const std::vector<pid_t>& pids) {
  std::map<pid_t, long long> ticks;
  for (const pid_t pid : pids)
    if (auto stat = StatOf(pid)) ticks[pid] = stat->cpuTicks;
  return ticks;
}

}  // namespace

std::vector<pid_t> WebProcessesOf(pid_t program) {
  const auto processes = AllProcesses();
  std::vector<pid_t> found;
  for (const auto& [pid, stat] : processes) {
    // The kernel keeps 15 characters of the name: "WebKitWebProces".
    if (!stat.name.starts_with("WebKitWebProces")) continue;
    for (pid_t ancestor = stat.parent; ancestor > 1;) {
      if (ancestor == program) {
        found.push_back(pid);
        break;
      }
      const auto up = processes.find(ancestor);
      ancestor = up == processes.end() ? 0 : up->second.parent;
    }
  }
  return found;
}

std::optional<pid_t> BusyWebProcessOf(pid_t program, double seconds) {
  // Over a quarter of a second a spinning process gains most of the ticks it can,
  // an idle one next to none.
  constexpr long long kBusyTicks = 5;
  std::optional<pid_t> busy;
  RunUntil(
      [&] {
        const auto processes = WebProcessesOf(program);
        const auto before = CpuTicksOf(processes);
        RunUntil([] { return false; }, 0.25);
        const auto after = CpuTicksOf(processes);
        std::vector<pid_t> gaining;
        for (const auto& [pid, ticks] : after) {
          const auto earlier = before.find(pid);
          if (earlier != before.end() && ticks - earlier->second >= kBusyTicks) gaining.push_back(pid);
        }
        if (gaining.size() == 1) busy = gaining.front();
        return gaining.size() == 1;
      },
      seconds);
  return busy;
}

}  // namespace wendrake::programtest

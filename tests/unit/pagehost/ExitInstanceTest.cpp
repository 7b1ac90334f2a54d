// ExitInstance with real processes: every process named like the program goes,
// with what it started, once the page call has returned; nothing else does.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "support/BridgeFixture.h"

namespace wendrake {
namespace {

namespace fs = std::filesystem;

// Starts `program` (copied under `name`) with arguments; optionally as another user.
pid_t StartCopy(const fs::path& folder, const fs::path& program, const std::string& name, std::vector<std::string> args, uid_t user = 0) {
  fs::create_directories(folder);
  const fs::path copy = folder / name;
  fs::copy_file(program, copy, fs::copy_options::overwrite_existing);
  fs::permissions(copy, fs::perms::all);
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (user != 0 && ::setuid(user) != 0) ::_exit(126);
    std::vector<char*> argv{const_cast<char*>(copy.c_str())};
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    ::execv(copy.c_str(), argv.data());
    ::_exit(127);
  }
  return pid;
}

char State(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return 'X';
  return line[line.rfind(')') + 2];
}

// Our own children are reaped here; others are only looked at.
bool Ended(pid_t pid, bool ownChild) {
  for (int i = 0; i < 200; ++i) {
    if (ownChild) {
      int status = 0;
      if (::waitpid(pid, &status, WNOHANG) == pid) return true;
    } else if (State(pid) == 'X' || State(pid) == 'Z') {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

bool StillRunning(pid_t ownChild) { return ::waitpid(ownChild, nullptr, WNOHANG) == 0; }

pid_t FirstChild(pid_t parent) {
  for (int i = 0; i < 200; ++i) {
    std::ifstream children("/proc/" + std::to_string(parent) + "/task/" + std::to_string(parent) + "/children");
    pid_t child = 0;
    if (children >> child) return child;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return 0;
}

TEST(ExitInstance, EndsTheProgramsInstancesAndWhatTheyStartedAfterTheCall) {
  testing::TempInstallation installation;
  fs::permissions(installation.Root(),
                  fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
  const fs::path sleep = "/bin/sleep", shell = "/bin/sh";
  const pid_t instance = StartCopy(installation.Root() / "a", sleep, "wendrake", {"60"});
  const pid_t parent = StartCopy(installation.Root() / "b", shell, "wendrake", {"-c", "/bin/sleep 60 & wait"});
  const pid_t otherName = StartCopy(installation.Root() / "c", sleep, "wendrake-copy", {"60"});
  const pid_t otherUser = StartCopy(installation.Root() / "d", sleep, "wendrake", {"60"}, 65534);
  const pid_t started = FirstChild(parent);
  ASSERT_NE(started, 0);

  HeadlessHost host;
  const PageHost view(installation.Install(), host, host, host.Services());
  EXPECT_EQ(ScriptBridge::Call(view, u"ExitInstance", {}).code, S_OK);
  EXPECT_TRUE(StillRunning(instance)) << "nothing ends before the call has returned";

  host.RunPendingWork();
  EXPECT_TRUE(Ended(instance, true));
  EXPECT_TRUE(Ended(parent, true));
  EXPECT_TRUE(Ended(started, false)) << "what an instance started ends with it";
  EXPECT_TRUE(StillRunning(otherName)) << "a copy under another name is another program";
  if (::getuid() == 0) {
    EXPECT_TRUE(StillRunning(otherUser)) << "another user's process is never touched";
  }

  for (pid_t pid : {otherName, otherUser}) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
  }
}

}  // namespace
}  // namespace wendrake

#include "support/PrivateXvfb.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace wendrake::testing {

pid_t StartPrivateXvfb() {
  for (int attempt = 0; attempt < 50; ++attempt) {
    const int number = 100 + (::getpid() + attempt * 7) % 800;
    const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
    const std::string lock = "/tmp/.X" + std::to_string(number) + "-lock";
    if (::access(socket.c_str(), F_OK) == 0 || ::access(lock.c_str(), F_OK) == 0) continue;
    const std::string display = ":" + std::to_string(number);
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::prctl(PR_SET_PDEATHSIG, SIGTERM);
      ::execlp("Xvfb", "Xvfb", display.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp", nullptr);
      ::_exit(127);
    }
    for (int wait = 0; wait < 1000; ++wait) {
      if (::access(socket.c_str(), F_OK) == 0) {
        ::setenv("DISPLAY", display.c_str(), 1);
        return pid;
      }
      if (::waitpid(pid, nullptr, WNOHANG) == pid) break;  // another server took the number
      ::usleep(10000);
    }
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
  }
  return -1;
}

pid_t EnsureDisplay() {
  ::unsetenv("WAYLAND_DISPLAY");
  const char* display = std::getenv("DISPLAY");
  return display && *display ? 0 : StartPrivateXvfb();
}

void StopPrivateXvfb(pid_t server) {
  if (server <= 0) return;
  ::kill(server, SIGTERM);
  ::waitpid(server, nullptr, 0);
}

}  // namespace wendrake::testing

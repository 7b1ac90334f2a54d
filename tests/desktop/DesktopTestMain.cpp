// Desktop tests run real GTK windows and WebKit views. Without a display (as in CI)
// they start their own Xvfb for the run.
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Takes a display number no other server holds, and waits until its socket is up.
pid_t StartXvfb() {
  for (int attempt = 0; attempt < 50; ++attempt) {
    const int number = 100 + (::getpid() + attempt * 7) % 800;
    const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
    const std::string lock = "/tmp/.X" + std::to_string(number) + "-lock";
    if (::access(socket.c_str(), F_OK) == 0 || ::access(lock.c_str(), F_OK) == 0) continue;
    const std::string display = ":" + std::to_string(number);
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::prctl(PR_SET_PDEATHSIG, SIGTERM);  // a crashed test run leaves no server behind
      ::execlp("Xvfb", "Xvfb", display.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp", nullptr);
      ::_exit(127);
    }
    for (int wait = 0; wait < 1000; ++wait) {
      if (::access(socket.c_str(), F_OK) == 0) {
        ::setenv("DISPLAY", display.c_str(), 1);
        return pid;
      }
      if (::waitpid(pid, nullptr, WNOHANG) == pid) break;  // lost the number to another server
      ::usleep(10000);
    }
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  pid_t xvfb = 0;
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) {
    xvfb = StartXvfb();
    if (xvfb < 0) {
      std::fprintf(stderr, "desktop tests need a display or Xvfb\n");
      return 1;
    }
  }
  ::unsetenv("WAYLAND_DISPLAY");
  gtk_init(&argc, &argv);
  const int result = RUN_ALL_TESTS();
  if (xvfb > 0) {
    ::kill(xvfb, SIGTERM);
    ::waitpid(xvfb, nullptr, 0);
  }
  return result;
}

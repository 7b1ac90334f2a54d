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

pid_t StartXvfb() {
  int pipe[2];
  if (::pipe(pipe) != 0) return -1;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(pipe[0]);
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);  // a crashed test run leaves no server behind
    const std::string fd = std::to_string(pipe[1]);
    ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp", nullptr);
    ::_exit(127);
  }
  ::close(pipe[1]);
  char number[16] = {};
  const ssize_t n = ::read(pipe[0], number, sizeof number - 1);
  ::close(pipe[0]);
  if (n <= 0) return -1;
  const std::string display = ":" + std::string(number, static_cast<size_t>(n - (number[n - 1] == '\n')));
  ::setenv("DISPLAY", display.c_str(), 1);
  return pid;
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

#include "harness/SessionBus.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace wendrake::programtest {
namespace {

namespace fs = std::filesystem;

constexpr int kAddressFd = 3;
constexpr int kStartMilliseconds = 10000;

// Everyone on the bus may own any name and talk to anyone; no <servicedir>, so a
// client asking for the desktop's services gets an error instead of a daemon.
std::string Config(const fs::path& socket) {
  return "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
         " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
         "<busconfig>\n"
         "  <type>session</type>\n"
         "  <listen>unix:path=" +
         socket.string() +
         "</listen>\n"
         "  <auth>EXTERNAL</auth>\n"
         "  <policy context=\"default\">\n"
         "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
         "    <allow eavesdrop=\"true\"/>\n"
         "    <allow own=\"*\"/>\n"
         "  </policy>\n"
         "</busconfig>\n";
}

// The daemon's one line, ended by a newline; empty when it ends or the time runs out first.
std::string ReadAddress(int from) {
  std::string line;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartMilliseconds);
  while (line.find('\n') == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    pollfd ready{from, POLLIN, 0};
    if (left <= 0 || ::poll(&ready, 1, static_cast<int>(left)) <= 0) return "";
    char buffer[256];
    const ssize_t got = ::read(from, buffer, sizeof buffer);
    if (got <= 0) return "";
    line.append(buffer, static_cast<size_t>(got));
  }
  return line.substr(0, line.find('\n'));
}

}  // namespace

SessionBus::SessionBus() {
  std::string pattern = (fs::temp_directory_path() / "wendrake-bus-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot make a folder for the session bus");
  folder_ = pattern;
  const fs::path config = folder_ / "session.conf";
  std::ofstream(config) << Config(folder_ / "socket");

  // What the daemon says goes to a log, read only when it does not start: as root
  // it complains about every fd limit it cannot raise.
  const fs::path log = folder_ / "daemon.log";
  const int logFd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  int pipe[2];
  if (logFd < 0 || in < 0 || ::pipe2(pipe, O_CLOEXEC) != 0) {
    if (logFd >= 0) ::close(logFd);
    if (in >= 0) ::close(in);
    Stop();
    throw std::runtime_error("cannot make the session bus's pipe and log");
  }
  daemon_ = ::fork();
  if (daemon_ == 0) {
    // The bus ends with the test, even when the test crashes.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    ::dup2(in, 0);
    ::dup2(logFd, 1);
    ::dup2(logFd, 2);
    // dup2 onto itself would keep close-on-exec.
    if (pipe[1] == kAddressFd)
      ::fcntl(kAddressFd, F_SETFD, 0);
    else
      ::dup2(pipe[1], kAddressFd);
    const std::string configArg = "--config-file=" + config.string();
    const std::string addressArg = "--print-address=" + std::to_string(kAddressFd);
    ::execlp("dbus-daemon", "dbus-daemon", configArg.c_str(), "--nofork", "--nosyslog", addressArg.c_str(), nullptr);
    ::_exit(127);
  }
  ::close(pipe[1]);
  ::close(logFd);
  ::close(in);
  if (daemon_ > 0) address_ = ReadAddress(pipe[0]);
  ::close(pipe[0]);
  if (address_.empty()) {
    std::ifstream said(log);
    const std::string text((std::istreambuf_iterator<char>(said)), std::istreambuf_iterator<char>());
    Stop();
    throw std::runtime_error("dbus-daemon did not start (is it installed?)\n" + text);
  }
}

SessionBus::~SessionBus() { Stop(); }

void SessionBus::Stop() {
  if (daemon_ > 0) {
    ::kill(daemon_, SIGTERM);
    ::waitpid(daemon_, nullptr, 0);
    daemon_ = -1;
  }
  std::error_code error;
  if (!folder_.empty()) fs::remove_all(folder_, error);
}

}  // namespace wendrake::programtest

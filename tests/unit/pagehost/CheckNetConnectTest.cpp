// CheckNetConnect against listeners on this machine.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "platform/ConnectionCheck.h"
#include "support/BridgeFixture.h"

namespace wendrake {
namespace {

// A loopback socket bound to a free port; the port is closed once the socket is.
struct LoopbackPort {
  LoopbackPort() {
    fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), length);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  }
  ~LoopbackPort() {
    for (const int client : clients) ::close(client);
    if (fd >= 0) ::close(fd);
  }
  void Close() {
    ::close(fd);
    fd = -1;
  }
  // Takes connections but never accepts them: once its queue is full the host no
  // longer answers, as a host behind a dead network does not.
  void ListenWithoutAnswering() {
    ::listen(fd, 0);
    for (int i = 0; i < 3; ++i) {
      clients.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
      ::connect(clients.back(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    }
    pollfd queued{clients.front(), POLLOUT, 0};
    ::poll(&queued, 1, -1);
  }
  std::string Address(const char* form) const {
    char text[80];
    std::snprintf(text, sizeof text, form, ntohs(address.sin_port));
    return text;
  }

  int fd = -1;
  sockaddr_in address{};
  std::vector<int> clients;
};

bool CheckNetConnect(const std::string& address) {
  testing::TempInstallation installation;
  HeadlessHost host({.connectivityAddress = address});
  const PageHost view(installation.Install(), host, host, host.Services());
  return std::get<bool>(ScriptBridge::Call(view, u"CheckNetConnect", {}).result);
}

TEST(CheckNetConnect, AnswersWhetherTheHostTakesAConnection) {
  for (const bool listening : {true, false}) {
    LoopbackPort port;
    if (listening)
      ::listen(port.fd, 16);
    else
      port.Close();
    // localhost goes through the resolver and also names ::1, where nothing listens.
    for (const char* form : {"http://127.0.0.1:%d/", "127.0.0.1:%d", "http://[::ffff:127.0.0.1]:%d/path?q", "http://localhost:%d/"}) {
      const std::string address = port.Address(form);
      EXPECT_EQ(CheckNetConnect(address), listening) << address;
    }
  }
}

void Ignore(int) {}

// Signals reach the launcher at any moment (a started game ending, the desktop
// asking it to end); none may turn a working connection into "no connection".
TEST(CheckNetConnect, SignalsDuringTheCheckChangeNoAnswer) {
  struct sigaction ignore {};
  struct sigaction previous {};
  ignore.sa_handler = Ignore;
  ignore.sa_flags = SA_RESTART;
  ::sigaction(SIGUSR1, &ignore, &previous);

  LoopbackPort port;
  ::listen(port.fd, SOMAXCONN);
  std::atomic<bool> checking = true;
  const pthread_t checker = ::pthread_self();
  std::thread signals([&] {
    while (checking) {
      ::pthread_kill(checker, SIGUSR1);
      ::usleep(50);
    }
  });
  testing::TempInstallation installation;
  HeadlessHost host({.connectivityAddress = port.Address("http://127.0.0.1:%d/")});
  const PageHost view(installation.Install(), host, host, host.Services());
  int wrong = 0;
  for (int i = 0; i < 300; ++i) wrong += ScriptBridge::Call(view, u"CheckNetConnect", {}).result != MethodResult(true);
  checking = false;
  signals.join();
  ::sigaction(SIGUSR1, &previous, nullptr);
  EXPECT_EQ(wrong, 0);
}

TEST(CheckNetConnect, AHostThatNeverAnswersIsNoConnection) {
  LoopbackPort port;
  port.ListenWithoutAnswering();
  ConnectionCheck check(port.Address("http://127.0.0.1:%d/"), std::chrono::milliseconds(200));
  EXPECT_FALSE(check.CheckConnection());
}

}  // namespace
}  // namespace wendrake

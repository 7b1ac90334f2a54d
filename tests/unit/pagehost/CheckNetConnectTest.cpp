// CheckNetConnect against listeners on this machine.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "support/BridgeFixture.h"

namespace wendrake {
namespace {

// A loopback port that listens, or that was free a moment ago and is closed now.
int LoopbackPort(bool listening, int& socketOut) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), length);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  if (listening) {
    ::listen(fd, 4);
    socketOut = fd;
  } else {
    ::close(fd);
    socketOut = -1;
  }
  return ntohs(address.sin_port);
}

TEST(CheckNetConnect, AnswersWhetherTheHostTakesAConnection) {
  testing::TempInstallation installation;
  for (const bool listening : {true, false}) {
    int fd = -1;
    const int port = LoopbackPort(listening, fd);
    for (const std::string form : {"http://127.0.0.1:%d/", "127.0.0.1:%d", "http://[::ffff:127.0.0.1]:%d/path?q"}) {
      char address[64];
      std::snprintf(address, sizeof address, form.c_str(), port);
      HeadlessHost host({.connectivityAddress = address});
      const PageHost view(installation.Install(), host, host, host.Services());
      EXPECT_EQ(ScriptBridge::Call(view, u"CheckNetConnect", {}).result, MethodResult(listening)) << address;
    }
    if (fd >= 0) ::close(fd);
  }
}

}  // namespace
}  // namespace wendrake

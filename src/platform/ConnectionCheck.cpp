#include "platform/ConnectionCheck.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/Text.h"

namespace wendrake {
namespace {

using Clock = std::chrono::steady_clock;

struct HostAndPort {
  std::string host;
  std::string port;
};

HostAndPort SplitAddress(std::string_view address) {
  std::string port = "80";
  if (const auto scheme = address.find("://"); scheme != std::string_view::npos) {
    if (EqualsIgnoreAsciiCase(address.substr(0, scheme), "https")) port = "443";
    address.remove_prefix(scheme + 3);
  }
  address = address.substr(0, address.find_first_of("/?#"));
  if (const auto at = address.rfind('@'); at != std::string_view::npos) address.remove_prefix(at + 1);
  std::string_view host = address;
  if (!host.empty() && host.front() == '[') {  // [::1]:8080
    const auto close = host.find(']');
    if (close != std::string_view::npos && close + 1 < host.size() && host[close + 1] == ':') port = host.substr(close + 2);
    host = host.substr(1, close == std::string_view::npos ? host.size() - 1 : close - 1);
  } else if (const auto colon = host.rfind(':'); colon != std::string_view::npos) {
    port = host.substr(colon + 1);
    host = host.substr(0, colon);
  }
  return {std::string(host), port};
}

int MillisecondsLeft(Clock::time_point deadline) {
  return static_cast<int>(std::max<long long>(0, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count()));
}

bool ConnectWithin(const addrinfo& address, Clock::time_point deadline) {
  const int fd = ::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, address.ai_protocol);
  if (fd < 0) return false;
  bool connected = ::connect(fd, address.ai_addr, address.ai_addrlen) == 0;
  if (!connected && errno == EINPROGRESS) {
    pollfd waiting{fd, POLLOUT, 0};
    int error = 0;
    socklen_t length = sizeof error;
    connected = ::poll(&waiting, 1, MillisecondsLeft(deadline)) == 1 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
  }
  ::close(fd);
  return connected;
}

}  // namespace

bool ConnectionCheck::CheckConnection() {
  const auto deadline = Clock::now() + timeout_;
  const HostAndPort target = SplitAddress(address_);

  // The lookup itself may hang on a dead network, so it too runs against the deadline.
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  gaicb request{};
  request.ar_name = target.host.c_str();
  request.ar_service = target.port.c_str();
  request.ar_request = &hints;
  gaicb* requests[] = {&request};
  if (::getaddrinfo_a(GAI_NOWAIT, requests, 1, nullptr) != 0) return false;
  const int waited = MillisecondsLeft(deadline);
  const timespec limit{waited / 1000, (waited % 1000) * 1000000L};
  if (::gai_suspend(requests, 1, &limit) != 0 && ::gai_error(&request) == EAI_INPROGRESS) {
    if (::gai_cancel(&request) != EAI_CANCELED) ::gai_suspend(requests, 1, nullptr);  // it must not outlive `request`
    if (::gai_error(&request) == 0) ::freeaddrinfo(request.ar_result);
    return false;
  }
  if (::gai_error(&request) != 0) return false;

  bool connected = false;
  for (const addrinfo* address = request.ar_result; address && !connected && Clock::now() < deadline; address = address->ai_next)
    connected = ConnectWithin(*address, deadline);
  ::freeaddrinfo(request.ar_result);
  return connected;
}

}  // namespace wendrake

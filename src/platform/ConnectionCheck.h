#pragma once
// The network test: can a TCP connection be made to the host of a fixed address?
#include <chrono>
#include <string>

#include "core/PageHost.h"

namespace wendrake {

// A well-known public site that answers whenever the outside network works.
inline constexpr const char* kConnectivityCheckAddress = "http://www.baidu.com/";

class ConnectionCheck : public INetworkCheck {
 public:
  explicit ConnectionCheck(std::string address = kConnectivityCheckAddress, std::chrono::milliseconds timeout = std::chrono::seconds(3))
      : address_(std::move(address)), timeout_(timeout) {}
  // Name lookup and connection together take at most the timeout.
  bool CheckConnection() override;

 private:
  std::string address_;
  std::chrono::milliseconds timeout_;
};

}  // namespace wendrake

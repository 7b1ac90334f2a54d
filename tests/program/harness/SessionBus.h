#pragma once
// A session bus of one test's own: a dbus-daemon on a socket in a private folder
// that starts no services on demand, so nothing of a desktop session joins it.
#include <sys/types.h>

#include <filesystem>
#include <string>

namespace wendrake::programtest {

class SessionBus {
 public:
  // Throws std::runtime_error when the daemon does not start.
  SessionBus();
  ~SessionBus();
  SessionBus(const SessionBus&) = delete;
  SessionBus& operator=(const SessionBus&) = delete;

  // What DBUS_SESSION_BUS_ADDRESS holds for a client of this bus.
  const std::string& Address() const { return address_; }

 private:
  void Stop();

  std::filesystem::path folder_;
  pid_t daemon_ = -1;
  std::string address_;
};

}  // namespace wendrake::programtest

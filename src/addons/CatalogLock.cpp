#include "addons/CatalogLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <map>

namespace wendrake {
namespace {

struct Held {
  int fd = -1;
  int depth = 0;
};

// Per lock file: flock would make a second hold in this process wait for the first.
std::map<std::filesystem::path, Held>& Holds() {
  static std::map<std::filesystem::path, Held> holds;
  return holds;
}

}  // namespace

CatalogLock::CatalogLock(const std::filesystem::path& catalog, Mode mode) : lockFile_(catalog.string() + ".lock") {
  Held& held = Holds()[lockFile_];
  if (held.depth++ > 0) return;
  held.fd = ::open(lockFile_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (held.fd < 0) return;
  while (::flock(held.fd, mode == Mode::Exclusive ? LOCK_EX : LOCK_SH) != 0 && errno == EINTR) {
  }
}

CatalogLock::~CatalogLock() {
  Held& held = Holds()[lockFile_];
  if (--held.depth > 0) return;
  if (held.fd >= 0) ::close(held.fd);
  Holds().erase(lockFile_);
}

}  // namespace wendrake

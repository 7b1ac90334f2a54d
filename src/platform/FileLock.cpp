#include "platform/FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace wendrake {

std::optional<FileLock> FileLock::Acquire(const std::filesystem::path& file, int openFlags, Mode mode) {
  for (;;) {
    const int fd = ::open(file.c_str(), openFlags | O_CLOEXEC, 0666);
    if (fd < 0) return std::nullopt;
    int locked;
    while ((locked = ::flock(fd, mode == Mode::Exclusive ? LOCK_EX : LOCK_SH)) != 0 && errno == EINTR) {
    }
    struct stat held {};
    if (locked != 0 || ::fstat(fd, &held) != 0) {
      ::close(fd);
      return std::nullopt;
    }
    struct stat named {};
    if (::stat(file.c_str(), &named) == 0 && named.st_dev == held.st_dev && named.st_ino == held.st_ino) return FileLock(fd);
    // Replaced or removed while we waited: the lock must be on what the path names now.
    ::close(fd);
  }
}

FileLock::FileLock(FileLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

FileLock::~FileLock() {
  if (fd_ >= 0) ::close(fd_);
}

std::optional<std::string> FileLock::ReadAll() const {
  std::string bytes;
  char buffer[65536];
  for (off_t offset = 0;;) {
    const ssize_t got = ::pread(fd_, buffer, sizeof buffer, offset);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return std::nullopt;
    if (got == 0) return bytes;
    bytes.append(buffer, static_cast<size_t>(got));
    offset += got;
  }
}

}  // namespace wendrake

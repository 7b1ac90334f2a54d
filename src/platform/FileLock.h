#pragma once
// An advisory lock (flock) on a file that writers replace by rename. A lock taken
// on an inode that a rename has since unlinked protects nothing, so holding a
// FileLock also means the path still named the locked file when it was taken.
#include <filesystem>
#include <optional>
#include <string>

namespace wendrake {

class FileLock {
 public:
  enum class Mode { Shared, Exclusive };

  // Opens the file with these open(2) flags (O_CREAT makes it with 0666 less the
  // umask) and waits for the lock; nullopt when the file cannot be opened or locked.
  static std::optional<FileLock> Acquire(const std::filesystem::path& file, int openFlags, Mode mode);

  FileLock(FileLock&& other) noexcept;
  FileLock& operator=(FileLock&& other) noexcept;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  ~FileLock();

  // The whole content of the locked file.
  std::optional<std::string> ReadAll() const;

 private:
  explicit FileLock(int fd) : fd_(fd) {}
  int fd_ = -1;
};

}  // namespace wendrake

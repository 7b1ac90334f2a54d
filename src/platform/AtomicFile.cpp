#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace wendrake {
namespace {

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

void SyncFolder(const std::filesystem::path& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

std::string TemporaryPrefix(const std::filesystem::path& target) { return "." + target.filename().string() + "."; }

}  // namespace

std::optional<std::string> ReadWholeFile(const std::filesystem::path& file) {
  // Without blocking: a FIFO in the file's place must not hang the reader.
  const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat status {};
  std::optional<std::string> bytes;
  // Only a regular file is a file's content; a folder or device in its place is none.
  if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
    bytes.emplace();
    char buffer[65536];
    for (;;) {
      const ssize_t got = ::read(fd, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) bytes.reset();
      if (got <= 0) break;
      bytes->append(buffer, static_cast<size_t>(got));
    }
  }
  ::close(fd);
  return bytes;
}

bool ReplaceFileContent(const std::filesystem::path& file, std::string_view bytes) {
  std::error_code error;
  // Replace what a link points to, not the link.
  const std::filesystem::path target = std::filesystem::weakly_canonical(file, error);
  if (error) return false;

  mode_t mode = 0666 & ~[] {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
  }();
  struct stat existing {};
  if (::stat(target.c_str(), &existing) == 0) {
    const int probe = ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
    if (probe < 0) return false;
    ::close(probe);
    mode = existing.st_mode & 07777;
  }

  std::string temporary = (target.parent_path() / TemporaryPrefix(target)).string() + "XXXXXX";
  const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, bytes) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  ok = ok && ::rename(temporary.c_str(), target.c_str()) == 0;
  if (!ok) {
    ::unlink(temporary.c_str());
    return false;
  }
  SyncFolder(target.parent_path());
  return true;
}

void RemoveStaleTemporaries(const std::filesystem::path& file) {
  std::error_code error;
  const std::filesystem::path target = std::filesystem::weakly_canonical(file, error);
  if (error) return;
  const std::string prefix = TemporaryPrefix(target);
  for (std::filesystem::directory_iterator it(target.parent_path(), error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    // mkostemp's six characters, nothing more.
    if (name.size() == prefix.size() + 6 && name.starts_with(prefix) && it->is_regular_file(error)) std::filesystem::remove(it->path(), error);
  }
}

}  // namespace wendrake

#include "addons/FolderCarry.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/UniqueFd.h"

namespace wendrake {
namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

}  // namespace

// Every name in the folder but "." and "..".
std::vector<std::string> ListFolder(int folderFd) {
  std::vector<std::string> names;
  const int listing = ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (listing < 0) return names;
  DIR* const folder = ::fdopendir(listing);
  if (!folder) {
    ::close(listing);
    return names;
  }
  while (const dirent* entry = ::readdir(folder)) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
  }
  ::closedir(folder);
  return names;
}

namespace {

bool CopyFileContent(int fromFolder, const std::string& name, int toFolder, const struct stat& status) {
  const UniqueFd in(::openat(fromFolder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  const UniqueFd out(::openat(toFolder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, status.st_mode & 07777));
  if (in.Get() < 0 || out.Get() < 0) return false;
  char buffer[1 << 16];
  for (;;) {
    const ssize_t got = ::read(in.Get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) break;
    for (ssize_t done = 0; done < got;) {
      const ssize_t put = ::write(out.Get(), buffer + done, static_cast<size_t>(got - done));
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) return false;
      done += put;
    }
  }
  const timespec times[2] = {status.st_atim, status.st_mtim};
  return ::futimens(out.Get(), times) == 0;
}

// One entry: a hard link where the file system allows it, a copy where it does not.
bool Carry(int fromFolder, const std::string& name, int toFolder);

}  // namespace

bool CarryFolder(int fromFolder, const std::string& fromName, int toFolder, const std::string& toName, mode_t mode) {
  if (::mkdirat(toFolder, toName.c_str(), (mode & 07777) | S_IRWXU) != 0) return false;
  const UniqueFd from(::openat(fromFolder, fromName.c_str(), kFolderFlags));
  const UniqueFd to(::openat(toFolder, toName.c_str(), kFolderFlags));
  if (from.Get() < 0 || to.Get() < 0) return false;
  for (const std::string& entry : ListFolder(from.Get()))
    if (!Carry(from.Get(), entry, to.Get())) return false;
  return true;
}

namespace {

bool Carry(int fromFolder, const std::string& name, int toFolder) {
  struct stat status {};
  if (::fstatat(fromFolder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) return false;
  if (S_ISDIR(status.st_mode)) return CarryFolder(fromFolder, name, toFolder, name, status.st_mode);
  if (::linkat(fromFolder, name.c_str(), toFolder, name.c_str(), 0) == 0) return true;
  if (S_ISREG(status.st_mode)) return CopyFileContent(fromFolder, name, toFolder, status);
  if (S_ISLNK(status.st_mode)) {
    std::string target(static_cast<size_t>(status.st_size) + 1, '\0');
    const ssize_t length = ::readlinkat(fromFolder, name.c_str(), target.data(), target.size());
    if (length < 0 || static_cast<size_t>(length) >= target.size()) return false;
    target.resize(static_cast<size_t>(length));
    return ::symlinkat(target.c_str(), toFolder, name.c_str()) == 0;
  }
  // A FIFO or the like that cannot be linked stops the carrying.
  return false;
}

}  // namespace

}  // namespace wendrake

#include "addons/FolderCarry.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/UniqueFd.h"

namespace wendrake {
namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

}  // namespace

std::uint64_t FileBytesBelow(const std::filesystem::path& folder) {
  std::uint64_t bytes = 0;
  std::error_code error;
  if (!std::filesystem::is_directory(std::filesystem::symlink_status(folder, error))) return 0;
  for (std::filesystem::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
    if (it->is_regular_file(error) && !it->is_symlink(error)) bytes += it->file_size(error);
  return bytes;
}

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

// Kernels and file systems that cannot do a step answer one of these; the next, plainer way is taken.
bool CannotHere(int error) { return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == ENOTSUP; }

bool ReadWrite(int in, int out) {
  char buffer[1 << 16];
  for (;;) {
    const ssize_t got = ::read(in, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    for (ssize_t done = 0; done < got;) {
      const ssize_t put = ::write(out, buffer + done, static_cast<size_t>(got - done));
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) return false;
      done += put;
    }
  }
}

// From both files' offsets on; a file system that cannot goes on with read and write.
bool CopyRange(int in, int out) {
  for (;;) {
    const ssize_t put = ::copy_file_range(in, nullptr, out, nullptr, std::size_t{1} << 30, 0);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) return CannotHere(errno) && ReadWrite(in, out);
    if (put == 0) return true;
  }
}

bool CopyFileContent(int fromFolder, const std::string& name, int toFolder, const struct stat& status) {
  const UniqueFd in(::openat(fromFolder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  const UniqueFd out(::openat(toFolder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, status.st_mode & 07777));
  if (in.Get() < 0 || out.Get() < 0) return false;
  // A clone shares storage only until either side is written; where there is none, a copy.
  if (::ioctl(out.Get(), FICLONE, in.Get()) != 0 && !CopyRange(in.Get(), out.Get())) return false;
  const timespec times[2] = {status.st_atim, status.st_mtim};
  return ::fchmod(out.Get(), status.st_mode & 07777) == 0 && ::futimens(out.Get(), times) == 0;
}

// One entry: a hard link where linking is wanted and the file system allows it, else a copy.
bool Carry(int fromFolder, const std::string& name, int toFolder, Carrying carrying);

}  // namespace

bool CarryFolder(int fromFolder, const std::string& fromName, int toFolder, const std::string& toName, mode_t mode, Carrying carrying) {
  if (::mkdirat(toFolder, toName.c_str(), (mode & 07777) | S_IRWXU) != 0) return false;
  const UniqueFd from(::openat(fromFolder, fromName.c_str(), kFolderFlags));
  const UniqueFd to(::openat(toFolder, toName.c_str(), kFolderFlags));
  if (from.Get() < 0 || to.Get() < 0) return false;
  for (const std::string& entry : ListFolder(from.Get()))
    if (!Carry(from.Get(), entry, to.Get(), carrying)) return false;
  return true;
}

namespace {

bool Carry(int fromFolder, const std::string& name, int toFolder, Carrying carrying) {
  struct stat status {};
  if (::fstatat(fromFolder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) return false;
  if (S_ISDIR(status.st_mode)) return CarryFolder(fromFolder, name, toFolder, name, status.st_mode, carrying);
  if (carrying == Carrying::Linked && ::linkat(fromFolder, name.c_str(), toFolder, name.c_str(), 0) == 0) return true;
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

#include "addons/FolderRemoval.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "addons/AddOnFolder.h"
#include "addons/AddOnSnapshots.h"
#include "addons/ConfinedFolder.h"
#include "addons/FolderCatalogItem.h"
#include "addons/PluginCatalog.h"
#include "core/Text.h"

namespace wendrake {
namespace {

// Opens the folder `name` of `parentFd` for listing and removal of its entries,
// adding the owner's rights it lacks; never through a link.
int OpenForEmptying(int parentFd, const char* name, mode_t mode) {
  int fd = ::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0 && errno == EACCES && ::fchmodat(parentFd, name, mode | S_IRWXU, AT_SYMLINK_NOFOLLOW) == 0)
    fd = ::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd >= 0 && (mode & S_IRWXU) != S_IRWXU) ::fchmod(fd, mode | S_IRWXU);
  return fd;
}

void RemoveFolder(int parentFd, const char* name, mode_t mode) {
  const int fd = OpenForEmptying(parentFd, name, mode);
  if (fd >= 0) {
    if (DIR* const folder = ::fdopendir(fd)) {
      std::vector<std::string> names;
      while (const dirent* entry = ::readdir(folder)) {
        const std::string_view entryName = entry->d_name;
        if (entryName != "." && entryName != "..") names.emplace_back(entryName);
      }
      for (const std::string& entryName : names) {
        struct stat status {};
        if (::fstatat(::dirfd(folder), entryName.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISDIR(status.st_mode))
          RemoveFolder(::dirfd(folder), entryName.c_str(), status.st_mode);
        else
          ::unlinkat(::dirfd(folder), entryName.c_str(), 0);
      }
      ::closedir(folder);
    } else {
      ::close(fd);
    }
  }
  ::unlinkat(parentFd, name, AT_REMOVEDIR);
}

// The top of a tree: a folder is emptied and removed, a link removed, anything else left.
void RemoveTop(int parentFd, const std::string& name) {
  struct stat status {};
  if (::fstatat(parentFd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) return;
  if (S_ISLNK(status.st_mode))
    ::unlinkat(parentFd, name.c_str(), 0);
  else if (S_ISDIR(status.st_mode))
    RemoveFolder(parentFd, name.c_str(), status.st_mode);
}

bool IsPlainFolderName(std::u16string_view name) {
  return !name.empty() && name != u"." && name != u".." && name.find_first_of(std::u16string_view(u"/\\\0", 3)) == std::u16string_view::npos &&
         !HasLoneSurrogate(name);
}

// The add-on folder goes into a snapshot, with its catalogue item, instead of
// being deleted; false when it is no folder (a link goes as before) or cannot be kept.
bool KeepRemovedFolder(const Installation& installation, const std::filesystem::path& addOns, const std::string& folderName) {
  const std::optional<ConfinedFolder> top = ConfinedFolder::Open(addOns);
  if (!top || !KeepsSnapshots(installation)) return false;
  const std::string name = top->Spelling(folderName);
  struct stat status {};
  if (::fstatat(top->Fd(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(status.st_mode)) return false;
  const BackupsLock hold(installation);
  return KeepSnapshot(installation, addOns / name, name, CatalogItemOfFolder(installation.CatalogPath(), name)).has_value();
}

}  // namespace

void DeleteFolderTree(const std::filesystem::path& path) {
  std::string text = path.string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  const std::filesystem::path trimmed(text);
  const std::string name = trimmed.filename().string();
  if (name.empty() || name == "." || name == "..") return;
  const std::filesystem::path parent = trimmed.has_parent_path() ? trimmed.parent_path() : ".";
  const int parentFd = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (parentFd < 0) return;
  RemoveTop(parentFd, name);
  ::close(parentFd);
}

bool DeleteFolderTreeBelow(const std::filesystem::path& base, const std::filesystem::path& relative) {
  const std::optional<std::vector<std::string>> parts = PartsBelow(relative.string());
  if (!parts || parts->empty()) return false;
  const std::optional<ConfinedFolder> top = ConfinedFolder::Open(base);
  if (!top) return false;
  const std::optional<ConfinedFolder> parent = top->Descend(std::span(*parts).first(parts->size() - 1), false);
  if (!parent) return false;
  RemoveTop(parent->Fd(), parent->Spelling(parts->back()));
  return true;
}

std::int32_t RemovePlugfolder(const PageHost& view, std::u16string_view folderName, std::u16string_view pid) {
  if (!IsPlainFolderName(folderName)) return 0;
  // Without a game folder there is nothing to delete; the catalogue item still goes.
  if (const std::optional<std::filesystem::path> addOns = AddOnFolder(view.Install(), u"")) {
    if (!KeepRemovedFolder(view.Install(), *addOns, ToUtf8(folderName))) DeleteFolderTreeBelow(*addOns, NativePath(folderName));
  }
  return PluginCatalog(view.Install()).RemovePlugin(pid) == 1 ? 1 : 0;
}

}  // namespace wendrake

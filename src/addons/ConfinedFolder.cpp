#include "addons/ConfinedFolder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <utility>

#include "addons/FolderCarry.h"
#include "core/Text.h"

namespace wendrake {
namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

}  // namespace

std::optional<std::vector<std::string>> PartsBelow(std::string_view name) {
  if (name.empty() || IsSeparator(name.front()) || name.find('\0') != std::string_view::npos) return std::nullopt;
  if (name.size() >= 2 && std::isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':') return std::nullopt;
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = start;
    while (end < name.size() && !IsSeparator(name[end])) ++end;
    const std::string_view part = name.substr(start, end - start);
    // Even "a/../b", which stays inside, is refused: an archive has no reason to climb.
    if (part == "..") return std::nullopt;
    if (!part.empty() && part != ".") parts.emplace_back(part);
    start = end + 1;
  }
  return parts;
}

std::optional<ConfinedFolder> ConfinedFolder::Open(const std::filesystem::path& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  return ConfinedFolder(fd);
}

ConfinedFolder::ConfinedFolder(ConfinedFolder&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

ConfinedFolder& ConfinedFolder::operator=(ConfinedFolder&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

ConfinedFolder::~ConfinedFolder() {
  if (fd_ >= 0) ::close(fd_);
}

std::string ConfinedFolder::Spelling(const std::string& name) const {
  struct stat exact {};
  if (::fstatat(fd_, name.c_str(), &exact, AT_SYMLINK_NOFOLLOW) == 0 || errno != ENOENT) return name;
  std::optional<std::string> best;
  for (std::string& candidate : ListFolder(fd_))
    if (EqualsIgnoreAsciiCase(candidate, name) && (!best || candidate < *best)) best = std::move(candidate);
  return best.value_or(name);
}

std::optional<ConfinedFolder> ConfinedFolder::Descend(std::span<const std::string> parts, bool create) const {
  int current = ::dup(fd_);
  for (const std::string& part : parts) {
    if (current < 0) return std::nullopt;
    const ConfinedFolder parent(current);
    const std::string spelled = parent.Spelling(part);
    current = ::openat(parent.fd_, spelled.c_str(), kFolderFlags);
    if (current < 0 && errno == ENOENT && create) {
      // The canonical spelling is the archive's; a folder made meanwhile by someone else is taken as found.
      if (::mkdirat(parent.fd_, spelled.c_str(), 0777) == 0 || errno == EEXIST) current = ::openat(parent.fd_, spelled.c_str(), kFolderFlags);
    }
  }
  if (current < 0) return std::nullopt;
  return ConfinedFolder(current);
}

}  // namespace wendrake

#pragma once
// Work below one folder (the game's add-on folder) that can never reach outside
// it: names that would climb out are refused, and no link below the folder is
// ever followed. Names are matched as the game (under Wine) matches them, without
// regard to case when the exact name does not exist.
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace wendrake {

// The parts of a relative name with `/` or `\` separators; empty and "." parts
// are dropped. Nothing for a name that is absolute, starts with a drive letter,
// has a ".." part anywhere, or holds a NUL.
std::optional<std::vector<std::string>> PartsBelow(std::string_view name);

class ConfinedFolder {
 public:
  // Links in `folder` itself are followed: the folder is where the user put it.
  static std::optional<ConfinedFolder> Open(const std::filesystem::path& folder);

  ConfinedFolder(ConfinedFolder&& other) noexcept;
  ConfinedFolder& operator=(ConfinedFolder&& other) noexcept;
  ConfinedFolder(const ConfinedFolder&) = delete;
  ConfinedFolder& operator=(const ConfinedFolder&) = delete;
  ~ConfinedFolder();

  int Fd() const { return fd_; }

  // The folder `parts` below this one. With `create`, missing folders are made
  // one by one; a part that is a link, or anything but a folder, fails the walk.
  std::optional<ConfinedFolder> Descend(std::span<const std::string> parts, bool create) const;
  // How `name` is spelled in this folder: the exact name when it exists, else
  // the smallest existing name that differs only in ASCII case, else `name`.
  std::string Spelling(const std::string& name) const;

 private:
  explicit ConfinedFolder(int fd) : fd_(fd) {}
  int fd_ = -1;
};

}  // namespace wendrake

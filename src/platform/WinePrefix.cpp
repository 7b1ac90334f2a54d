#include "platform/WinePrefix.h"

namespace wendrake {

bool IsWinePrefix(const std::filesystem::path& folder) {
  std::error_code error;
  return std::filesystem::is_directory(folder / "drive_c", error) && std::filesystem::is_regular_file(folder / "system.reg", error);
}

std::optional<std::filesystem::path> WinePrefixOf(const std::filesystem::path& program) {
  const std::filesystem::path absolute = std::filesystem::absolute(program).lexically_normal();
  for (std::filesystem::path folder = absolute.parent_path(); folder.has_relative_path(); folder = folder.parent_path())
    if (IsWinePrefix(folder)) return folder;
  return std::nullopt;
}

}  // namespace wendrake

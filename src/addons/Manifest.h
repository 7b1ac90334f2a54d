#pragma once
// The manifest of an add-on folder: RiftAddon.toc while the add-on is switched on,
// RiftAddon.txt while it is off. The game (under Wine) finds it without regard to
// case, so "riftaddon.toc" is its RiftAddon.toc as well.
#include <filesystem>
#include <optional>
#include <string_view>

namespace wendrake {

inline constexpr std::string_view kActiveManifest = "RiftAddon.toc";
inline constexpr std::string_view kInactiveManifest = "RiftAddon.txt";

// A manifest that could not be renamed; path1 is the manifest, path2 the name it
// was to take.
class ManifestRenameError : public std::filesystem::filesystem_error {
 public:
  using std::filesystem::filesystem_error::filesystem_error;
};

// The entry of that name in the folder (file, folder or link), matched without
// regard to case when the exact name does not exist; nothing when there is none.
std::optional<std::filesystem::path> FindManifest(const std::filesystem::path& folder, std::string_view name);

// Renames the manifest `from` to the canonical spelling of `to`. False when the
// folder holds no `from`. Never replaces an existing `to` in any case spelling:
// throws ManifestRenameError instead, as for any other failed rename.
bool RenameManifest(const std::filesystem::path& folder, std::string_view from, std::string_view to);

}  // namespace wendrake

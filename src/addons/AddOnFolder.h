#pragma once
// The game's add-on folders: PluginPath + "Interface\AddOns\" + name, found the way
// the game (under Wine) finds them, without regard to case.
#include <filesystem>
#include <optional>
#include <string_view>

#include "core/Installation.h"

namespace wendrake {

// The game's folder from the settings (PluginPath); nothing when it cannot be read
// or is empty.
std::optional<std::filesystem::path> GameFolder(const Installation& installation);

// The add-on folder of that name: each component below the game folder is matched
// without regard to case when the exact name does not exist. Nothing when the game
// folder is unknown.
std::optional<std::filesystem::path> AddOnFolder(const Installation& installation, std::u16string_view folderName);

}  // namespace wendrake

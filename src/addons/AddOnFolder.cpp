#include "addons/AddOnFolder.h"

#include <string>

#include "commands/SettingsStore.h"
#include "platform/CaseInsensitivePath.h"

namespace wendrake {

std::optional<std::filesystem::path> GameFolder(const Installation& installation) {
  const CRegistry settings(OpenSettingsKey(installation));
  std::u16string pluginPath;
  // An empty value would put the add-ons relative to whatever the current folder is.
  if (!settings.Read(SettingsValue::PluginPath, pluginPath) || pluginPath.empty()) return std::nullopt;
  return NativePath(pluginPath);
}

std::optional<std::filesystem::path> AddOnFolder(const Installation& installation, std::u16string_view folderName) {
  const std::optional<std::filesystem::path> game = GameFolder(installation);
  if (!game) return std::nullopt;
  std::u16string relative = u"Interface\\AddOns\\";
  relative += folderName;
  // The game folder itself is taken as stored; only what lies below it is the game's.
  return ResolveWithoutCase(*game, NativePath(relative));
}

}  // namespace wendrake

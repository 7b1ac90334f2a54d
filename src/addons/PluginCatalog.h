#pragma once
// The catalogue of add-ons installed through the launcher (update_info.xml). Every
// operation parses the whole file afresh and writes it back whole after a change,
// so the file is the single source of truth.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/Installation.h"

namespace wendrake {

class CatalogDocument;

class PluginCatalog {
 public:
  // The catalogue of an installation; the game's add-on folder is found through
  // the installation's settings.
  explicit PluginCatalog(const Installation& installation);

  const std::filesystem::path& CatalogPath() const { return catalogPath_; }

  std::int32_t GetPluginCount() const;
  // "pid_ver" of each item whose add-on folder exists, dropping the others from
  // the file; the single element "0" when none is left.
  std::vector<std::u16string> GetExistPlugin() const;
  std::int32_t IsExistPlugin(std::u16string_view pid) const;
  std::int32_t AddPlugin(std::u16string_view pid, std::u16string_view version, std::u16string_view folderName) const;
  std::int32_t RemovePlugin(std::u16string_view pid) const;
  std::int32_t SetLocalPluginVer(std::u16string_view pid, std::u16string_view version) const;
  std::int32_t ComparePluginVer(std::u16string_view pid, std::u16string_view version) const;

  // Whether the add-on folder of that name is known to be gone: never when the
  // game's folder (PluginPath) cannot be read.
  bool IsGone(std::u16string_view folderName) const;

 private:
  Installation installation_;
  std::filesystem::path catalogPath_;
};

}  // namespace wendrake

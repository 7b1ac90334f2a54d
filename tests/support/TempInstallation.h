#pragma once
// A throw-away installation tree for a test: <root>/bin, <root>/Temp, and helpers
// to lay down the hive, the catalogue and a game folder as a user would have them.
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/Installation.h"

namespace wendrake::testing {

// The catalogue a fresh installation ships.
inline constexpr std::string_view kEmptyCatalog = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n<Wendrake>\r\n    <plugin />\r\n</Wendrake>\r\n";

class TempInstallation {
 public:
  TempInstallation();
  ~TempInstallation();
  TempInstallation(const TempInstallation&) = delete;
  TempInstallation& operator=(const TempInstallation&) = delete;

  const Installation& Install() const { return installation_; }
  const std::filesystem::path& Root() const { return installation_.Root(); }

  // Writes bytes to a path relative to the root, creating its folders.
  std::filesystem::path WriteFile(const std::filesystem::path& relative, std::string_view bytes) const;
  std::string ReadFile(const std::filesystem::path& relative) const;

  // A UTF-8 hive holding the settings key with these values (name, UTF-8 text).
  void WriteHive(const std::vector<std::pair<std::string, std::string>>& values) const;
  // The catalogue listing these add-on folders, with pids 1, 2, ... and version 1.0.
  void WriteCatalog(const std::vector<std::string>& plugNames) const;
  // <root>/game/ as the game's folder, stored as PluginPath (with a trailing
  // separator, as the product's installation writes it), plus any other values.
  std::filesystem::path MakeGameFolder(const std::vector<std::pair<std::string, std::string>>& otherValues = {}) const;

 private:
  Installation installation_;
};

}  // namespace wendrake::testing

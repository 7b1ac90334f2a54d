#pragma once
// Every relative path of the program is resolved against the program's own folder,
// so one installation is one self-contained tree; only its data (settings, the
// catalogues, downloaded packages) may live apart, in the user's data folder, when
// the tree may not be written. This class alone decides where each file lives.
#include <filesystem>
#include <string>
#include <string_view>

namespace wendrake {

// The program file's name without folder and extension: the caption of the
// program's message boxes and the name of its instance family.
std::string ApplicationName();

// A backslash-separated text (as pages and settings hold them) as a native path.
std::filesystem::path NativePath(std::u16string_view text);

class Installation {
 public:
  // A tree that keeps its data beside the program.
  explicit Installation(std::filesystem::path root);
  Installation(std::filesystem::path root, std::filesystem::path dataFolder);
  // The tree around the running executable (<root>/bin/<program>), with its data
  // beside it when the tree may be written, else in $XDG_DATA_HOME/wendrake.
  static Installation OfRunningProgram();

  const std::filesystem::path& Root() const { return root_; }
  const std::filesystem::path& DataFolder() const { return data_; }
  bool KeepsDataApart() const { return data_ != root_; }
  // What a new data folder is made from: the defaults the program ships.
  std::filesystem::path DefaultsFolder() const { return root_ / "defaults"; }
  std::filesystem::path ModuleDirectory() const { return root_ / "bin"; }
  // "..\UI\pages\sc\main.html" and the like, joined to ModuleDirectory.
  std::filesystem::path ModuleRelative(std::u16string_view relative) const;

  std::filesystem::path HivePath() const { return data_ / "registry.reg"; }
  std::filesystem::path CatalogPath() const { return data_ / "update_info.xml"; }
  std::filesystem::path ReferenceCatalogPath() const { return data_ / "update.xml"; }
  std::filesystem::path TempFolder() const { return data_ / "Temp"; }

 private:
  std::filesystem::path root_;
  std::filesystem::path data_;
};

}  // namespace wendrake

#pragma once
// Every relative path of the program is resolved against the program's own folder,
// so one installation is one self-contained tree.
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
  explicit Installation(std::filesystem::path root);
  // The tree around the running executable: <root>/bin/<program>.
  static Installation OfRunningProgram();

  const std::filesystem::path& Root() const { return root_; }
  std::filesystem::path ModuleDirectory() const { return root_ / "bin"; }
  // "..\UI\pages\sc\main.html" and the like, joined to ModuleDirectory.
  std::filesystem::path ModuleRelative(std::u16string_view relative) const;

  std::filesystem::path HivePath() const { return root_ / "registry.reg"; }
  std::filesystem::path CatalogPath() const { return ModuleRelative(u"..\\update_info.xml"); }
  std::filesystem::path ReferenceCatalogPath() const { return ModuleRelative(u"..\\update.xml"); }

 private:
  std::filesystem::path root_;
};

}  // namespace wendrake

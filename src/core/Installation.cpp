#include "core/Installation.h"

#include <algorithm>

#include "core/Text.h"

namespace wendrake {

std::filesystem::path NativePath(std::u16string_view text) {
  std::u16string slashed(text);
  std::ranges::replace(slashed, u'\\', u'/');
  return std::filesystem::path(ToUtf8(slashed));
}

std::string ApplicationName() {
  std::error_code error;
  return std::filesystem::read_symlink("/proc/self/exe", error).stem().string();
}

Installation::Installation(std::filesystem::path root) : root_(std::filesystem::absolute(root).lexically_normal()) {
  if (root_.has_relative_path() && !root_.has_filename()) root_ = root_.parent_path();
}

Installation Installation::OfRunningProgram() {
  const auto program = std::filesystem::read_symlink("/proc/self/exe");
  return Installation(program.parent_path().parent_path());
}

std::filesystem::path Installation::ModuleRelative(std::u16string_view relative) const {
  // The module folder may not exist in a tree made for a tool or a test, so the
  // ".." parts are folded lexically rather than left to the file system.
  return (ModuleDirectory() / NativePath(relative)).lexically_normal();
}

}  // namespace wendrake

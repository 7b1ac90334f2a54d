#include "core/Installation.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

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

namespace {

std::filesystem::path Canonical(const std::filesystem::path& folder) {
  std::filesystem::path path = std::filesystem::absolute(folder).lexically_normal();
  if (path.has_relative_path() && !path.has_filename()) path = path.parent_path();
  return path;
}

// By its permission bits, which even the superuser honours here: a tree made
// read-only is a system-wide one, whoever runs it.
bool MayWrite(const std::filesystem::path& folder) {
  struct stat status {};
  if (::stat(folder.c_str(), &status) != 0 || ::access(folder.c_str(), W_OK) != 0) return false;
  if (status.st_uid == ::geteuid()) return status.st_mode & S_IWUSR;
  if (status.st_gid == ::getegid()) return status.st_mode & S_IWGRP;
  return status.st_mode & S_IWOTH;
}

std::filesystem::path UserDataHome() {
  const char* configured = std::getenv("XDG_DATA_HOME");
  if (configured && configured[0] == '/') return configured;
  const char* home = std::getenv("HOME");
  return std::filesystem::path(home ? home : "/") / ".local/share";
}

}  // namespace

Installation::Installation(std::filesystem::path root) : Installation(root, root) {}

Installation::Installation(std::filesystem::path root, std::filesystem::path dataFolder) : root_(Canonical(root)), data_(Canonical(dataFolder)) {}

Installation Installation::OfRunningProgram() {
  const auto program = std::filesystem::read_symlink("/proc/self/exe");
  const auto root = program.parent_path().parent_path();
  return MayWrite(root) ? Installation(root) : Installation(root, UserDataHome() / "wendrake");
}

std::filesystem::path Installation::ModuleRelative(std::u16string_view relative) const {
  // The module folder may not exist in a tree made for a tool or a test, so the
  // ".." parts are folded lexically rather than left to the file system.
  return (ModuleDirectory() / NativePath(relative)).lexically_normal();
}

}  // namespace wendrake

#include "addons/Manifest.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <system_error>

#include "platform/CaseInsensitivePath.h"

namespace wendrake {
namespace {

// Moves without ever replacing: a check beforehand could race with another writer.
int RenameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  const int error = errno;
  // File systems without RENAME_NOREPLACE: link() refuses an existing target too.
  if (error != EINVAL && error != ENOSYS) return error;
  if (::link(from.c_str(), to.c_str()) != 0) return errno;
  if (::unlink(from.c_str()) != 0) {
    const int unlinkError = errno;
    ::unlink(to.c_str());
    return unlinkError;
  }
  return 0;
}

}  // namespace

std::optional<std::filesystem::path> FindManifest(const std::filesystem::path& folder, std::string_view name) {
  const std::filesystem::path manifest = ResolveWithoutCase(folder, std::filesystem::path(name));
  std::error_code error;
  if (!std::filesystem::exists(std::filesystem::symlink_status(manifest, error))) return std::nullopt;
  return manifest;
}

bool RenameManifest(const std::filesystem::path& folder, std::string_view from, std::string_view to) {
  const auto source = FindManifest(folder, from);
  if (!source) return false;
  // The game would see another spelling of the target as the same file.
  if (const auto existing = FindManifest(folder, to))
    throw ManifestRenameError("cannot rename the add-on manifest", *source, *existing, std::make_error_code(std::errc::file_exists));
  const std::filesystem::path target = folder / to;
  if (const int error = RenameNoReplace(*source, target); error != 0)
    throw ManifestRenameError("cannot rename the add-on manifest", *source, target, std::error_code(error, std::generic_category()));
  return true;
}

}  // namespace wendrake

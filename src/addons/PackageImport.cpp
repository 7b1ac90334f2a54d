#include "addons/PackageImport.h"

#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "core/Text.h"

namespace wendrake {
namespace {

namespace fs = std::filesystem;

// What UnzipPlugin can be asked for: a name without separators of either kind.
bool IsPackageFileName(const std::string& name) {
  if (name.size() <= 4 || !EqualsIgnoreAsciiCase(std::string_view(name).substr(name.size() - 4), ".zip")) return false;
  const std::string stem = name.substr(0, name.size() - 4);
  return stem != "." && stem != ".." && stem.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

bool Synced(const fs::path& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  const bool synced = fd >= 0 && ::fsync(fd) == 0;
  if (fd >= 0) ::close(fd);
  return synced;
}

}  // namespace

std::optional<fs::path> ImportPackage(const Installation& installation, const fs::path& chosen) {
  const std::string name = chosen.filename().string();
  if (!IsPackageFileName(name)) return std::nullopt;
  const fs::path target = installation.TempFolder() / (name.substr(0, name.size() - 4) + ".zip");
  std::error_code error;
  if (fs::equivalent(chosen, target, error)) return target;
  fs::create_directories(installation.TempFolder(), error);
  const fs::path part = installation.TempFolder() / ("." + name + ".part-" + std::to_string(::getpid()));
  const bool copied = fs::copy_file(chosen, part, fs::copy_options::overwrite_existing, error) && Synced(part);
  if (copied) fs::rename(part, target, error);
  if (!copied || error) {
    fs::remove(part, error);
    return std::nullopt;
  }
  return target;
}

}  // namespace wendrake

#include "addons/PackageImport.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
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

constexpr std::string_view kPartMarker = ".part-";

fs::path PartialCopy(const Installation& installation, const std::string& name) {
  return installation.TempFolder() / ("." + name + std::string(kPartMarker) + std::to_string(::getpid()));
}

// The process that named a partial copy, when it names one.
std::optional<pid_t> CopyingProcess(std::string_view name) {
  const size_t marker = name.rfind(kPartMarker);
  if (!name.starts_with('.') || marker == std::string_view::npos) return std::nullopt;
  const std::string_view digits = name.substr(marker + kPartMarker.size());
  pid_t pid = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), pid);
  if (error != std::errc() || end != digits.data() + digits.size() || pid <= 0) return std::nullopt;
  return pid;
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
  const fs::path part = PartialCopy(installation, name);
  const bool copied = fs::copy_file(chosen, part, fs::copy_options::overwrite_existing, error) && Synced(part);
  if (copied) fs::rename(part, target, error);
  if (!copied || error) {
    fs::remove(part, error);
    return std::nullopt;
  }
  return target;
}

void RemoveImportLeftovers(const Installation& installation) {
  std::error_code error;
  for (fs::directory_iterator it(installation.TempFolder(), error), end; !error && it != end; it.increment(error)) {
    const std::optional<pid_t> pid = CopyingProcess(it->path().filename().string());
    if (pid && ::kill(*pid, 0) != 0 && errno == ESRCH) fs::remove(it->path(), error);
  }
}

}  // namespace wendrake

#include "commands/DataFolder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "commands/RegistryHive.h"
#include "commands/SettingsStore.h"
#include "core/Text.h"
#include "platform/AtomicFile.h"

namespace wendrake {
namespace {

namespace fs = std::filesystem;

// Whole or not at all, and never over a file that exists: the launcher and
// wendrakectl may both be starting for the first time.
bool CreateOnce(const fs::path& file, const std::string& bytes) {
  if (fs::exists(file)) return true;
  const fs::path part = file.string() + ".new-" + std::to_string(::getpid());
  const int fd = ::open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const bool written = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) && ::fsync(fd) == 0;
  ::close(fd);
  const bool placed = written && (::link(part.c_str(), file.c_str()) == 0 || errno == EEXIST);
  ::unlink(part.c_str());
  return placed;
}

// A file the program ships no default for is left to whoever makes it later.
bool CreateFromDefault(const Installation& installation, const fs::path& file) {
  const auto bytes = ReadWholeFile(installation.DefaultsFolder() / file.filename());
  return !bytes || CreateOnce(file, *bytes);
}

}  // namespace

bool PrepareDataFolder(const Installation& installation) {
  if (!installation.KeepsDataApart()) return true;
  std::error_code error;
  fs::create_directories(installation.TempFolder(), error);
  // The player's settings and add-on list are nobody else's business.
  ::chmod(installation.DataFolder().c_str(), 0700);
  if (error) return false;

  RegistryHive hive = RegistryHive::Parse(ReadWholeFile(installation.DefaultsFolder() / "registry.reg").value_or(std::string()));
  hive.SetValue(u"HKEY_LOCAL_MACHINE\\" + std::u16string(kSettingsKeyPath),
                RegistryValue::String(SettingsValue::Home, ToUtf16(installation.DataFolder().string())));
  return CreateOnce(installation.HivePath(), hive.Serialize()) && CreateFromDefault(installation, installation.CatalogPath()) &&
         CreateFromDefault(installation, installation.ReferenceCatalogPath());
}

}  // namespace wendrake

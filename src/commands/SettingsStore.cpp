#include "commands/SettingsStore.h"

#include <fcntl.h>

#include "commands/RegistryHive.h"
#include "core/Text.h"
#include "platform/AtomicFile.h"
#include "platform/FileLock.h"

namespace wendrake {
namespace {

constexpr std::u16string_view kLocalMachine = u"HKEY_LOCAL_MACHINE";

std::u16string FullPath(std::u16string_view path) {
  std::u16string full(kLocalMachine);
  if (!path.empty()) full += u"\\" + std::u16string(path);
  return full;
}

std::u16string JoinKeyPath(std::u16string_view base, std::u16string_view sub) {
  if (base.empty()) return std::u16string(sub);
  if (sub.empty()) return std::u16string(base);
  return std::u16string(base) + u"\\" + std::u16string(sub);
}

// A consistent snapshot: no writer is halfway through while we read.
std::optional<RegistryHive> ReadHive(const std::filesystem::path& hive, int openFlags) {
  const auto lock = FileLock::Acquire(hive, openFlags, FileLock::Mode::Shared);
  if (!lock) return std::nullopt;
  const auto bytes = lock->ReadAll();
  if (!bytes) return std::nullopt;
  return RegistryHive::Parse(*bytes);
}

enum class Change { None, Made, Refused };

// Lock, re-read, change, write, unlock: a write made by another process since
// our last read is never overwritten with an older copy.
template <typename Modify>
bool ModifyHive(const std::filesystem::path& hive, int openFlags, Modify modify) {
  const auto lock = FileLock::Acquire(hive, openFlags, FileLock::Mode::Exclusive);
  if (!lock) return false;
  const auto bytes = lock->ReadAll();
  if (!bytes) return false;
  RegistryHive content = RegistryHive::Parse(*bytes);
  const Change change = modify(content);
  if (change == Change::Refused) return false;
  // A hive we have just made still needs its header.
  if (change == Change::None && !bytes->empty()) return true;
  return ReplaceFileContent(hive, content.Serialize());
}

}  // namespace

RegistryKey RegistryKey::LocalMachine(std::filesystem::path hive) { return RegistryKey(std::move(hive), {}); }

RegistryKey RegistryKey::OpenSubKey(std::u16string_view path) const {
  if (!open_) return {};
  std::u16string full = JoinKeyPath(path_, path);
  // Full access: the hive must open for writing, as KEY_ALL_ACCESS needs.
  const auto hive = ReadHive(hive_, O_RDWR);
  if (!hive || !hive->HasKey(FullPath(full))) return {};
  return RegistryKey(hive_, std::move(full));
}

RegistryKey RegistryKey::CreateSubKey(std::u16string_view path) const {
  if (!open_ || !IsWritableRegistryName(path)) return {};
  std::u16string full = JoinKeyPath(path_, path);
  const bool created = ModifyHive(hive_, O_RDWR | O_CREAT, [&](RegistryHive& hive) {
    if (hive.HasKey(FullPath(full))) return Change::None;
    hive.AddKey(FullPath(full));
    return Change::Made;
  });
  if (!created) return {};
  return RegistryKey(hive_, std::move(full));
}

std::optional<std::u16string> RegistryKey::QueryValue(std::u16string_view name) const {
  if (!open_ || path_.empty()) return std::nullopt;
  const auto hive = ReadHive(hive_, O_RDONLY);
  if (!hive) return std::nullopt;
  const RegistryValue* value = hive->FindValue(FullPath(path_), name);
  if (!value) return std::nullopt;
  return value->Text();
}

bool RegistryKey::SetValue(std::u16string_view name, std::u16string_view text) const {
  // HKEY_LOCAL_MACHINE itself holds no values. A text holding a NUL would read
  // back cut short at it, a game path naming some other program.
  if (!open_ || path_.empty() || !IsWritableRegistryName(name) || text.find(u'\0') != std::u16string_view::npos) return false;
  return ModifyHive(hive_, O_RDWR, [&](RegistryHive& hive) {
    // Removed by another process since it was opened: like a deleted key's handle.
    if (!hive.HasKey(FullPath(path_))) return Change::Refused;
    hive.SetValue(FullPath(path_), RegistryValue::String(name, text));
    return Change::Made;
  });
}

bool RegistryKey::DeleteValue(std::u16string_view name) const {
  if (!open_ || path_.empty()) return false;
  bool deleted = false;
  const bool written = ModifyHive(hive_, O_RDWR, [&](RegistryHive& hive) {
    deleted = hive.DeleteValue(FullPath(path_), name);
    return deleted ? Change::Made : Change::None;
  });
  return written && deleted;
}

void RegistryKey::Close() {
  hive_.clear();
  path_.clear();
  open_ = false;
}

RegistryKey OpenSettingsKey(const Installation& installation) {
  return RegistryKey::LocalMachine(installation.HivePath()).OpenSubKey(kSettingsKeyPath);
}

std::string ReadWineCommand(const Installation& installation) {
  CRegistry registry(OpenSettingsKey(installation));
  std::u16string command;
  registry.Read(SettingsValue::WineCommand, command);
  return ToUtf8(command);
}

bool IsWow64() { return false; }

bool CRegistry::Create(std::u16string_view subkey) {
  RegistryKey created = Key.CreateSubKey(subkey);
  if (!created.IsOpen()) return false;
  Key = std::move(created);
  return true;
}

bool CRegistry::Read(std::u16string_view valueName, std::u16string& text) const {
  auto value = Key.QueryValue(valueName);
  if (!value) return false;
  text = std::move(*value);
  return true;
}

}  // namespace wendrake

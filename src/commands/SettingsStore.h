#pragma once
// The per-machine settings: one registry key, kept in the text hive
// <root>/registry.reg. Every command opens the key, reads, writes at most once and
// closes it again; nothing is cached between commands.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "core/Installation.h"

namespace wendrake {

inline constexpr std::u16string_view kSettingsKeyPath = u"Software\\Wendrake";
inline constexpr std::u16string_view kWow64SettingsKeyPath = u"Software\\Wow6432Node\\Wendrake";

// The six values of the settings key, and ours beside them.
namespace SettingsValue {
inline constexpr std::u16string_view OsmarGamePath = u"OsmarGamePath";
inline constexpr std::u16string_view PluginPath = u"PluginPath";
inline constexpr std::u16string_view Home = u"Home";
inline constexpr std::u16string_view Version = u"Version";
inline constexpr std::u16string_view Skin = u"Skin";
inline constexpr std::u16string_view Data = u"Data";
// The command line that starts Windows programs (a Wine build or a wrapper such
// as umu-run, with its arguments); `wine` from PATH when empty or missing.
inline constexpr std::u16string_view WineCommand = u"WineCommand";
}  // namespace SettingsValue

// An open key of the hive: what an HKEY is to the registry. A default-made key is
// none: every read, write and delete through it fails.
class RegistryKey {
 public:
  RegistryKey() = default;
  // HKEY_LOCAL_MACHINE of the hive file.
  static RegistryKey LocalMachine(std::filesystem::path hive);

  bool IsOpen() const { return open_; }
  // Opening asks for full access: none when the hive is missing, unreadable or
  // not writable, or has no such key. Key paths compare without regard to case,
  // and Software\Wow6432Node\X is the same key as Software\X.
  RegistryKey OpenSubKey(std::u16string_view path) const;
  // Opens the key, creating it (and the hive file) when missing.
  RegistryKey CreateSubKey(std::u16string_view path) const;

  // The value's text up to its first NUL, whatever its type; no length limit.
  std::optional<std::u16string> QueryValue(std::u16string_view name) const;
  // Refuses a text holding a NUL, which would read back cut short.
  bool SetValue(std::u16string_view name, std::u16string_view text) const;
  bool DeleteValue(std::u16string_view name) const;
  void Close();

 private:
  RegistryKey(std::filesystem::path hive, std::u16string path) : hive_(std::move(hive)), path_(std::move(path)), open_(true) {}

  std::filesystem::path hive_;
  std::u16string path_;  // empty for HKEY_LOCAL_MACHINE itself
  bool open_ = false;
};

// The settings key of an installation, opened with full access, or none.
RegistryKey OpenSettingsKey(const Installation& installation);
// The configured Wine runner as a command line; empty when none is set.
std::string ReadWineCommand(const Installation& installation);
// Whether this is a 32-bit process on a 64-bit system: never here.
bool IsWow64();

// The key holder the commands read through and create the key with.
class CRegistry {
 public:
  explicit CRegistry(RegistryKey key) : Key(std::move(key)) {}
  ~CRegistry() { Close(); }
  CRegistry(const CRegistry&) = delete;
  CRegistry& operator=(const CRegistry&) = delete;

  // Creates (or opens) the subkey below the held key; on success holds it.
  bool Create(std::u16string_view subkey);
  // On success sets `text` to the value's text; on failure leaves it as it was.
  bool Read(std::u16string_view valueName, std::u16string& text) const;
  void Close() { Key.Close(); }

  RegistryKey Key;
};

// The user data format: the text up to and including its first "^" stays as it
// is, the rest is written as capital letters.
std::u16string EncodeUserData(std::u16string_view tail);
std::u16string DecodeUserData(std::u16string_view encoded);
std::u16string ToStoredUserData(std::u16string_view data);
std::u16string FromStoredUserData(std::u16string_view stored);

}  // namespace wendrake

#pragma once
// The hive file in the registry's own export syntax, so it can be read, edited
// and imported with the usual tools. Parsing never fails: a line that cannot be
// understood is skipped and everything else is kept for the next write.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace wendrake {

inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;

struct RegistryValue {
  std::u16string name;  // empty: the key's default value, written "@"
  std::uint32_t type = kRegSz;
  std::vector<std::uint8_t> data;  // as the registry holds it; REG_SZ is UTF-16LE with its NUL

  static RegistryValue String(std::u16string_view name, std::u16string_view text);
  // The data as UTF-16LE code units up to the first NUL, whatever the type.
  std::u16string Text() const;
};

struct RegistryKeySection {
  std::u16string path;  // full path as first written, root first
  std::u16string id;  // what makes two spellings the same key
  std::vector<RegistryValue> values;
};

// Key paths here are full paths: "HKEY_LOCAL_MACHINE\Software\Wendrake". They
// compare without regard to ASCII case, and "HKEY_LOCAL_MACHINE\Software\Wow6432Node\X"
// is the same key as "HKEY_LOCAL_MACHINE\Software\X".
class RegistryHive {
 public:
  // UTF-8 with or without BOM, UTF-16 with BOM; CRLF, LF or CR.
  static RegistryHive Parse(std::string_view bytes);
  // UTF-8 without BOM, CRLF, "Windows Registry Editor Version 5.00".
  std::string Serialize() const;

  // A key also exists when only its subkeys are listed, as in the registry.
  bool HasKey(std::u16string_view key) const;
  void AddKey(std::u16string_view key);
  // Removes the key with its subkeys.
  void DeleteKey(std::u16string_view key);

  const RegistryValue* FindValue(std::u16string_view key, std::u16string_view name) const;
  // Replaces a value of the same name in place, else appends; adds the key when missing.
  void SetValue(std::u16string_view key, RegistryValue value);
  bool DeleteValue(std::u16string_view key, std::u16string_view name);

  const std::vector<RegistryKeySection>& Keys() const { return keys_; }

 private:
  RegistryKeySection* Find(std::u16string_view id);
  const RegistryKeySection* Find(std::u16string_view id) const;
  RegistryKeySection& Add(std::u16string path, std::u16string id);

  std::vector<RegistryKeySection> keys_;
};

// The identity of a key path, or empty when the path names no key.
std::u16string RegistryKeyId(std::u16string_view key);
// Whether a value name or key path survives a write and a read unchanged.
bool IsWritableRegistryName(std::u16string_view name);

}  // namespace wendrake

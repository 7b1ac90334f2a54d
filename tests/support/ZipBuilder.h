#pragma once
// Writes ZIP archives for tests with minizip's own writer, entry by entry, with
// the attributes, times and methods a test needs.
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace wendrake::testing {

struct ZipEntrySpec {
  std::string name;
  std::string content;
  std::uint32_t externalAttributes = 0;
  bool madeOnUnix = false;  // "version made by" says Unix, so the upper 16 bits are a mode
  bool stored = false;
  std::optional<std::string> password;
  std::optional<std::tm> dosTime;  // local time, two-second steps
  std::optional<std::int32_t> utcTime;  // an Info-ZIP extended timestamp
  bool utf8Flag = false;  // general purpose bit 11: the name is UTF-8
  std::optional<std::string> unicodePath;  // an Info-ZIP Unicode path field for the name as stored

  static ZipEntrySpec File(std::string name, std::string content);
  static ZipEntrySpec Folder(std::string name);  // MS-DOS directory attribute
  static ZipEntrySpec UnixFolder(std::string name);  // Unix directory mode only
  static ZipEntrySpec UnixFile(std::string name, std::string content, std::uint32_t mode);
  static ZipEntrySpec Link(std::string name, std::string target);

  ZipEntrySpec& Stored() {
    stored = true;
    return *this;
  }
  ZipEntrySpec& DosAttributes(std::uint32_t attributes) {
    externalAttributes |= attributes;
    return *this;
  }
  ZipEntrySpec& Encrypted(std::string with) {
    password = std::move(with);
    return *this;
  }
  ZipEntrySpec& At(std::tm local) {
    dosTime = local;
    return *this;
  }
  ZipEntrySpec& AtUtc(std::int32_t seconds) {
    utcTime = seconds;
    return *this;
  }
  ZipEntrySpec& MarkedUtf8() {
    utf8Flag = true;
    return *this;
  }
  ZipEntrySpec& WithUnicodePath(std::string utf8) {
    unicodePath = std::move(utf8);
    return *this;
  }
};

inline constexpr std::uint32_t kDosReadOnly = 0x01;

// Throws when minizip refuses any step.
void WriteZip(const std::filesystem::path& archive, const std::vector<ZipEntrySpec>& entries);

}  // namespace wendrake::testing

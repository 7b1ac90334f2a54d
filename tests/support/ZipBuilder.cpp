#include "support/ZipBuilder.h"

#include <minizip/zip.h>
#include <sys/stat.h>
#include <zlib.h>

#include <stdexcept>

namespace wendrake::testing {
namespace {

constexpr std::uint32_t kDosFolder = 0x10;
constexpr std::uint32_t kDosArchive = 0x20;
constexpr unsigned long kVersion = 20;
constexpr unsigned long kUnixHost = 3u << 8;
constexpr int kUtf8NameFlag = 1 << 11;

std::string Little32(std::uint32_t value) {
  return {static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF), static_cast<char>((value >> 16) & 0xFF),
          static_cast<char>((value >> 24) & 0xFF)};
}

std::string ExtendedTimestamp(std::int32_t seconds) {
  const auto value = static_cast<std::uint32_t>(seconds);
  const char bytes[] = {0x55,
                        0x54,
                        5,
                        0,
                        1,
                        static_cast<char>(value & 0xFF),
                        static_cast<char>((value >> 8) & 0xFF),
                        static_cast<char>((value >> 16) & 0xFF),
                        static_cast<char>((value >> 24) & 0xFF)};
  return std::string(bytes, sizeof bytes);
}

std::string UnicodePath(const std::string& stored, const std::string& utf8) {
  const auto crc = static_cast<std::uint32_t>(::crc32(0, reinterpret_cast<const Bytef*>(stored.data()), static_cast<uInt>(stored.size())));
  const auto size = static_cast<std::uint32_t>(5 + utf8.size());
  return std::string{0x75, 0x70, static_cast<char>(size & 0xFF), static_cast<char>(size >> 8), 1} + Little32(crc) + utf8;
}

}  // namespace

ZipEntrySpec ZipEntrySpec::File(std::string name, std::string content) {
  ZipEntrySpec entry;
  entry.name = std::move(name);
  entry.content = std::move(content);
  entry.externalAttributes = kDosArchive;
  return entry;
}

ZipEntrySpec ZipEntrySpec::Folder(std::string name) {
  ZipEntrySpec entry;
  entry.name = std::move(name);
  entry.externalAttributes = kDosFolder;
  return entry;
}

ZipEntrySpec ZipEntrySpec::UnixFolder(std::string name) {
  ZipEntrySpec entry;
  entry.name = std::move(name);
  entry.externalAttributes = static_cast<std::uint32_t>(S_IFDIR | 0755) << 16;
  entry.madeOnUnix = true;
  return entry;
}

ZipEntrySpec ZipEntrySpec::UnixFile(std::string name, std::string content, std::uint32_t mode) {
  ZipEntrySpec entry;
  entry.name = std::move(name);
  entry.content = std::move(content);
  entry.externalAttributes = (S_IFREG | mode) << 16;
  entry.madeOnUnix = true;
  return entry;
}

ZipEntrySpec ZipEntrySpec::Link(std::string name, std::string target) {
  ZipEntrySpec entry;
  entry.name = std::move(name);
  entry.content = std::move(target);
  entry.externalAttributes = static_cast<std::uint32_t>(S_IFLNK | 0777) << 16;
  entry.madeOnUnix = true;
  return entry;
}

void WriteZip(const std::filesystem::path& archive, const std::vector<ZipEntrySpec>& entries) {
  const zipFile zip = ::zipOpen64(archive.c_str(), APPEND_STATUS_CREATE);
  if (!zip) throw std::runtime_error("cannot create " + archive.string());
  for (const ZipEntrySpec& entry : entries) {
    zip_fileinfo info{};
    if (entry.dosTime) {
      info.tmz_date.tm_year = static_cast<uInt>(entry.dosTime->tm_year + 1900);
      info.tmz_date.tm_mon = static_cast<uInt>(entry.dosTime->tm_mon);
      info.tmz_date.tm_mday = static_cast<uInt>(entry.dosTime->tm_mday);
      info.tmz_date.tm_hour = static_cast<uInt>(entry.dosTime->tm_hour);
      info.tmz_date.tm_min = static_cast<uInt>(entry.dosTime->tm_min);
      info.tmz_date.tm_sec = static_cast<uInt>(entry.dosTime->tm_sec);
    } else {
      info.tmz_date = {0, 0, 12, 1, 0, 2020};
    }
    info.external_fa = entry.externalAttributes;
    std::string extra = entry.utcTime ? ExtendedTimestamp(*entry.utcTime) : std::string();
    if (entry.unicodePath) extra += UnicodePath(entry.name, *entry.unicodePath);
    const auto crc = ::crc32(0, reinterpret_cast<const Bytef*>(entry.content.data()), static_cast<uInt>(entry.content.size()));
    const int opened =
        ::zipOpenNewFileInZip4_64(zip, entry.name.c_str(), &info, extra.empty() ? nullptr : extra.data(), static_cast<uInt>(extra.size()),
                                  extra.empty() ? nullptr : extra.data(), static_cast<uInt>(extra.size()), nullptr, entry.stored ? 0 : Z_DEFLATED,
                                  entry.stored ? 0 : Z_DEFAULT_COMPRESSION, 0, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY,
                                  entry.password ? entry.password->c_str() : nullptr, crc, kVersion | (entry.madeOnUnix ? kUnixHost : 0),
                                  entry.utf8Flag ? kUtf8NameFlag : 0, 0);
    if (opened != ZIP_OK) throw std::runtime_error("cannot add " + entry.name);
    if ((!entry.content.empty() && ::zipWriteInFileInZip(zip, entry.content.data(), static_cast<unsigned>(entry.content.size())) != ZIP_OK) ||
        ::zipCloseFileInZip(zip) != ZIP_OK)
      throw std::runtime_error("cannot write " + entry.name);
  }
  if (::zipClose(zip, nullptr) != ZIP_OK) throw std::runtime_error("cannot finish " + archive.string());
}

}  // namespace wendrake::testing

#include "platform/ZipArchive.h"

#include <fcntl.h>
#include <glib.h>
#include <minizip/unzip.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <utility>

namespace wendrake {
namespace {

constexpr unsigned long kDosReadOnly = 0x01;
constexpr unsigned long kDosFolder = 0x10;
constexpr std::uint16_t kExtendedTimestamp = 0x5455;
constexpr std::uint16_t kUnicodePath = 0x7075;
constexpr unsigned long kUtf8NameFlag = 1 << 11;

unzFile Handle(void* handle) { return static_cast<unzFile>(handle); }

std::uint32_t Little(const unsigned char* bytes, int count) {
  std::uint32_t value = 0;
  for (int i = count - 1; i >= 0; --i) value = (value << 8) | bytes[i];
  return value;
}

// The body of the first extra field with that tag.
std::optional<std::string_view> ExtraField(const std::string& extra, std::uint32_t wanted) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(extra.data());
  for (size_t at = 0; at + 4 <= extra.size();) {
    const std::uint32_t tag = Little(bytes + at, 2);
    const std::uint32_t size = Little(bytes + at + 2, 2);
    const size_t body = at + 4;
    if (body + size > extra.size()) break;
    if (tag == wanted) return std::string_view(extra).substr(body, size);
    at = body + size;
  }
  return std::nullopt;
}

// Info-ZIP's "UT" field carries the modification time in UTC, which the MS-DOS
// time (local, two-second steps) cannot.
std::optional<std::time_t> ExtendedModificationTime(const std::string& extra) {
  const std::optional<std::string_view> field = ExtraField(extra, kExtendedTimestamp);
  if (!field || field->size() < 5 || !((*field)[0] & 1)) return std::nullopt;
  return static_cast<std::time_t>(static_cast<std::int32_t>(Little(reinterpret_cast<const unsigned char*>(field->data()) + 1, 4)));
}

// Info-ZIP's "up" field: the UTF-8 name, valid while the stored name is still
// the one it was made for (its CRC-32 matches).
std::optional<std::string> UnicodePath(const std::string& extra, const std::string& stored) {
  const std::optional<std::string_view> field = ExtraField(extra, kUnicodePath);
  if (!field || field->size() < 5 || (*field)[0] != 1) return std::nullopt;
  const auto* storedBytes = reinterpret_cast<const Bytef*>(stored.data());
  if (Little(reinterpret_cast<const unsigned char*>(field->data()) + 1, 4) != ::crc32(0, storedBytes, static_cast<uInt>(stored.size())))
    return std::nullopt;
  std::string name(field->substr(5));
  if (!g_utf8_validate(name.data(), static_cast<gssize>(name.size()), nullptr)) return std::nullopt;
  return name;
}

std::optional<std::string> NameAsUtf8(const std::string& stored, unsigned long flags, const std::string& extra) {
  if (flags & kUtf8NameFlag) {
    if (!g_utf8_validate(stored.data(), static_cast<gssize>(stored.size()), nullptr)) return std::nullopt;
    return stored;
  }
  if (std::ranges::all_of(stored, [](char c) { return static_cast<unsigned char>(c) < 0x80; })) return stored;
  if (std::optional<std::string> unicode = UnicodePath(extra, stored)) return unicode;
  gsize written = 0;
  g_autofree gchar* converted = g_convert(stored.data(), static_cast<gssize>(stored.size()), "UTF-8", "CP936", nullptr, &written, nullptr);
  if (!converted) return std::nullopt;
  return std::string(converted, written);
}

std::time_t DosModificationTime(const tm_unz& date) {
  std::tm local{};
  local.tm_year = static_cast<int>(date.tm_year) - 1900;
  local.tm_mon = static_cast<int>(date.tm_mon);
  local.tm_mday = static_cast<int>(date.tm_mday);
  local.tm_hour = static_cast<int>(date.tm_hour);
  local.tm_min = static_cast<int>(date.tm_min);
  local.tm_sec = static_cast<int>(date.tm_sec);
  local.tm_isdst = -1;
  return std::mktime(&local);
}

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

// A fresh file beside the target, so that a failed extraction leaves the target
// as it was and a link at the target is replaced rather than followed.
int CreateTemporary(int folderFd, std::string& name) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, ".wendrake-%d-%u.part", static_cast<int>(::getpid()), counter++);
    const int fd = ::openat(folderFd, buffer, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0) {
      name = buffer;
      return fd;
    }
    if (errno != EEXIST) return -1;
  }
  return -1;
}

bool IsPlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

bool IsExtractable(const ZipEntryInfo& entry) { return !entry.isFolder && !entry.isLink && !entry.encrypted; }

}  // namespace

ZipArchive::~ZipArchive() { Close(); }

ZipArchive::ZipArchive(ZipArchive&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), positions_(std::move(other.positions_)), directoryEnds_(other.directoryEnds_) {}

ZipArchive& ZipArchive::operator=(ZipArchive&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, nullptr);
    positions_ = std::move(other.positions_);
    directoryEnds_ = other.directoryEnds_;
  }
  return *this;
}

bool ZipArchive::Open(const std::filesystem::path& archive) {
  Close();
  handle_ = ::unzOpen64(archive.c_str());
  return handle_ != nullptr;
}

void ZipArchive::Close() {
  if (handle_) ::unzClose(Handle(handle_));
  handle_ = nullptr;
  positions_.clear();
  directoryEnds_ = false;
}

std::optional<std::size_t> ZipArchive::EntryCount() {
  if (!handle_) return std::nullopt;
  unz_global_info64 global{};
  if (::unzGetGlobalInfo64(Handle(handle_), &global) != UNZ_OK) return std::nullopt;
  // A count over a directory whose first record is unreadable lists nothing.
  if (global.number_entry > 0 && !GoTo(0)) return std::nullopt;
  // Writers without ZIP64 put 0xFFFF for "65,535 or more" and leave the count to
  // the directory itself, as minizip reads it too.
  if (global.number_entry == 0xFFFF) {
    std::size_t walked = 1;
    while (GoTo(walked)) ++walked;
    return walked;
  }
  return static_cast<std::size_t>(global.number_entry);
}

bool ZipArchive::GoTo(std::size_t index) {
  if (!handle_) return false;
  const unzFile zip = Handle(handle_);
  if (index < positions_.size()) {
    const unz64_file_pos position{positions_[index].directoryOffset, positions_[index].number};
    return ::unzGoToFilePos64(zip, &position) == UNZ_OK;
  }
  if (directoryEnds_) return false;
  int status = positions_.empty() ? ::unzGoToFirstFile(zip) : GoTo(positions_.size() - 1) ? ::unzGoToNextFile(zip) : UNZ_ERRNO;
  while (status == UNZ_OK) {
    unz64_file_pos position{};
    if (::unzGetFilePos64(zip, &position) != UNZ_OK) break;
    positions_.push_back({position.pos_in_zip_directory, position.num_of_file});
    if (positions_.size() > index) return true;
    status = ::unzGoToNextFile(zip);
  }
  directoryEnds_ = true;
  return false;
}

std::optional<ZipEntryInfo> ZipArchive::Entry(std::size_t index) {
  if (!GoTo(index)) return std::nullopt;
  const unzFile zip = Handle(handle_);
  unz_file_info64 info{};
  if (::unzGetCurrentFileInfo64(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) return std::nullopt;
  std::string name(info.size_filename + 1, '\0');
  std::string extra(info.size_file_extra, '\0');
  if (::unzGetCurrentFileInfo64(zip, &info, name.data(), static_cast<uLong>(name.size()), extra.data(), static_cast<uLong>(extra.size()), nullptr,
                                0) != UNZ_OK)
    return std::nullopt;
  name.resize(info.size_filename);

  ZipEntryInfo entry;
  const unsigned long dosAttributes = info.external_fa & 0xFF;
  const unsigned long unixMode = (info.external_fa >> 16) & 0xFFFF;
  const bool hasUnixMode = (unixMode & S_IFMT) != 0;
  entry.isLink = hasUnixMode && (unixMode & S_IFMT) == S_IFLNK;
  entry.isFolder = !entry.isLink && ((dosAttributes & kDosFolder) || (hasUnixMode && (unixMode & S_IFMT) == S_IFDIR) ||
                                     (!name.empty() && (name.back() == '/' || name.back() == '\\')));
  entry.readOnly = (dosAttributes & kDosReadOnly) || (hasUnixMode && (unixMode & 0222) == 0);
  entry.encrypted = (info.flag & 1) != 0;
  entry.size = info.uncompressed_size;
  entry.modified = ExtendedModificationTime(extra).value_or(DosModificationTime(info.tmu_date));
  std::optional<std::string> text = NameAsUtf8(name, info.flag, extra);
  if (!text) return std::nullopt;
  entry.name = std::move(*text);
  return entry;
}

bool ZipArchive::ExtractTo(std::size_t index, const std::filesystem::path& file) {
  const std::string name = file.filename().string();
  std::filesystem::path folder = file.parent_path();
  if (folder.empty()) folder = ".";
  const int folderFd = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (folderFd < 0) return false;
  const bool ok = ExtractAt(index, folderFd, name);
  ::close(folderFd);
  return ok;
}

bool ZipArchive::ExtractAt(std::size_t index, int folderFd, const std::string& name) {
  if (!IsPlainName(name)) return false;
  const std::optional<ZipEntryInfo> entry = Entry(index);
  if (!entry || !IsExtractable(*entry)) return false;
  std::string temporary;
  const int fd = CreateTemporary(folderFd, temporary);
  if (fd < 0) return false;
  const bool ok = WriteCurrent(*entry, fd) && ::renameat(folderFd, temporary.c_str(), folderFd, name.c_str()) == 0;
  if (!ok) ::unlinkat(folderFd, temporary.c_str(), 0);
  return ok;
}

bool ZipArchive::ExtractNew(std::size_t index, const ZipEntryInfo& entry, int folderFd, const std::string& name) {
  if (!IsPlainName(name) || !IsExtractable(entry) || !GoTo(index)) return false;
  const int fd = ::openat(folderFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  const bool ok = WriteCurrent(entry, fd);
  if (!ok) ::unlinkat(folderFd, name.c_str(), 0);
  return ok;
}

bool ZipArchive::WriteCurrent(const ZipEntryInfo& entry, int fd) {
  const unzFile zip = Handle(handle_);
  bool ok = ::unzOpenCurrentFile(zip) == UNZ_OK;
  const bool opened = ok;
  buffer_.resize(1 << 16);
  std::uint64_t total = 0;
  while (ok) {
    const int read = ::unzReadCurrentFile(zip, buffer_.data(), static_cast<unsigned>(buffer_.size()));
    if (read == 0) break;
    ok = read > 0 && WriteAll(fd, buffer_.data(), static_cast<size_t>(read));
    total += static_cast<std::uint64_t>(std::max(read, 0));
  }
  // minizip checks the checksum only when the declared size was reached, so a
  // stream that ends early must be caught here.
  ok = opened && (::unzCloseCurrentFile(zip) == UNZ_OK) && ok && total == entry.size;

  if (ok && entry.readOnly) {
    struct stat written {};
    ok = ::fstat(fd, &written) == 0 && ::fchmod(fd, written.st_mode & 07555) == 0;
  }
  if (ok && entry.modified != static_cast<std::time_t>(-1)) {
    const timespec times[2] = {{entry.modified, 0}, {entry.modified, 0}};
    ok = ::futimens(fd, times) == 0;
  }
  return (::close(fd) == 0) && ok;
}

}  // namespace wendrake

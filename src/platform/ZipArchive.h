#pragma once
// Reading ZIP archives (minizip): entries by index, extraction of one entry to a
// file. Stored and deflated entries without encryption.
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wendrake {

struct ZipEntryInfo {
  // UTF-8. Archivers on Chinese Windows write names in its code page (CP936) and
  // mark only UTF-8 names, so an unmarked name that is not plain ASCII is read
  // as CP936, unless the entry carries an Info-ZIP Unicode path for it.
  std::string name;
  bool isFolder = false;  // MS-DOS directory attribute, Unix directory mode, or a name ending in a separator
  bool isLink = false;  // Unix symbolic link mode
  bool readOnly = false;  // MS-DOS read-only attribute, or a Unix mode without write bits
  bool encrypted = false;
  std::uint64_t size = 0;  // uncompressed, as the directory declares it
  std::time_t modified = 0;  // the extended timestamp when present, else the MS-DOS local time
};

class ZipArchive {
 public:
  ZipArchive() = default;
  ~ZipArchive();
  ZipArchive(ZipArchive&& other) noexcept;
  ZipArchive& operator=(ZipArchive&& other) noexcept;
  ZipArchive(const ZipArchive&) = delete;
  ZipArchive& operator=(const ZipArchive&) = delete;

  // Fails for a missing file or one that is no ZIP archive.
  bool Open(const std::filesystem::path& archive);
  bool IsOpen() const { return handle_ != nullptr; }
  // Nothing when no archive is open or its central directory cannot be read.
  std::optional<std::size_t> EntryCount();
  // Nothing when the entry's directory record cannot be read, or its name cannot
  // be read as text.
  std::optional<ZipEntryInfo> Entry(std::size_t index);

  // Writes the entry's content to the file, creating it or replacing whatever the
  // name held (a link is replaced, never written through), with the entry's
  // read-only state as permissions and its modification time. Creates no missing
  // folder. Fails for folders, links, encrypted or damaged entries, and for
  // content that differs from its declared size or checksum; then the file stays
  // as it was.
  bool ExtractTo(std::size_t index, const std::filesystem::path& file);
  // The same for the name `name` in the open folder `folderFd`.
  bool ExtractAt(std::size_t index, int folderFd, const std::string& name);
  // Writes the entry, as `Entry(index)` gave it, to a file `name` that must not
  // exist yet; a failure removes what was written. Quicker than ExtractAt where
  // nobody can see a half-written file: in a folder of our own.
  bool ExtractNew(std::size_t index, const ZipEntryInfo& entry, int folderFd, const std::string& name);

  void Close();

 private:
  bool GoTo(std::size_t index);
  // The current entry's content into the file, then its read-only state and
  // time; closes the file.
  bool WriteCurrent(const ZipEntryInfo& entry, int fd);

  void* handle_ = nullptr;  // unzFile
  // Directory positions of the entries reached so far: the directory can only be
  // walked forwards, so each index is found once and then revisited directly.
  struct Position {
    unsigned long long directoryOffset;
    unsigned long long number;
  };
  std::vector<Position> positions_;
  bool directoryEnds_ = false;  // the walk met a record it could not read
  std::vector<char> buffer_;
};

}  // namespace wendrake

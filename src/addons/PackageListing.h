#pragma once
// The whole directory of an add-on package, read and checked before anything is
// written: an installation either has every entry it needs or does not start.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/ZipArchive.h"

namespace wendrake {

struct PackageEntry {
  std::size_t index = 0;  // in the archive
  ZipEntryInfo info;
  std::vector<std::string> parts;  // below the add-on folder, never empty
};

struct PackageListing {
  std::vector<PackageEntry> entries;
  std::uint64_t bytes = 0;  // what the files expand to, as declared
};

struct PackageLimits {
  std::uint64_t maxBytes = std::uint64_t{4} << 30;
  std::size_t maxEntries = 100000;
};

// The entries to install, in archive order. Names that would land outside the
// add-on folder (absolute, drive letters, ".." parts) and link entries are
// passed over, as an archiver's stray entries. Nothing when any record cannot
// be read or named, an entry is encrypted, or the package is over the limits.
std::optional<PackageListing> ListPackage(ZipArchive& archive, std::size_t count, const PackageLimits& limits);

}  // namespace wendrake

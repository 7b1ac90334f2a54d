#pragma once
// Extracting the files of one archive on every core: inflating is most of an
// installation's work, and each worker reads the archive through its own handle.
#include <cstddef>
#include <filesystem>
#include <span>
#include <string>

#include "platform/ZipArchive.h"

namespace wendrake {

struct ExtractionJob {
  std::size_t index = 0;
  const ZipEntryInfo* info = nullptr;  // as the archive's Entry(index) gave it
  std::string folder;  // below the base folder, "" for the base itself; no links on the way
  std::string name;  // must not exist yet
};

// Writes every job's file; false when any one fails, and then what was written
// stays for the caller to clear away with its folder.
bool ExtractAll(const std::filesystem::path& archive, int baseFolderFd, std::span<const ExtractionJob> jobs);

}  // namespace wendrake

#pragma once
// Whole-file reads and crash-safe whole-file replacement.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace wendrake {

// Nothing when it cannot be read or is no regular file (a folder, a FIFO).
std::optional<std::string> ReadWholeFile(const std::filesystem::path& file);

// Writes a sibling temporary file, syncs it and renames it over the file, so a
// crash leaves either the old or the new content. Fails without touching the
// file when it exists but may not be written by us (a write-protected file stays
// protected), or when any step fails. The file keeps its permission bits.
bool ReplaceFileContent(const std::filesystem::path& file, std::string_view bytes);

// Removes the temporary files a replacement killed half way left beside the
// file. Only for a caller that holds the lock every writer of the file takes.
void RemoveStaleTemporaries(const std::filesystem::path& file);

}  // namespace wendrake

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

}  // namespace wendrake

#pragma once
// A Wine prefix is a folder holding drive_c and the registry Wine keeps beside it.
#include <filesystem>
#include <optional>

namespace wendrake {

bool IsWinePrefix(const std::filesystem::path& folder);
// The nearest folder above the program that is a prefix; none outside any prefix.
std::optional<std::filesystem::path> WinePrefixOf(const std::filesystem::path& program);

}  // namespace wendrake

#pragma once
// Folders only this user may enter: state, runtime and lock folders.
#include <filesystem>

namespace wendrake {

// Creates each missing level with mode 0700; true when the path is a folder after.
bool MakePrivateFolders(const std::filesystem::path& folder);

}  // namespace wendrake

#pragma once
// Removing add-on folders: RemovePlugfolder and the recursive DeleteFolderTree.
#include <cstdint>
#include <filesystem>
#include <string_view>

#include "core/PageHost.h"

namespace wendrake {

// Removes the folder with all it holds. Links inside are removed themselves and
// never followed; folders inside are made writable so their contents can go.
// A link at `path` is removed; a plain file there is left. Whatever resists stays.
void DeleteFolderTree(const std::filesystem::path& path);

// DeleteFolderTree on `relative` below `base`, which must name something strictly
// below it: never `base` itself, never through a link below it. Each part is
// matched without regard to case. False, and nothing removed, when refused.
bool DeleteFolderTreeBelow(const std::filesystem::path& base, const std::filesystem::path& relative);

// Deletes the add-on folder of that name, then drops the pid from the catalogue;
// 1 when a catalogue item was removed, else 0. A name that is empty, "." or
// "..", or holds a separator or a NUL, is refused: nothing is deleted or dropped.
std::int32_t RemovePlugfolder(const PageHost& view, std::u16string_view folderName, std::u16string_view pid);

}  // namespace wendrake

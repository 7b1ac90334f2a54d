#pragma once
// The catalogue item that describes one add-on folder: the first complete item
// whose PlugName names it, without regard to ASCII case, as the game finds folders.
#include <filesystem>
#include <optional>
#include <string_view>

#include "addons/CatalogDocument.h"

namespace wendrake {

// Nothing when no complete item names the folder or the catalogue cannot be read.
std::optional<CatalogItem> CatalogItemOfFolder(const std::filesystem::path& catalog, std::string_view folderName);

// Makes the catalogue describe the folder by `item` alone, or not at all: other
// items naming it go; an item of the same pid gets its version back in place,
// else `item` is appended. False, and the file untouched, when the catalogue
// cannot be read or written, or the pid belongs to another folder's item.
bool SetCatalogItemOfFolder(const std::filesystem::path& catalog, std::string_view folderName, const std::optional<CatalogItem>& item);

}  // namespace wendrake

#pragma once
// Switching the catalogued add-ons on at login and off at logoff by the name of
// their manifest (see Manifest.h). Add-ons the catalogue does not list are never
// touched. Walking the catalogue also maintains it: items whose add-on folder is
// gone are dropped, and at login nameless items are completed from the reference
// catalogue (update.xml).
#include <filesystem>
#include <optional>
#include <string>

#include "addons/Manifest.h"
#include "core/Installation.h"

namespace wendrake {

// The folder name of the catalogue's item `index` (1-based), or "":
// - named item whose add-on folder exists: the name; folder gone: the item is
//   dropped from the catalogue (saved) and the answer is "";
// - nameless item whose pid the reference catalogue lists: the item moves to the
//   end of the catalogue with the reference's ver and PlugName, and the answer is
//   the index in decimal (no folder name: the switch passes skip it); for a
//   retired pid the item is only dropped, nothing is deleted from the disk, "";
// - "" and no change for an unreadable catalogue, an item without pid, a
//   nameless item no readable reference lists (or no reference given), and a
//   folder name that is empty, ".", ".." or holds a separator.
std::u16string ResolvePluginFolderName(const Installation& installation, int index, const std::optional<std::filesystem::path>& referenceCatalog);

// RiftAddon.toc -> RiftAddon.txt in the folder of each catalogued add-on.
// LoginToChangePlugName first repairs the catalogue against <root>/update.xml, then
// renames RiftAddon.txt -> RiftAddon.toc. Both do nothing when the game's folder
// (PluginPath) cannot be read.
//
// A failed rename (the folder holds both manifest names, say) throws
// ManifestRenameError and the remaining add-ons are not switched. The bridge turns
// it into DISP_E_EXCEPTION for the page; every other caller (the login and logoff
// sequence) must catch it, so that the program never ends on it.
void LogofToChangePlugName(const Installation& installation);
void LoginToChangePlugName(const Installation& installation);

}  // namespace wendrake

#include "addons/PackageInstallation.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "addons/AddOnFolder.h"
#include "addons/ConfinedFolder.h"
#include "core/Text.h"
#include "platform/CaseInsensitivePath.h"
#include "platform/ZipArchive.h"

namespace wendrake {
namespace {

namespace fs = std::filesystem;

// Finds Interface/AddOns below the game folder in whatever case it exists, else
// makes the missing level with the canonical spelling.
std::optional<ConfinedFolder> OpenAddOnFolder(const Installation& installation) {
  const std::optional<fs::path> game = GameFolder(installation);
  if (!game) return std::nullopt;
  fs::path folder = *game;
  for (const char* level : {"Interface", "AddOns"}) {
    folder = ResolveWithoutCase(folder, level);
    ::mkdir(folder.c_str(), 0777);
  }
  return ConfinedFolder::Open(folder);
}

// Packages lie in Temp: a name that reaches another folder names no package of ours,
// and its file must not be deleted after the installation.
bool IsPackageName(std::u16string_view name) { return name.find_first_of(std::u16string_view(u"/\\\0", 3)) == std::u16string_view::npos; }

size_t Depth(const std::string& name) { return static_cast<size_t>(std::ranges::count_if(name, [](char c) { return c == '/' || c == '\\'; })); }

void CreateFolder(const ConfinedFolder& addOns, const std::string& name) {
  if (const auto parts = PartsBelow(name)) addOns.Descend(*parts, true);
}

// Missing parent folders are made: many packages are zipped without folder entries.
void InstallFile(ZipArchive& archive, size_t index, const ZipEntryInfo& entry, const ConfinedFolder& addOns) {
  if (entry.isLink || entry.encrypted) return;
  auto parts = PartsBelow(entry.name);
  if (!parts || parts->empty()) return;
  const std::string leaf = std::move(parts->back());
  parts->pop_back();
  const std::optional<ConfinedFolder> folder = addOns.Descend(*parts, true);
  if (folder) archive.ExtractAt(index, folder->Fd(), folder->Spelling(leaf));
}

}  // namespace

std::int32_t UnzipPlugin(const PageHost& view, std::u16string_view tag, std::u16string_view packageName) {
  // Without a game folder there is nowhere safe to install; the package stays for a later try.
  const std::optional<ConfinedFolder> addOns = OpenAddOnFolder(view.Install());
  const fs::path archivePath = view.Install().TempFolder() / ToUtf8(std::u16string(packageName) + u".zip");
  ZipArchive archive;
  if (!addOns || !IsPackageName(packageName) || !archive.Open(archivePath)) {
    view.ShowMsgBox(u"1004");
    return -2;
  }
  const std::optional<size_t> count = archive.EntryCount();
  if (!count) {
    view.ShowMsgBox(u"1005");
    archive.Close();
    return -3;
  }

  struct ListedFolder {
    size_t depth;
    std::string name;
  };
  std::vector<ListedFolder> folders;
  size_t deepest = 0;
  // A damaged directory may claim any count; the passes stop where it ends.
  for (size_t i = 0; i < *count && !archive.PastEnd(i); ++i) {
    std::optional<ZipEntryInfo> entry = archive.Entry(i);
    if (!entry || !entry->isFolder) continue;
    const size_t depth = Depth(entry->name);
    folders.push_back({depth, std::move(entry->name)});
    deepest = std::max(deepest, depth);
  }
  for (size_t level = 1; level <= deepest; ++level)
    for (const ListedFolder& folder : folders)
      if (folder.depth == level) CreateFolder(*addOns, folder.name);

  for (size_t i = 0; i < *count && !archive.PastEnd(i); ++i) {
    const std::optional<ZipEntryInfo> entry = archive.Entry(i);
    if (entry && !entry->isFolder) InstallFile(archive, i, *entry, *addOns);
  }

  view.Page().RefreshDocument();
  const bool told = view.Page().CallPageScript(u"UnzipFinished", {std::u16string(tag), std::u16string(packageName)});
  if (!told) view.ShowMsgBox(u"1006");
  archive.Close();
  if (::unlink(archivePath.c_str()) != 0) view.ShowMsgBox(u"1009");
  return told ? 1 : -4;
}

}  // namespace wendrake

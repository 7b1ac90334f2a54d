#include "addons/FolderCatalogItem.h"

#include <vector>

#include "addons/CatalogLock.h"
#include "core/Text.h"

namespace wendrake {
namespace {

bool Names(const CatalogItem& item, std::string_view folderName) {
  return item.pid && item.version && item.folderName && EqualsIgnoreAsciiCase(*item.folderName, folderName);
}

}  // namespace

std::optional<CatalogItem> CatalogItemOfFolder(const std::filesystem::path& catalog, std::string_view folderName) {
  // No catalogue, no item; and no lock file made beside a catalogue that is not there.
  if (std::error_code error; !std::filesystem::exists(catalog, error)) return std::nullopt;
  const CatalogLock lock(catalog, CatalogLock::Mode::Shared);
  const auto document = CatalogDocument::Load(catalog);
  if (!document) return std::nullopt;
  for (const CatalogItem& item : document->Items())
    if (Names(item, folderName)) return item;
  return std::nullopt;
}

bool SetCatalogItemOfFolder(const std::filesystem::path& catalog, std::string_view folderName, const std::optional<CatalogItem>& item) {
  // Without a catalogue no add-on has an item: taking one away is done already.
  if (std::error_code error; !item && !std::filesystem::exists(catalog, error)) return true;
  const CatalogLock lock(catalog, CatalogLock::Mode::Exclusive);
  auto document = CatalogDocument::Load(catalog);
  if (!document) return false;
  const std::vector<CatalogItem> items = document->Items();
  std::vector<int> others;
  bool samePid = false;
  for (size_t i = 0; i < items.size(); ++i) {
    const bool ofPid = item && items[i].pid == item->pid;
    if (ofPid && !(items[i].folderName && EqualsIgnoreAsciiCase(*items[i].folderName, folderName))) return false;
    samePid = samePid || ofPid;
    if (Names(items[i], folderName) && !ofPid) others.push_back(static_cast<int>(i) + 1);
  }
  // Nothing to change is nothing to write.
  const bool itemStands = !item || (samePid && document->VersionOf(*item->pid) == item->version);
  if (others.empty() && itemStands) return true;
  if (!others.empty()) document->RemoveItemsAt(others);
  if (item && samePid && !document->SetVersionOf(*item->pid, *item->version)) return false;
  if (item && !samePid && !document->AppendItem(*item->pid, *item->version, *item->folderName)) return false;
  return document->Save(catalog);
}

}  // namespace wendrake

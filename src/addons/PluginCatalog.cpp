#include "addons/PluginCatalog.h"

#include <algorithm>
#include <optional>
#include <string>
#include <system_error>

#include "addons/AddOnFolder.h"
#include "addons/CatalogDocument.h"
#include "addons/CatalogLock.h"
#include "core/Text.h"

namespace wendrake {
namespace {

// Page values are stored as UTF-8 as given: no length limit, no narrowing loss.
// A text the file cannot hold whole (a NUL, a lone surrogate) is no value: it
// would match, or be stored as, some other text.
std::optional<std::string> CatalogText(std::u16string_view text) {
  if (text.find(u'\0') != std::u16string_view::npos || HasLoneSurrogate(text)) return std::nullopt;
  return ToUtf8(text);
}

// Plain byte strings ordered by unsigned byte value, a prefix first.
std::int32_t CompareBytes(std::string_view given, std::string_view stored) {
  const bool before = std::lexicographical_compare(given.begin(), given.end(), stored.begin(), stored.end(),
                                                   [](char a, char b) { return static_cast<unsigned char>(a) < static_cast<unsigned char>(b); });
  if (before) return -1;
  return given == stored ? 0 : 1;
}

// Only a lookup that says "no such entry" counts as gone; an entry that cannot be
// examined (no permission, say) is not dropped from the catalogue.
bool EntryIsMissing(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::symlink_status(path, error).type() == std::filesystem::file_type::not_found;
}

}  // namespace

PluginCatalog::PluginCatalog(const Installation& installation) : installation_(installation), catalogPath_(installation.CatalogPath()) {}

std::int32_t PluginCatalog::GetPluginCount() const {
  const CatalogLock lock(catalogPath_, CatalogLock::Mode::Shared);
  const auto document = CatalogDocument::Load(catalogPath_);
  return document ? document->ItemCount() : 0;
}

std::vector<std::u16string> PluginCatalog::GetExistPlugin() const {
  std::vector<std::u16string> list;
  const CatalogLock lock(catalogPath_, CatalogLock::Mode::Exclusive);
  if (auto document = CatalogDocument::Load(catalogPath_)) {
    const std::vector<CatalogItem> items = document->Items();
    std::vector<int> gone;
    for (size_t i = 0; i < items.size(); ++i) {
      const CatalogItem& item = items[i];
      // An incomplete item is neither listed nor dropped: nothing says its folder is gone.
      if (!item.pid || !item.version || !item.folderName) continue;
      // The item itself is dropped, not the first of its pid: of two items of one
      // pid, the one whose add-on is there stays.
      if (IsGone(ToUtf16(*item.folderName)))
        gone.push_back(static_cast<int>(i) + 1);
      else
        list.push_back(ToUtf16(*item.pid + "_" + *item.version));
    }
    // One save for all of them; a failed save leaves the file as it was.
    if (!gone.empty()) {
      document->RemoveItemsAt(gone);
      document->Save(catalogPath_);
    }
  }
  // The page expects entries or the single "0", also when every item was dropped.
  if (list.empty()) list.push_back(u"0");
  return list;
}

std::int32_t PluginCatalog::IsExistPlugin(std::u16string_view pid) const {
  const auto key = CatalogText(pid);
  if (!key) return 0;
  const CatalogLock lock(catalogPath_, CatalogLock::Mode::Shared);
  const auto document = CatalogDocument::Load(catalogPath_);
  return document && document->HasPid(*key) ? 1 : 0;
}

std::int32_t PluginCatalog::AddPlugin(std::u16string_view pid, std::u16string_view version, std::u16string_view folderName) const {
  const auto key = CatalogText(pid), ver = CatalogText(version), name = CatalogText(folderName);
  if (!key || !ver || !name) return 0;
  const CatalogLock lock(catalogPath_, CatalogLock::Mode::Exclusive);
  auto document = CatalogDocument::Load(catalogPath_);
  if (!document || document->HasPid(*key)) return 0;
  // A root without a `plugin` container gets none made up: nothing is written.
  if (!document->AppendItem(*key, *ver, *name)) return 0;
  return document->Save(catalogPath_) ? 1 : 0;
}

std::int32_t PluginCatalog::RemovePlugin(std::u16string_view pid) const {
  const auto key = CatalogText(pid);
  if (!key) return 0;
  const CatalogLock lock(catalogPath_, CatalogLock::Mode::Exclusive);
  auto document = CatalogDocument::Load(catalogPath_);
  if (!document || !document->HasPid(*key)) return 0;
  const bool removed = document->RemoveItem(*key);
  const bool saved = document->Save(catalogPath_);
  return removed && saved ? 1 : 0;
}

std::int32_t PluginCatalog::SetLocalPluginVer(std::u16string_view pid, std::u16string_view version) const {
  const auto key = CatalogText(pid), ver = CatalogText(version);
  if (!key || !ver) return 0;
  const CatalogLock lock(catalogPath_, CatalogLock::Mode::Exclusive);
  auto document = CatalogDocument::Load(catalogPath_);
  if (!document || !document->HasPid(*key)) return 0;
  if (!document->SetVersionOf(*key, *ver)) return 0;
  return document->Save(catalogPath_) ? 1 : 0;
}

std::int32_t PluginCatalog::ComparePluginVer(std::u16string_view pid, std::u16string_view version) const {
  const auto key = CatalogText(pid);
  if (!key) return 0;
  const CatalogLock lock(catalogPath_, CatalogLock::Mode::Shared);
  const auto document = CatalogDocument::Load(catalogPath_);
  if (!document) return 0;
  // An item without a version compares like an unlisted pid.
  const auto stored = document->VersionOf(*key);
  if (!stored) return 0;
  return CompareBytes(ToUtf8(version), *stored);
}

bool PluginCatalog::IsGone(std::u16string_view folderName) const {
  const auto folder = AddOnFolder(installation_, folderName);
  return folder && EntryIsMissing(*folder);
}
}  // namespace wendrake

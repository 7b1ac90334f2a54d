#include "addons/AddOnSwitching.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "addons/AddOnFolder.h"
#include "addons/CatalogDocument.h"
#include "addons/CatalogLock.h"
#include "addons/PluginCatalog.h"
#include "core/Text.h"

namespace wendrake {
namespace {

using namespace std::string_view_literals;

// Add-ons withdrawn from the game: a nameless item of these pids is dropped.
constexpr std::string_view kRetiredPids[] = {"1719", "1720", "1721", "1730", "1732", "1733"};

bool IsRetired(std::string_view pid) { return std::ranges::find(kRetiredPids, pid) != std::end(kRetiredPids); }

// Anything else would name the add-on folder itself or a place outside it.
bool IsSingleFolderName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find_first_of("/\\\0"sv) == std::string_view::npos;
}

struct Resolution {
  std::u16string answer;
  // The answer names an add-on folder; the placeholder index of a moved item
  // does not, even when a folder happens to carry that number as its name.
  bool isFolder = false;
};

Resolution Resolve(const Installation& installation, int index, const std::optional<std::filesystem::path>& referenceCatalog) {
  const std::filesystem::path catalogPath = installation.CatalogPath();
  auto catalog = CatalogDocument::Load(catalogPath);
  if (!catalog) return {};
  const auto pid = catalog->ItemPid(index);
  if (!pid) return {};

  if (const auto name = catalog->ItemFolderName(index)) {
    if (!IsSingleFolderName(*name)) return {};
    std::u16string folderName = ToUtf16(*name);
    if (!PluginCatalog(installation).CheckPluginFolder(ToUtf16(*pid), *catalog, folderName)) return {};
    return {std::move(folderName), true};
  }

  if (!referenceCatalog) return {};
  const auto reference = CatalogDocument::Load(*referenceCatalog);
  if (!reference) return {};
  const int count = reference->ItemCount();
  for (int j = 1; j <= count; ++j) {
    if (reference->ItemPid(j) != pid) continue;
    const bool retired = IsRetired(*pid);
    const auto version = reference->ItemVersion(j);
    const auto folderName = reference->ItemFolderName(j);
    // An incomplete reference entry cannot complete the item: it stays as it is.
    if (!retired && (!version || !folderName)) return {};
    // An item outside the first container cannot be moved; appending a copy would
    // only grow the catalogue on every step.
    if (!catalog->RemoveItem(*pid)) return {};
    if (retired) {
      catalog->Save(catalogPath);
      return {};
    }
    catalog->AppendItem(*pid, *version, *folderName);
    catalog->Save(catalogPath);
    return {ToUtf16(std::to_string(index)), false};
  }
  return {};
}

// The count is asked again before every step: items are dropped and moved on the
// way, so the item after one that moved misses this pass.
void SwitchPass(const Installation& installation, const std::optional<std::filesystem::path>& referenceCatalog,
                std::string_view from, std::string_view to) {
  const PluginCatalog catalog(installation);
  for (int i = 1; i <= catalog.GetPluginCount(); ++i) {
    const Resolution resolution = Resolve(installation, i, referenceCatalog);
    if (!resolution.isFolder) continue;
    if (const auto folder = AddOnFolder(installation, resolution.answer)) RenameManifest(*folder, from, to);
  }
}

}  // namespace

std::u16string ResolvePluginFolderName(const Installation& installation, int index,
                                       const std::optional<std::filesystem::path>& referenceCatalog) {
  return Resolve(installation, index, referenceCatalog).answer;
}

void LogofToChangePlugName(const Installation& installation) {
  // Without the game's folder nothing can be renamed, nor known to be gone.
  if (!GameFolder(installation)) return;
  // The pass walks the catalogue by position: nobody may change it meanwhile.
  const CatalogLock lock(installation.CatalogPath(), CatalogLock::Mode::Exclusive);
  SwitchPass(installation, std::nullopt, kActiveManifest, kInactiveManifest);
}

void LoginToChangePlugName(const Installation& installation) {
  if (!GameFolder(installation)) return;
  const CatalogLock lock(installation.CatalogPath(), CatalogLock::Mode::Exclusive);
  const int count = PluginCatalog(installation).GetPluginCount();
  if (count == 0) return;
  const std::filesystem::path reference = installation.ReferenceCatalogPath();
  // Each call examines the item standing first at that moment, so nameless and
  // gone items at the head are cleared before the switch pass.
  for (int k = 0; k < count; ++k) Resolve(installation, 1, reference);
  SwitchPass(installation, reference, kInactiveManifest, kActiveManifest);
}

}  // namespace wendrake

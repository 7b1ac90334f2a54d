#include "addons/AddOnSwitching.h"

#include <algorithm>
#include <map>
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

// One pass over the catalogue, read once and kept in memory: each step sees what
// the steps before it left, as it would reading the file afresh, and the file is
// written once, when the pass has changed it.
class Pass {
 public:
  Pass(const Installation& installation, const std::optional<std::filesystem::path>& referenceCatalog)
      : plugins_(installation), catalog_(CatalogDocument::Load(installation.CatalogPath())) {
    if (referenceCatalog) reference_ = CatalogDocument::Load(*referenceCatalog);
    // Steps look up the first reference entry of a pid.
    for (int j = reference_ ? reference_->ItemCount() : 0; j >= 1; --j)
      if (const auto pid = reference_->ItemPid(j)) firstReference_[*pid] = j;
  }
  ~Pass() {
    if (changed_) catalog_->Save(plugins_.CatalogPath());
  }
  Pass(const Pass&) = delete;
  Pass& operator=(const Pass&) = delete;

  int Count() const { return catalog_ ? catalog_->ItemCount() : 0; }

  Resolution Resolve(int index) {
    if (!catalog_) return {};
    const auto pid = catalog_->ItemPid(index);
    if (!pid) return {};

    if (const auto name = catalog_->ItemFolderName(index)) {
      if (!IsSingleFolderName(*name)) return {};
      std::u16string folderName = ToUtf16(*name);
      if (plugins_.IsGone(folderName)) {
        catalog_->RemoveItem(*pid);
        changed_ = true;
        return {};
      }
      return {std::move(folderName), true};
    }

    const auto entry = firstReference_.find(*pid);
    if (entry == firstReference_.end()) return {};
    const bool retired = IsRetired(*pid);
    const auto version = reference_->ItemVersion(entry->second);
    const auto folderName = reference_->ItemFolderName(entry->second);
    // An incomplete reference entry cannot complete the item: it stays as it is.
    if (!retired && (!version || !folderName)) return {};
    // An item outside the first container cannot be moved; appending a copy would
    // only grow the catalogue on every step.
    if (!catalog_->RemoveItem(*pid)) return {};
    changed_ = true;
    if (retired) return {};
    catalog_->AppendItem(*pid, *version, *folderName);
    return {ToUtf16(std::to_string(index)), false};
  }

 private:
  const PluginCatalog plugins_;
  std::optional<CatalogDocument> catalog_;
  std::optional<CatalogDocument> reference_;
  std::map<std::string, int> firstReference_;
  bool changed_ = false;
};

// The count is asked again before every step: items are dropped and moved on the
// way, so the item after one that moved misses this pass.
void SwitchPass(Pass& pass, std::string_view from, std::string_view to, const Installation& installation) {
  for (int i = 1; i <= pass.Count(); ++i) {
    const Resolution resolution = pass.Resolve(i);
    if (!resolution.isFolder) continue;
    if (const auto folder = AddOnFolder(installation, resolution.answer)) RenameManifest(*folder, from, to);
  }
}

}  // namespace

std::u16string ResolvePluginFolderName(const Installation& installation, int index, const std::optional<std::filesystem::path>& referenceCatalog) {
  const CatalogLock lock(installation.CatalogPath(), CatalogLock::Mode::Exclusive);
  return Pass(installation, referenceCatalog).Resolve(index).answer;
}

void LogofToChangePlugName(const Installation& installation) {
  // Without the game's folder nothing can be renamed, nor known to be gone.
  if (!GameFolder(installation)) return;
  // The pass walks the catalogue by position: nobody may change it meanwhile.
  const CatalogLock lock(installation.CatalogPath(), CatalogLock::Mode::Exclusive);
  Pass pass(installation, std::nullopt);
  SwitchPass(pass, kActiveManifest, kInactiveManifest, installation);
}

void LoginToChangePlugName(const Installation& installation) {
  if (!GameFolder(installation)) return;
  const CatalogLock lock(installation.CatalogPath(), CatalogLock::Mode::Exclusive);
  Pass pass(installation, installation.ReferenceCatalogPath());
  const int count = pass.Count();
  if (count == 0) return;
  // Each step examines the item standing first at that moment, so nameless and
  // gone items at the head are cleared before the switch pass.
  for (int k = 0; k < count; ++k) pass.Resolve(1);
  SwitchPass(pass, kInactiveManifest, kActiveManifest, installation);
}

}  // namespace wendrake

#include "addons/SnapshotMethods.h"

#include "addons/AddOnSnapshots.h"
#include "addons/SnapshotRestore.h"
#include "core/Text.h"

namespace wendrake {
namespace {

// Folder names are bytes on disk and texts in pages; they are compared as the page sees them.
bool IsOf(const Snapshot& snapshot, std::u16string_view folderName) { return EqualsIgnoreAsciiCase(ToUtf16(snapshot.folderName), folderName); }

}  // namespace

std::vector<std::u16string> GetSnapshots(const PageHost& view, std::u16string_view folderName) {
  std::vector<std::u16string> fields;
  for (const Snapshot& snapshot : ListSnapshots(view.Install())) {
    if (!folderName.empty() && !IsOf(snapshot, folderName)) continue;
    const bool hasItem = snapshot.item.has_value();
    fields.insert(fields.end(),
                  {ToUtf16(snapshot.id), ToUtf16(snapshot.folderName), ToUtf16(std::to_string(snapshot.taken / 1000)), hasItem ? u"1" : u"0",
                   hasItem ? ToUtf16(snapshot.item->pid.value_or("")) : u"", hasItem ? ToUtf16(snapshot.item->version.value_or("")) : u""});
  }
  return fields;
}

std::int32_t RestoreSnapshot(const PageHost& view, std::u16string_view folderName, std::u16string_view id) {
  const std::optional<Snapshot> snapshot = FindSnapshot(view.Install(), ToUtf8(id));
  if (!snapshot || !IsOf(*snapshot, folderName)) return kNoSuchSnapshot;
  switch (RestoreSnapshot(view.Install(), snapshot->folderName, snapshot->id).outcome) {
    case RestoreOutcome::Restored: return kRestored;
    case RestoreOutcome::NoSuchSnapshot: return kNoSuchSnapshot;
    case RestoreOutcome::NoAddOnFolder: return kNoAddOnFolder;
    case RestoreOutcome::Failed: break;
  }
  return kNotRestored;
}

}  // namespace wendrake

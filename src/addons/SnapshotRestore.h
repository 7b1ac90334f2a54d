#pragma once
// Putting an add-on back as a snapshot kept it: its folder, files and manifest
// name, and its catalogue item. What the restore replaces is kept as a snapshot
// first, so a restore can itself be undone; the restored snapshot becomes the
// add-on again and leaves the list.
#include <optional>
#include <string>
#include <string_view>

#include "addons/AddOnSnapshots.h"
#include "core/Installation.h"

namespace wendrake {

enum class RestoreOutcome { Restored, NoSuchSnapshot, NoAddOnFolder, Failed };

struct RestoreResult {
  RestoreOutcome outcome = RestoreOutcome::Failed;
  std::optional<std::string> replacedId;  // the snapshot of what the restore replaced, when there was a folder
};

// The snapshot `id` of the add-on folder `folderName` (without regard to ASCII
// case) back in place, swapped in whole; a catalogue item the snapshot does not
// have is removed, so the catalogue says what it said then. A restore that cannot
// finish changes nothing.
RestoreResult RestoreSnapshot(const Installation& installation, std::string_view folderName, std::string_view id, const SnapshotLimits& limits = {});

// Undoes what a killed restore had done, so the add-on and its item are as they
// were before it. Before the installation leftovers go; under BackupsLock.
void UndoKilledRestores(const Installation& installation);

}  // namespace wendrake

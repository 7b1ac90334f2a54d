#include "addons/Leftovers.h"

#include <fcntl.h>

#include <filesystem>

#include "addons/AddOnFolder.h"
#include "addons/AddOnSnapshots.h"
#include "addons/CatalogLock.h"
#include "addons/FolderCatalogItem.h"
#include "addons/PackageImport.h"
#include "addons/SnapshotRestore.h"
#include "addons/StagedInstallation.h"
#include "platform/AtomicFile.h"
#include "platform/FileLock.h"

namespace wendrake {

void RemoveLeftovers(const Installation& installation) {
  // A killed restore is undone while its staging folder still holds the old add-on.
  if (std::error_code error; std::filesystem::is_directory(BackupsFolder(installation), error)) {
    const BackupsLock hold(installation);
    UndoKilledRestores(installation);
    RemoveSnapshotLeftovers(installation);
  }
  if (const auto addOns = AddOnFolder(installation, u"")) {
    const bool keeps = KeepsSnapshots(installation);
    RemoveInstallLeftovers(*addOns, [&](const std::filesystem::path& oldState, const std::string& folderName) {
      if (!keeps) return;
      const BackupsLock hold(installation);
      KeepSnapshot(installation, oldState, folderName, CatalogItemOfFolder(installation.CatalogPath(), folderName));
    });
  }
  {
    const CatalogLock hold(installation.CatalogPath(), CatalogLock::Mode::Exclusive);
    RemoveStaleTemporaries(installation.CatalogPath());
  }
  // The hive's writers lock the hive itself.
  if (FileLock::Acquire(installation.HivePath(), O_RDONLY | O_CLOEXEC, FileLock::Mode::Exclusive)) RemoveStaleTemporaries(installation.HivePath());
  RemoveImportLeftovers(installation);
}

}  // namespace wendrake

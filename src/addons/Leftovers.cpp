#include "addons/Leftovers.h"

#include <fcntl.h>

#include "addons/AddOnFolder.h"
#include "addons/CatalogLock.h"
#include "addons/PackageImport.h"
#include "addons/StagedInstallation.h"
#include "platform/AtomicFile.h"
#include "platform/FileLock.h"

namespace wendrake {

void RemoveLeftovers(const Installation& installation) {
  if (const auto addOns = AddOnFolder(installation, u"")) RemoveInstallLeftovers(*addOns);
  {
    const CatalogLock hold(installation.CatalogPath(), CatalogLock::Mode::Exclusive);
    RemoveStaleTemporaries(installation.CatalogPath());
  }
  // The hive's writers lock the hive itself.
  if (FileLock::Acquire(installation.HivePath(), O_RDONLY | O_CLOEXEC, FileLock::Mode::Exclusive)) RemoveStaleTemporaries(installation.HivePath());
  RemoveImportLeftovers(installation);
}

}  // namespace wendrake

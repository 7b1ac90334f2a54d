#pragma once
// The catalogue's lock across processes (the launcher, wendrakectl, scripts): a
// lock file beside the catalogue that saves, which replace the catalogue, never
// replace. A change holds it exclusively from its read to its write, so no writer
// loses another's change; a switching pass holds it for the whole pass. Holds
// nested in one process share the outermost one, which must then be exclusive if
// any inner one is.
#include <filesystem>

namespace wendrake {

class CatalogLock {
 public:
  enum class Mode { Shared, Exclusive };

  // Waits for the lock. Where no lock file can be made (a read-only folder),
  // nothing there can be written either, and the hold is empty.
  CatalogLock(const std::filesystem::path& catalog, Mode mode);
  ~CatalogLock();
  CatalogLock(const CatalogLock&) = delete;
  CatalogLock& operator=(const CatalogLock&) = delete;

 private:
  std::filesystem::path lockFile_;
};

}  // namespace wendrake

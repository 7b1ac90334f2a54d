#include "addons/SnapshotRestore.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>

#include <filesystem>

#include "addons/AddOnFolder.h"
#include "addons/FolderCatalogItem.h"
#include "addons/StagedInstallation.h"
#include "core/Text.h"

namespace wendrake {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kJournalPrefix = ".restore-";

// What a restore is about to do, kept in Backups until it is done, so that a kill
// part way can be undone: the staged folder's identity tells whether it went live.
struct Journal {
  std::string folder;  // as the add-on folder spells it
  std::string staging;  // the staging folder's name in the add-on folder
  std::uint64_t device = 0, inode = 0;  // of the staged folder
  bool replaced = false;  // whether a folder stood there
  std::optional<CatalogItem> before;
};

bool WriteJournal(const fs::path& file, const Journal& journal) {
  g_autoptr(GKeyFile) keys = g_key_file_new();
  SetKeyBytes(keys, "Restore", "Folder", journal.folder);
  SetKeyBytes(keys, "Restore", "Staging", journal.staging);
  g_key_file_set_uint64(keys, "Restore", "Device", journal.device);
  g_key_file_set_uint64(keys, "Restore", "Inode", journal.inode);
  g_key_file_set_boolean(keys, "Restore", "Replaced", journal.replaced);
  WriteItemKeys(keys, journal.before);
  return g_key_file_save_to_file(keys, file.c_str(), nullptr);
}

std::optional<Journal> ReadJournal(const fs::path& file) {
  g_autoptr(GKeyFile) keys = g_key_file_new();
  if (!g_key_file_load_from_file(keys, file.c_str(), G_KEY_FILE_NONE, nullptr)) return std::nullopt;
  std::optional<std::string> folder = KeyBytes(keys, "Restore", "Folder"), staging = KeyBytes(keys, "Restore", "Staging");
  if (!folder || !staging) return std::nullopt;
  return Journal{std::move(*folder),
                 std::move(*staging),
                 g_key_file_get_uint64(keys, "Restore", "Device", nullptr),
                 g_key_file_get_uint64(keys, "Restore", "Inode", nullptr),
                 g_key_file_get_boolean(keys, "Restore", "Replaced", nullptr) != FALSE,
                 ReadItemKeys(keys)};
}

bool IsStaged(const fs::path& path, const Journal& journal) {
  struct stat status {};
  return ::lstat(path.c_str(), &status) == 0 && status.st_dev == journal.device && status.st_ino == journal.inode;
}

void Undo(const fs::path& addOns, const fs::path& catalog, const Journal& journal) {
  const fs::path live = addOns / journal.folder;
  // Not live: the kill came before the swap, or after the swap was undone.
  if (!IsStaged(live, journal)) return;
  const fs::path staging = addOns / journal.staging;
  std::error_code error;
  if (journal.replaced) {
    fs::path old = staging / "new" / journal.folder;
    if (!fs::exists(fs::symlink_status(old, error))) old = staging / "old" / journal.folder;
    // The old state already went into its snapshot: the restore had saved the catalogue and is done.
    if (!fs::exists(fs::symlink_status(old, error))) return;
    if (::renameat2(AT_FDCWD, old.c_str(), AT_FDCWD, live.c_str(), RENAME_EXCHANGE) != 0) {
      if (::rename(live.c_str(), (staging / "restored").c_str()) != 0 || ::rename(old.c_str(), live.c_str()) != 0) return;
    }
  } else if (::rename(live.c_str(), (staging / "restored").c_str()) != 0) {
    return;
  }
  SetCatalogItemOfFolder(catalog, journal.folder, journal.before);
}

}  // namespace

RestoreResult RestoreSnapshot(const Installation& installation, std::string_view folderName, std::string_view id, const SnapshotLimits& limits) {
  const BackupsLock hold(installation);
  const std::optional<Snapshot> snapshot = FindSnapshot(installation, id);
  if (!snapshot || !EqualsIgnoreAsciiCase(snapshot->folderName, folderName)) return {RestoreOutcome::NoSuchSnapshot};
  const std::optional<fs::path> addOns = AddOnFolder(installation, u"");
  std::error_code error;
  if (!addOns || !fs::is_directory(*addOns, error)) return {RestoreOutcome::NoAddOnFolder};

  // The restored add-on is the player's to change, while the snapshot stays whole until
  // the restore is done (and for good when it fails): they share no file.
  std::optional<StagedInstallation> staged = StagedInstallation::Begin(*addOns, Carrying::OwnStorage);
  const std::optional<std::string> name = staged ? staged->StageFolder(SnapshotContent(installation, id), snapshot->folderName) : std::nullopt;
  struct stat stagedStatus {};
  if (!name || ::lstat(staged->NewState(*name).c_str(), &stagedStatus) != 0) return {RestoreOutcome::Failed};
  const fs::path catalog = installation.CatalogPath();
  const Journal journal{*name,
                        staged->Folder().filename().string(),
                        stagedStatus.st_dev,
                        stagedStatus.st_ino,
                        fs::exists(fs::symlink_status(*addOns / *name, error)),
                        CatalogItemOfFolder(catalog, *name)};
  const fs::path journalFile = BackupsFolder(installation) / (std::string(kJournalPrefix) + journal.staging);
  if (!WriteJournal(journalFile, journal)) return {RestoreOutcome::Failed};

  RestoreResult result{RestoreOutcome::Failed};
  if (staged->Commit()) {
    if (!SetCatalogItemOfFolder(catalog, *name, snapshot->item)) {
      staged->Revert();
    } else {
      result.outcome = RestoreOutcome::Restored;
      for (const StagedInstallation::Replaced& replaced : staged->ReplacedFolders()) {
        result.replacedId = KeepSnapshot(installation, replaced.oldState, replaced.name, journal.before, limits, id);
        if (!result.replacedId) result.outcome = RestoreOutcome::Failed;
      }
      // What cannot be kept is not replaced.
      if (result.outcome == RestoreOutcome::Failed) {
        staged->Revert();
        SetCatalogItemOfFolder(catalog, *name, journal.before);
      }
    }
  }
  fs::remove(journalFile, error);
  if (result.outcome != RestoreOutcome::Restored) return result;
  DiscardSnapshot(installation, id);
  return result;
}

void UndoKilledRestores(const Installation& installation) {
  const std::optional<fs::path> addOns = AddOnFolder(installation, u"");
  std::vector<fs::path> journals;
  std::error_code error;
  for (fs::directory_iterator it(BackupsFolder(installation), error), end; !error && it != end; it.increment(error))
    if (it->path().filename().string().starts_with(kJournalPrefix)) journals.push_back(it->path());
  for (const fs::path& file : journals) {
    const std::optional<Journal> journal = ReadJournal(file);
    if (journal && addOns) Undo(*addOns, installation.CatalogPath(), *journal);
    fs::remove(file, error);
  }
}

}  // namespace wendrake

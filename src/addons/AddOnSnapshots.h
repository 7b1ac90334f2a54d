#pragma once
// Snapshots of add-on folders: what an installation replaced or a removal took,
// with the add-on's catalogue item at that moment, kept in <data>/Backups so the
// player can put it back. Each is <id>/snapshot.ini and <id>/folder; it is built
// under a dot name and renamed to its id last, so a snapshot with an id is whole;
// one a kill left whole but without its id gets it at the next start.
// Every change of Backups happens under BackupsLock.
#include <glib.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "addons/CatalogDocument.h"
#include "addons/CatalogLock.h"
#include "core/Installation.h"

namespace wendrake {

struct SnapshotLimits {
  std::size_t perAddOn = 5;
  std::uint64_t totalBytes = std::uint64_t{1} << 30;
};

struct Snapshot {
  std::string id;
  std::string folderName;  // as the add-on folder was spelled
  std::optional<CatalogItem> item;  // complete, or none when the add-on had none
  std::int64_t taken = 0;  // microseconds since 1970, UTC
  std::uint64_t bytes = 0;  // of its files, as measured when it was taken
};

std::filesystem::path BackupsFolder(const Installation& installation);
// Whether Backups is (or can be made) a folder the program may write; a snapshot
// is then kept whether or not there is a catalogue, without an item when not.
bool KeepsSnapshots(const Installation& installation);

// Held across every change of Backups, by every process. Its lock file lies in
// Backups, so that snapshots write nothing else in the data folder.
class BackupsLock {
 public:
  explicit BackupsLock(const Installation& installation);

 private:
  CatalogLock lock_;
};

// Newest first; only whole snapshots.
std::vector<Snapshot> ListSnapshots(const Installation& installation);
std::optional<Snapshot> FindSnapshot(const Installation& installation, std::string_view id);
// Where a snapshot keeps the add-on folder's content.
std::filesystem::path SnapshotContent(const Installation& installation, std::string_view id);

// Moves the folder `state` into a new snapshot (a copy, and the folder removed,
// when Backups lies on another file system) and answers its id, after dropping
// the snapshots the new one puts over the limits (not counting `leaving`, which
// the caller is about to discard). Nothing when it cannot be kept, or alone is
// over the limits: then `state` is left as it was. Under BackupsLock.
std::optional<std::string> KeepSnapshot(const Installation& installation, const std::filesystem::path& state, std::string_view folderName,
                                        const std::optional<CatalogItem>& item, const SnapshotLimits& limits = {}, std::string_view leaving = {});
// Removes a snapshot so that no part of it can be taken for a whole one. Under BackupsLock.
void DiscardSnapshot(const Installation& installation, std::string_view id);

// Any bytes as the value of a key (names and catalogue values need not be UTF-8),
// and back; nothing when the key is missing.
void SetKeyBytes(GKeyFile* keys, const char* group, const char* key, std::string_view bytes);
std::optional<std::string> KeyBytes(GKeyFile* keys, const char* group, const char* key);
// The [Item] group of a key file: pid, ver, PlugName.
void WriteItemKeys(GKeyFile* keys, const std::optional<CatalogItem>& item);
std::optional<CatalogItem> ReadItemKeys(GKeyFile* keys);

// Gives their ids to the snapshots killed processes left whole, and removes the
// half-made and half-removed ones. Under BackupsLock.
void RemoveSnapshotLeftovers(const Installation& installation);

}  // namespace wendrake

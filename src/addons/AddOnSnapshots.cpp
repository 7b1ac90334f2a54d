#include "addons/AddOnSnapshots.h"

#include <fcntl.h>
#include <glib.h>
#include <stdio.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>

#include "addons/FolderCarry.h"
#include "addons/FolderRemoval.h"
#include "core/Text.h"
#include "platform/UniqueFd.h"

namespace wendrake {
namespace {

namespace fs = std::filesystem;

constexpr char kAbout[] = "snapshot.ini";
constexpr char kContent[] = "folder";
constexpr char kCopying[] = "folder.copying";
constexpr std::string_view kIncomingPrefix = ".incoming-";

// Sorts as it was taken: 20261211-020512-123456, in UTC.
std::string IdOf(std::int64_t taken) {
  const time_t seconds = static_cast<time_t>(taken / G_USEC_PER_SEC);
  tm utc{};
  ::gmtime_r(&seconds, &utc);
  char text[64];
  std::snprintf(text, sizeof text, "%04d%02d%02d-%02d%02d%02d-%06lld", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min,
                utc.tm_sec, static_cast<long long>(taken % G_USEC_PER_SEC));
  return text;
}

std::optional<Snapshot> ReadSnapshot(const fs::path& backups, const std::string& id) {
  g_autoptr(GKeyFile) about = g_key_file_new();
  if (!g_key_file_load_from_file(about, (backups / id / kAbout).c_str(), G_KEY_FILE_NONE, nullptr)) return std::nullopt;
  std::optional<std::string> folder = KeyBytes(about, "Snapshot", "Folder");
  if (!folder) return std::nullopt;
  Snapshot snapshot{id, std::move(*folder), ReadItemKeys(about), g_key_file_get_int64(about, "Snapshot", "Taken", nullptr),
                    g_key_file_get_uint64(about, "Snapshot", "Bytes", nullptr)};
  return snapshot;
}

// Moves `state` into `folder` as its content, or copies it there across file
// systems, under another name until the copy is whole: the content's name in a
// snapshot being made says it is all there.
bool TakeInto(const fs::path& state, int folder, bool& copied) {
  const UniqueFd parent(::open(state.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  const std::string name = state.filename().string();
  if (parent.Get() < 0) return false;
  copied = false;
  if (::renameat(parent.Get(), name.c_str(), folder, kContent) == 0) return true;
  struct stat status {};
  if (errno != EXDEV || ::fstatat(parent.Get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) return false;
  copied = true;
  return CarryFolder(parent.Get(), name, folder, kCopying, status.st_mode, Carrying::OwnStorage) &&
         ::renameat(folder, kCopying, folder, kContent) == 0;
}

bool Describe(const fs::path& folder, const Snapshot& snapshot) {
  g_autoptr(GKeyFile) about = g_key_file_new();
  SetKeyBytes(about, "Snapshot", "Folder", snapshot.folderName);
  g_key_file_set_int64(about, "Snapshot", "Taken", snapshot.taken);
  g_key_file_set_uint64(about, "Snapshot", "Bytes", snapshot.bytes);
  WriteItemKeys(about, snapshot.item);
  return g_key_file_save_to_file(about, (folder / kAbout).c_str(), nullptr);
}

// The ids of `snapshots` (newest first) that the limits drop: the oldest first.
std::vector<std::string> OverLimits(const std::vector<Snapshot>& snapshots, const SnapshotLimits& limits) {
  std::vector<std::string> dropped;
  std::map<std::string, std::size_t> perAddOn;
  std::uint64_t bytes = 0;
  for (const Snapshot& snapshot : snapshots) {
    bytes += snapshot.bytes;
    if (++perAddOn[AsciiLowered(snapshot.folderName)] > limits.perAddOn || bytes > limits.totalBytes) {
      dropped.push_back(snapshot.id);
      bytes -= snapshot.bytes;
    }
  }
  return dropped;
}

// Gives the whole snapshot being made in `incoming` its id, after dropping the
// snapshots it puts over the limits (not counting `leaving`). Room is made before
// it takes its id, so that no kill leaves more than the limits allow; one that
// alone is over them is not kept.
std::optional<std::string> Admit(const Installation& installation, const fs::path& incoming, const Snapshot& coming, const SnapshotLimits& limits,
                                 std::string_view leaving) {
  std::vector<Snapshot> snapshots = ListSnapshots(installation);
  std::erase_if(snapshots, [&](const Snapshot& snapshot) { return snapshot.id == leaving; });
  snapshots.insert(snapshots.begin(), coming);
  const std::vector<std::string> dropped = OverLimits(snapshots, limits);
  if (std::ranges::find(dropped, coming.id) != dropped.end()) return std::nullopt;
  for (const std::string& id : dropped) DiscardSnapshot(installation, id);
  const fs::path backups = BackupsFolder(installation);
  for (std::int64_t at = coming.taken; at < coming.taken + 1000; ++at)
    if (::renameat2(AT_FDCWD, incoming.c_str(), AT_FDCWD, (backups / IdOf(at)).c_str(), RENAME_NOREPLACE) == 0) return IdOf(at);
  return std::nullopt;
}

// In Backups, made when missing; no snapshot (no folder) and no leftover (no dot),
// so neither listing nor clearing takes its lock file.
fs::path LockPlace(const Installation& installation) {
  const fs::path backups = BackupsFolder(installation);
  ::mkdir(backups.c_str(), 0700);
  return backups / "snapshots";
}

}  // namespace

void SetKeyBytes(GKeyFile* keys, const char* group, const char* key, std::string_view bytes) {
  g_autofree gchar* escaped = g_strescape(std::string(bytes).c_str(), nullptr);
  g_key_file_set_value(keys, group, key, escaped);
}

std::optional<std::string> KeyBytes(GKeyFile* keys, const char* group, const char* key) {
  g_autofree gchar* value = g_key_file_get_value(keys, group, key, nullptr);
  if (!value) return std::nullopt;
  g_autofree gchar* bytes = g_strcompress(value);
  return std::string(bytes);
}

void WriteItemKeys(GKeyFile* keys, const std::optional<CatalogItem>& item) {
  if (!item) return;
  SetKeyBytes(keys, "Item", "pid", *item->pid);
  SetKeyBytes(keys, "Item", "ver", *item->version);
  SetKeyBytes(keys, "Item", "PlugName", *item->folderName);
}

std::optional<CatalogItem> ReadItemKeys(GKeyFile* keys) {
  CatalogItem item{KeyBytes(keys, "Item", "pid"), KeyBytes(keys, "Item", "ver"), KeyBytes(keys, "Item", "PlugName")};
  if (!item.pid || !item.version || !item.folderName) return std::nullopt;
  return item;
}

fs::path BackupsFolder(const Installation& installation) { return installation.DataFolder() / "Backups"; }

bool KeepsSnapshots(const Installation& installation) {
  const fs::path backups = BackupsFolder(installation);
  std::error_code error;
  const fs::file_status status = fs::symlink_status(backups, error);
  // Made with the first snapshot only, so that nothing that keeps none leaves a trace.
  if (!fs::exists(status)) return ::access(installation.DataFolder().c_str(), W_OK | X_OK) == 0;
  return fs::is_directory(status) && ::access(backups.c_str(), W_OK | X_OK) == 0;
}

BackupsLock::BackupsLock(const Installation& installation) : lock_(LockPlace(installation), CatalogLock::Mode::Exclusive) {}

fs::path SnapshotContent(const Installation& installation, std::string_view id) { return BackupsFolder(installation) / std::string(id) / kContent; }

std::vector<Snapshot> ListSnapshots(const Installation& installation) {
  std::vector<Snapshot> snapshots;
  const fs::path backups = BackupsFolder(installation);
  std::error_code error;
  for (fs::directory_iterator it(backups, error), end; !error && it != end; it.increment(error)) {
    const std::string id = it->path().filename().string();
    if (id.starts_with('.')) continue;
    if (auto snapshot = ReadSnapshot(backups, id)) snapshots.push_back(std::move(*snapshot));
  }
  std::ranges::sort(snapshots, [](const Snapshot& a, const Snapshot& b) { return a.taken != b.taken ? a.taken > b.taken : a.id > b.id; });
  return snapshots;
}

std::optional<Snapshot> FindSnapshot(const Installation& installation, std::string_view id) {
  // An id is one name in Backups, never a way out of it or to a half-made one.
  if (id.empty() || id.starts_with('.') || id.find_first_of(std::string_view("/\0", 2)) != std::string_view::npos) return std::nullopt;
  return ReadSnapshot(BackupsFolder(installation), std::string(id));
}

std::optional<std::string> KeepSnapshot(const Installation& installation, const fs::path& state, std::string_view folderName,
                                        const std::optional<CatalogItem>& item, const SnapshotLimits& limits, std::string_view leaving) {
  const fs::path backups = BackupsFolder(installation);
  ::mkdir(backups.c_str(), 0700);
  std::string incoming = (backups / (std::string(kIncomingPrefix) + "XXXXXX")).string();
  if (!g_mkdtemp_full(incoming.data(), 0700)) return std::nullopt;
  const UniqueFd folder(::open(incoming.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  // Described before its content comes in, so that a kill once the content is
  // whole leaves a snapshot the next start finishes, not the state lost.
  const Snapshot coming{"", std::string(folderName), item, g_get_real_time(), FileBytesBelow(state)};
  bool copied = false;
  const bool taken = folder.Get() >= 0 && Describe(incoming, coming) && TakeInto(state, folder.Get(), copied);
  const std::optional<std::string> id = taken ? Admit(installation, incoming, coming, limits, leaving) : std::nullopt;
  if (!id && taken && !copied) ::rename((fs::path(incoming) / kContent).c_str(), state.c_str());
  if (!id) DeleteFolderTree(incoming);
  if (id && copied) DeleteFolderTree(state);
  return id;
}

void DiscardSnapshot(const Installation& installation, std::string_view id) {
  const fs::path backups = BackupsFolder(installation);
  const fs::path discarded = backups / (".discard-" + std::string(id));
  // Out of sight first: a kill while its files go leaves nothing with an id.
  if (::rename((backups / std::string(id)).c_str(), discarded.c_str()) == 0) DeleteFolderTree(discarded);
}

void RemoveSnapshotLeftovers(const Installation& installation) {
  const fs::path backups = BackupsFolder(installation);
  std::vector<std::string> leftovers;
  std::error_code error;
  for (fs::directory_iterator it(backups, error), end; !error && it != end; it.increment(error))
    if (const std::string name = it->path().filename().string(); name.starts_with('.')) leftovers.push_back(name);
  for (const std::string& name : leftovers) {
    // A snapshot whose content is all in only lacks its id.
    if (name.starts_with(kIncomingPrefix) && fs::is_directory(fs::symlink_status(backups / name / kContent, error)))
      if (const std::optional<Snapshot> whole = ReadSnapshot(backups, name); whole && Admit(installation, backups / name, *whole, {}, {})) continue;
    DeleteFolderTree(backups / name);
    fs::remove(backups / name, error);
  }
}

}  // namespace wendrake

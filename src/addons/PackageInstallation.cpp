#include "addons/PackageInstallation.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <string>
#include <unordered_set>

#include "addons/AddOnFolder.h"
#include "addons/AddOnSnapshots.h"
#include "addons/FolderCarry.h"
#include "addons/FolderCatalogItem.h"
#include "addons/PackageListing.h"
#include "addons/StagedInstallation.h"
#include "core/Text.h"
#include "platform/CaseInsensitivePath.h"
#include "platform/ZipArchive.h"

namespace wendrake {
namespace {

namespace fs = std::filesystem;

// Room left for the game and the desktop once a package is in.
constexpr std::uint64_t kFreeSpaceMargin = std::uint64_t{64} << 20;

// Finds Interface/AddOns below the game folder in whatever case it exists, else
// makes the missing level with the canonical spelling.
std::optional<fs::path> OpenAddOnFolder(const Installation& installation) {
  const std::optional<fs::path> game = GameFolder(installation);
  if (!game) return std::nullopt;
  fs::path folder = *game;
  for (const char* level : {"Interface", "AddOns"}) {
    folder = ResolveWithoutCase(folder, level);
    ::mkdir(folder.c_str(), 0777);
  }
  std::error_code error;
  if (!fs::is_directory(folder, error)) return std::nullopt;
  return folder;
}

// Packages lie in Temp: a name that reaches another folder names no package of ours,
// and its file must not be deleted after the installation.
bool IsPackageName(std::u16string_view name) {
  return name.find_first_of(std::u16string_view(u"/\\\0", 3)) == std::u16string_view::npos && !HasLoneSurrogate(name);
}

// Room for the package's files and, when the old state is kept, for the copies of
// the add-on folders it replaces, which the new state then owns.
bool FitsOnDisk(const fs::path& addOns, const PackageListing& listing, bool keeps) {
  std::uint64_t bytes = listing.bytes;
  if (keeps) {
    std::unordered_set<std::string> tops;
    for (const PackageEntry& entry : listing.entries)
      if (tops.insert(AsciiLowered(entry.parts.front())).second) bytes += FileBytesBelow(ResolveWithoutCase(addOns, entry.parts.front()));
  }
  struct statvfs space {};
  if (::statvfs(addOns.c_str(), &space) != 0) return false;
  const std::uint64_t freeBytes = std::uint64_t{space.f_bavail} * space.f_frsize;
  const bool roomForFiles = freeBytes > kFreeSpaceMargin && bytes <= freeBytes - kFreeSpaceMargin;
  // File systems without an inode count (btrfs) report none.
  const bool roomForNames = space.f_files == 0 || listing.entries.size() < space.f_favail;
  return roomForFiles && roomForNames;
}

// The old state of every add-on folder the package replaced, with its catalogue
// item, as a snapshot; one that cannot be kept goes, as it did before snapshots.
void KeepReplaced(const Installation& installation, const StagedInstallation& staged) {
  const std::vector<StagedInstallation::Replaced> replaced = staged.ReplacedFolders();
  if (replaced.empty()) return;
  const BackupsLock hold(installation);
  for (const StagedInstallation::Replaced& folder : replaced)
    KeepSnapshot(installation, folder.oldState, folder.name, CatalogItemOfFolder(installation.CatalogPath(), folder.name));
}

// Everything is read and checked, then written apart, then put in place.
bool Install(const Installation& installation, const fs::path& archive, const fs::path& addOns, const PackageListing& listing) {
  // The old state goes into a snapshot: the new one must not share its files, or a
  // write into the live add-on would change the earlier version too.
  const bool keeps = KeepsSnapshots(installation);
  if (!FitsOnDisk(addOns, listing, keeps)) return false;
  std::optional<StagedInstallation> staged = StagedInstallation::Begin(addOns, keeps ? Carrying::OwnStorage : Carrying::Linked);
  if (!staged || !staged->Stage(archive, listing.entries) || !staged->Commit()) return false;
  if (keeps) KeepReplaced(installation, *staged);
  return true;
}

}  // namespace

std::int32_t UnzipPlugin(const PageHost& view, std::u16string_view tag, std::u16string_view packageName) {
  // Without a game folder there is nowhere safe to install; the package stays for a later try.
  const std::optional<fs::path> addOns = OpenAddOnFolder(view.Install());
  const fs::path archivePath = view.Install().TempFolder() / ToUtf8(std::u16string(packageName) + u".zip");
  ZipArchive archive;
  if (!addOns || !IsPackageName(packageName) || !archive.Open(archivePath)) {
    view.ShowMsgBox(u"1004");
    return -2;
  }
  const std::optional<size_t> count = archive.EntryCount();
  if (!count) {
    view.ShowMsgBox(u"1005");
    return -3;
  }
  // A package that cannot be installed whole changes nothing and stays for the player.
  const std::optional<PackageListing> listing = ListPackage(archive, *count, PackageLimits{});
  if (!listing || !Install(view.Install(), archivePath, *addOns, *listing)) {
    view.ShowMsgBox(u"1004");
    return -2;
  }

  view.Page().RefreshDocument();
  const bool told = view.Page().CallPageScript(u"UnzipFinished", {std::u16string(tag), std::u16string(packageName)});
  if (!told) view.ShowMsgBox(u"1006");
  archive.Close();
  if (::unlink(archivePath.c_str()) != 0) view.ShowMsgBox(u"1009");
  return told ? 1 : -4;
}

}  // namespace wendrake

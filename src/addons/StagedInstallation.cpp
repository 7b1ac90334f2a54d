#include "addons/StagedInstallation.h"

#include <fcntl.h>
#include <glib.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <span>
#include <string_view>
#include <utility>

#include "addons/FolderCarry.h"
#include "addons/FolderRemoval.h"
#include "addons/ParallelExtraction.h"
#include "core/Text.h"
#include "platform/UniqueFd.h"

namespace wendrake {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kStagingPrefix = ".wendrake-install-";
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
// Lists the inode of each staged new state, one a line, when the old states are
// to be kept: after a kill, an entry of "new" not listed is an old state swapped out.
constexpr char kStagedRecord[] = "staged";

bool HoldsLock(int fd, bool wait) { return ::flock(fd, LOCK_EX | (wait ? 0 : LOCK_NB)) == 0; }

bool SameFolder(int parentFd, const std::string& name, int fd) {
  struct stat named {
  }, held{};
  return ::fstatat(parentFd, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 && ::fstat(fd, &held) == 0 && named.st_dev == held.st_dev &&
         named.st_ino == held.st_ino;
}

bool Exists(int folderFd, const std::string& name) {
  struct stat status {};
  return ::fstatat(folderFd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0;
}

// Kernels and file systems without these flags (some FUSE ones) answer EINVAL.
bool Unsupported(int error) { return error == EINVAL || error == ENOSYS || error == ENOTSUP; }

}  // namespace

FolderNames FolderNames::Read(int folderFd) {
  FolderNames names;
  for (const std::string& name : ListFolder(folderFd)) names.Add(name);
  return names;
}

bool FolderNames::Contains(const std::string& name) const { return exact_.contains(name); }

std::string FolderNames::Spelling(const std::string& name) const {
  if (exact_.contains(name)) return name;
  const auto found = smallestByLowered_.find(AsciiLowered(name));
  return found == smallestByLowered_.end() ? name : found->second;
}

void FolderNames::Add(const std::string& name) {
  if (!exact_.insert(name).second) return;
  auto [slot, added] = smallestByLowered_.try_emplace(AsciiLowered(name), name);
  if (!added && name < slot->second) slot->second = name;
}

std::optional<StagedInstallation> StagedInstallation::Begin(const fs::path& addOns, Carrying carrying) {
  UniqueFd addOnsFd(::open(addOns.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (addOnsFd.Get() < 0) return std::nullopt;
  // Another process clearing leftovers may take a folder between its making and
  // its locking; then it is made anew.
  for (int attempt = 0; attempt < 3; ++attempt) {
    std::string path = (addOns / (std::string(kStagingPrefix) + "XXXXXX")).string();
    if (!g_mkdtemp_full(path.data(), 0700)) return std::nullopt;
    const std::string name = fs::path(path).filename().string();
    UniqueFd staging(::openat(addOnsFd.Get(), name.c_str(), kFolderFlags));
    if (staging.Get() < 0 || !HoldsLock(staging.Get(), true)) return std::nullopt;
    if (!SameFolder(addOnsFd.Get(), name, staging.Get())) continue;
    if (::mkdirat(staging.Get(), "new", 0700) != 0 || ::mkdirat(staging.Get(), "old", 0700) != 0) {
      DeleteFolderTree(addOns / name);
      return std::nullopt;
    }
    UniqueFd newFd(::openat(staging.Get(), "new", kFolderFlags));
    UniqueFd oldFd(::openat(staging.Get(), "old", kFolderFlags));
    return StagedInstallation(addOns, std::move(addOnsFd), name, std::move(staging), std::move(newFd), std::move(oldFd), carrying);
  }
  return std::nullopt;
}

StagedInstallation::StagedInstallation(fs::path addOns, UniqueFd addOnsFd, std::string name, UniqueFd stagingFd, UniqueFd newFd, UniqueFd oldFd,
                                       Carrying carrying)
    : addOns_(std::move(addOns)),
      addOnsFd_(std::move(addOnsFd)),
      name_(std::move(name)),
      stagingFd_(std::move(stagingFd)),
      newFd_(std::move(newFd)),
      oldFd_(std::move(oldFd)),
      carrying_(carrying) {}

StagedInstallation::~StagedInstallation() {
  // Removed while still locked, so no other process takes it for a leftover meanwhile.
  if (stagingFd_.Get() >= 0) DeleteFolderTree(addOns_ / name_);
}

FolderNames& StagedInstallation::NamesIn(const std::string& relative, int folderFd) {
  auto found = names_.find(relative);
  if (found == names_.end()) found = names_.emplace(relative, FolderNames::Read(folderFd)).first;
  return found->second;
}

bool StagedInstallation::PrepareTop(const std::string& name, bool asFolder) {
  tops_.push_back({name});
  struct stat status {};
  if (::fstatat(addOnsFd_.Get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) return errno == ENOENT;
  // A link stays the player's: nothing is installed through it, and only a file of the package replaces it.
  if (!S_ISDIR(status.st_mode)) return !asFolder;
  return asFolder && CarryFolder(addOnsFd_.Get(), name, newFd_.Get(), name, status.st_mode, carrying_);
}

bool StagedInstallation::Stage(const fs::path& archive, const std::vector<PackageEntry>& entries) {
  FolderNames& addOnNames = NamesIn("", addOnsFd_.Get());
  std::vector<ExtractionJob> jobs;
  // A name the package holds twice gets its last entry, as writing them in turn would.
  std::unordered_map<std::string, size_t> jobOfName;
  std::unordered_set<std::string> prepared;
  // Entries of one folder mostly follow each other: its descriptor is kept for the next.
  std::span<const std::string> openParts;
  std::string relative;
  UniqueFd folder;
  for (const PackageEntry& entry : entries) {
    const bool isFolder = entry.info.isFolder;
    const std::string top = addOnNames.Spelling(entry.parts.front());
    if (top.starts_with(kStagingPrefix)) return false;
    if (prepared.insert(top).second) {
      if (!PrepareTop(top, isFolder || entry.parts.size() > 1)) return false;
      addOnNames.Add(top);
    }

    const std::span<const std::string> folderParts = std::span(entry.parts).first(isFolder ? entry.parts.size() : entry.parts.size() - 1);
    if (folder.Get() < 0 || !std::ranges::equal(folderParts, openParts)) {
      folder.Reset(::dup(newFd_.Get()));
      relative.clear();
      openParts = {};
      for (size_t i = 0; i < folderParts.size(); ++i) {
        const std::string part = i == 0 ? top : NamesIn(relative, folder.Get()).Spelling(folderParts[i]);
        int next = ::openat(folder.Get(), part.c_str(), kFolderFlags);
        if (next < 0 && errno == ENOENT && ::mkdirat(folder.Get(), part.c_str(), 0777) == 0) {
          if (i > 0) NamesIn(relative, folder.Get()).Add(part);
          next = ::openat(folder.Get(), part.c_str(), kFolderFlags);
        }
        if (next < 0) return false;
        relative += (relative.empty() ? "" : "/") + part;
        folder.Reset(next);
      }
      openParts = folderParts;
    }
    if (isFolder) continue;

    const bool inTop = entry.parts.size() == 1;
    FolderNames* const names = inTop ? nullptr : &NamesIn(relative, folder.Get());
    const std::string leaf = inTop ? top : names->Spelling(entry.parts.back());
    ExtractionJob job{entry.index, &entry.info, relative, leaf};
    const auto [earlier, first] = jobOfName.try_emplace(relative + "/" + leaf, jobs.size());
    if (!first) {
      jobs[earlier->second] = std::move(job);
      continue;
    }
    // What the name holds (a kept file or a link) is replaced; a folder is not.
    if (inTop || names->Contains(leaf)) {
      struct stat status {};
      if (::fstatat(folder.Get(), leaf.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
          (S_ISDIR(status.st_mode) || ::unlinkat(folder.Get(), leaf.c_str(), 0) != 0))
        return false;
    }
    if (names) names->Add(leaf);
    jobs.push_back(std::move(job));
  }
  return ExtractAll(archive, newFd_.Get(), jobs);
}

bool StagedInstallation::Place(Top& top) {
  if (::renameat2(newFd_.Get(), top.name.c_str(), addOnsFd_.Get(), top.name.c_str(), RENAME_EXCHANGE) == 0) {
    top.placement = Placement::Exchanged;
    return true;
  }
  if (errno == ENOENT && !Exists(addOnsFd_.Get(), top.name)) {
    top.placement = Placement::Added;
    if (::renameat2(newFd_.Get(), top.name.c_str(), addOnsFd_.Get(), top.name.c_str(), RENAME_NOREPLACE) == 0) return true;
    return Unsupported(errno) && ::renameat(newFd_.Get(), top.name.c_str(), addOnsFd_.Get(), top.name.c_str()) == 0;
  }
  if (!Unsupported(errno)) return false;
  // Without an atomic exchange the old state steps aside first; a kill between the
  // two renames is undone by RemoveInstallLeftovers.
  top.placement = Placement::SetAside;
  if (::renameat(addOnsFd_.Get(), top.name.c_str(), oldFd_.Get(), top.name.c_str()) != 0) return false;
  if (::renameat(newFd_.Get(), top.name.c_str(), addOnsFd_.Get(), top.name.c_str()) == 0) return true;
  ::renameat(oldFd_.Get(), top.name.c_str(), addOnsFd_.Get(), top.name.c_str());
  return false;
}

void StagedInstallation::PutBack(const Top& top) {
  switch (top.placement) {
    case Placement::Exchanged: ::renameat2(newFd_.Get(), top.name.c_str(), addOnsFd_.Get(), top.name.c_str(), RENAME_EXCHANGE); break;
    case Placement::SetAside:
      if (::renameat(addOnsFd_.Get(), top.name.c_str(), newFd_.Get(), top.name.c_str()) == 0)
        ::renameat(oldFd_.Get(), top.name.c_str(), addOnsFd_.Get(), top.name.c_str());
      break;
    case Placement::Added: ::renameat(addOnsFd_.Get(), top.name.c_str(), newFd_.Get(), top.name.c_str()); break;
  }
}

std::optional<std::string> StagedInstallation::StageFolder(const fs::path& from, const std::string& name) {
  const std::string top = NamesIn("", addOnsFd_.Get()).Spelling(name);
  tops_.push_back({top});
  const UniqueFd parent(::open(from.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  struct stat status {};
  const std::string fromName = from.filename().string();
  const bool staged = parent.Get() >= 0 && ::fstatat(parent.Get(), fromName.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(status.st_mode) &&
                      CarryFolder(parent.Get(), fromName, newFd_.Get(), top, status.st_mode, carrying_);
  if (!staged) return std::nullopt;
  return top;
}

bool StagedInstallation::RecordStaged() const {
  std::string record;
  for (const Top& top : tops_) {
    struct stat status {};
    if (::fstatat(newFd_.Get(), top.name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) return false;
    record += std::to_string(status.st_ino) + "\n";
  }
  return g_file_set_contents((Folder() / kStagedRecord).c_str(), record.data(), static_cast<gssize>(record.size()), nullptr);
}

bool StagedInstallation::Commit() {
  if (carrying_ == Carrying::OwnStorage && !RecordStaged()) return false;
  for (size_t placed = 0; placed < tops_.size(); ++placed) {
    if (Place(tops_[placed])) continue;
    while (placed-- > 0) PutBack(tops_[placed]);
    return false;
  }
  return true;
}

void StagedInstallation::Revert() {
  for (size_t placed = tops_.size(); placed-- > 0;) PutBack(tops_[placed]);
}

std::vector<StagedInstallation::Replaced> StagedInstallation::ReplacedFolders() const {
  std::vector<Replaced> replaced;
  for (const Top& top : tops_) {
    if (top.placement == Placement::Added) continue;
    const int holder = top.placement == Placement::Exchanged ? newFd_.Get() : oldFd_.Get();
    struct stat status {};
    // A link or a file the package replaced is no add-on folder.
    if (::fstatat(holder, top.name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(status.st_mode)) continue;
    replaced.push_back({top.name, Folder() / (top.placement == Placement::Exchanged ? "new" : "old") / top.name});
  }
  return replaced;
}

namespace {

// The inodes a killed installation listed before its swaps; none when it listed none.
std::unordered_set<ino_t> StagedInodes(const fs::path& staging) {
  std::unordered_set<ino_t> inodes;
  g_autofree gchar* text = nullptr;
  if (!g_file_get_contents((staging / kStagedRecord).c_str(), &text, nullptr, nullptr)) return inodes;
  g_auto(GStrv) lines = g_strsplit(text, "\n", -1);
  for (gchar** line = lines; *line; ++line)
    if (guint64 inode = 0; g_ascii_string_to_unsigned(*line, 10, 0, G_MAXUINT64, &inode, nullptr)) inodes.insert(static_cast<ino_t>(inode));
  return inodes;
}

bool IsFolder(int parentFd, const std::string& name, ino_t* inode = nullptr) {
  struct stat status {};
  if (::fstatat(parentFd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(status.st_mode)) return false;
  if (inode) *inode = status.st_ino;
  return true;
}

}  // namespace

void RemoveInstallLeftovers(const fs::path& addOns, const KeepOldState& keepOldState) {
  const UniqueFd addOnsFd(::open(addOns.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (addOnsFd.Get() < 0) return;
  for (const std::string& name : ListFolder(addOnsFd.Get())) {
    if (!name.starts_with(kStagingPrefix)) continue;
    const UniqueFd staging(::openat(addOnsFd.Get(), name.c_str(), kFolderFlags));
    if (staging.Get() < 0 || !HoldsLock(staging.Get(), false) || !SameFolder(addOnsFd.Get(), name, staging.Get())) continue;
    // Old states swapped out before the kill are kept as the installation would
    // have kept them; without a record of what was staged, none was swapped out.
    const std::unordered_set<ino_t> staged = StagedInodes(addOns / name);
    if (const UniqueFd old(::openat(staging.Get(), "old", kFolderFlags)); old.Get() >= 0)
      for (const std::string& setAside : ListFolder(old.Get())) {
        if (!Exists(addOnsFd.Get(), setAside))
          ::renameat(old.Get(), setAside.c_str(), addOnsFd.Get(), setAside.c_str());
        else if (!staged.empty() && IsFolder(old.Get(), setAside))
          keepOldState(addOns / name / "old" / setAside, setAside);
      }
    if (const UniqueFd swapped(::openat(staging.Get(), "new", kFolderFlags)); swapped.Get() >= 0 && !staged.empty())
      for (const std::string& entry : ListFolder(swapped.Get()))
        if (ino_t inode = 0; IsFolder(swapped.Get(), entry, &inode) && !staged.contains(inode)) keepOldState(addOns / name / "new" / entry, entry);
    DeleteFolderTree(addOns / name);
  }
}

}  // namespace wendrake

#pragma once
// Installing a package so that a failure, or a kill at any moment, leaves each
// add-on folder either as it was or as the package makes it, never a mix. The
// new state of every top-level entry the package touches is built in a staging
// folder inside the add-on folder (so on the same file system): the files it
// keeps (carried as Begin is told), the package's files over them. Each is then swapped into place
// with one rename, and the staging folder, which then holds the old state, goes.
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "addons/FolderCarry.h"
#include "addons/PackageListing.h"
#include "platform/UniqueFd.h"
#include "platform/ZipArchive.h"

namespace wendrake {

// Names in one folder, found as Wine finds them: the exact name when it exists,
// else the smallest that differs only in ASCII case.
class FolderNames {
 public:
  static FolderNames Read(int folderFd);
  bool Contains(const std::string& name) const;
  std::string Spelling(const std::string& name) const;
  void Add(const std::string& name);

 private:
  std::unordered_map<std::string, std::string> smallestByLowered_;
  std::unordered_set<std::string> exact_;
};

class StagedInstallation {
 public:
  // Makes and holds a staging folder in `addOns`; nothing when it cannot. What
  // the new states keep of the old is carried as `carrying` says: with storage
  // of its own when the old state is to be kept as a snapshot.
  static std::optional<StagedInstallation> Begin(const std::filesystem::path& addOns, Carrying carrying);

  StagedInstallation(StagedInstallation&& other) noexcept = default;
  StagedInstallation& operator=(StagedInstallation&&) = delete;
  StagedInstallation(const StagedInstallation&) = delete;
  StagedInstallation& operator=(const StagedInstallation&) = delete;
  // Removes the staging folder with what it holds.
  ~StagedInstallation();

  // Builds what the entries make of the add-on folder. False when they cannot
  // all be laid out: a file where the package needs a folder or the reverse, a
  // link in the way, a damaged entry, a write that fails.
  bool Stage(const std::filesystem::path& archive, const std::vector<PackageEntry>& entries);
  // Carries the folder `from` as the new state of
  // the add-on folder `name`, whatever that holds now; answers the name as the
  // add-on folder spells it.
  std::optional<std::string> StageFolder(const std::filesystem::path& from, const std::string& name);
  // Puts every staged entry in place; when one cannot be, those already placed
  // are put back, and nothing has changed.
  bool Commit();
  // After a Commit: puts every entry back as it was.
  void Revert();

  // After a Commit: where the old state of each add-on folder that was replaced
  // lies, inside the staging folder, by the name the add-on folder spells it.
  struct Replaced {
    std::string name;
    std::filesystem::path oldState;
  };
  std::vector<Replaced> ReplacedFolders() const;
  // The staging folder, and where the new state of an add-on is built in it.
  std::filesystem::path Folder() const { return addOns_ / name_; }
  std::filesystem::path NewState(const std::string& name) const { return Folder() / "new" / name; }

 private:
  enum class Placement { Exchanged, SetAside, Added };
  struct Top {
    std::string name;  // as the add-on folder spells it
    Placement placement = Placement::Added;
  };

  StagedInstallation(std::filesystem::path addOns, UniqueFd addOnsFd, std::string name, UniqueFd stagingFd, UniqueFd newFd, UniqueFd oldFd,
                     Carrying carrying);
  bool PrepareTop(const std::string& name, bool asFolder);
  bool RecordStaged() const;
  FolderNames& NamesIn(const std::string& relative, int folderFd);
  bool Place(Top& top);
  void PutBack(const Top& top);

  std::filesystem::path addOns_;
  UniqueFd addOnsFd_;
  std::string name_;  // of the staging folder
  UniqueFd stagingFd_;  // holds the lock that keeps other processes from clearing it away
  UniqueFd newFd_;  // the new state of each top-level entry
  UniqueFd oldFd_;  // where an add-on is set aside while its new state moves in
  Carrying carrying_;
  std::vector<Top> tops_;
  std::unordered_map<std::string, FolderNames> names_;  // by staged folder, "" for the add-on folder itself
};

// Removes the staging folders no running installation holds, first putting back
// any add-on that a kill left set aside, and handing `keepOldState` each old state
// of an add-on folder that a kill left replaced but not yet kept.
using KeepOldState = std::function<void(const std::filesystem::path& oldState, const std::string& folderName)>;
void RemoveInstallLeftovers(const std::filesystem::path& addOns, const KeepOldState& keepOldState);

}  // namespace wendrake

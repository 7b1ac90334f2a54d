// Writes that cannot be made whole (a full file system, a write-protected file)
// report failure and leave the catalogue, the settings and the add-ons as they were;
// snapshots kept on another file system than the add-ons are whole copies.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <string>

#include "addons/AddOnSnapshots.h"
#include "addons/FolderCatalogItem.h"
#include "addons/FolderRemoval.h"
#include "addons/PackageInstallation.h"
#include "addons/PluginCatalog.h"
#include "addons/SnapshotRestore.h"
#include "commands/SettingsStore.h"
#include "platform/AtomicFile.h"
#include "support/HandlerHost.h"
#include "support/ProcessRun.h"
#include "support/TempInstallation.h"
#include "support/WithoutFileOverride.h"
#include "support/ZipBuilder.h"

namespace wendrake {
namespace {

namespace fs = std::filesystem;
using testing::ZipEntrySpec;

// Writes until the file system has no byte left.
void Fill(const fs::path& file) {
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_GE(fd, 0);
  const std::string block(4096, 'f');
  while (::write(fd, block.data(), block.size()) > 0) {
  }
  // Less than a block may be left.
  while (::write(fd, "f", 1) > 0) {
  }
  ::close(fd);
}

std::set<std::string> Listing(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) names.insert(entry.path().lexically_relative(folder).string());
  return names;
}

// Every file below `folder` with its bytes, every folder with a slash.
std::map<std::string, std::string> Files(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const std::string relative = entry.path().lexically_relative(folder).string();
    if (entry.is_directory())
      files[relative + "/"];
    else
      files[relative] = *ReadWholeFile(entry.path());
  }
  return files;
}

// A tmpfs of its own on `folder` for as long as it lives.
class Mount {
 public:
  Mount(fs::path folder, const char* size) : folder_(std::move(folder)) {
    fs::create_directories(folder_);
    mounted_ = ::mount("tmpfs", folder_.c_str(), "tmpfs", 0, (std::string("size=") + size).c_str()) == 0;
  }
  ~Mount() {
    if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
  }
  bool Mounted() const { return mounted_; }

 private:
  fs::path folder_;
  bool mounted_ = false;
};

// A btrfs of its own, from an image file, on `folder` for as long as it lives: a
// file system that clones files, as many players' homes are.
class CloningMount {
 public:
  explicit CloningMount(fs::path folder) : folder_(std::move(folder)), image_("/var/tmp/wendrake-btrfs-" + std::to_string(::getpid()) + ".img") {
    fs::create_directories(folder_);
    std::ofstream(image_).close();
    std::error_code error;
    fs::resize_file(image_, std::uintmax_t{200} << 20, error);
    mounted_ = !error && testing::RunProcess({"mkfs.btrfs", "-q", image_.string()}).status == 0 &&
               testing::RunProcess({"mount", "-o", "loop", image_.string(), folder_.string()}).status == 0;
  }
  ~CloningMount() {
    if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
    std::error_code error;
    fs::remove(image_, error);
  }
  bool Mounted() const { return mounted_; }

 private:
  fs::path folder_, image_;
  bool mounted_ = false;
};

// Whether every extent of the file's data is shared with another file.
bool SharesAllItsStorage(const fs::path& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  constexpr std::uint32_t kExtents = 16;
  std::vector<std::uint64_t> buffer((sizeof(fiemap) + kExtents * sizeof(fiemap_extent)) / sizeof(std::uint64_t) + 1);
  auto* map = reinterpret_cast<fiemap*>(buffer.data());
  map->fm_length = FIEMAP_MAX_OFFSET;
  map->fm_flags = FIEMAP_FLAG_SYNC;
  map->fm_extent_count = kExtents;
  const bool mapped = ::ioctl(fd, FS_IOC_FIEMAP, map) == 0;
  ::close(fd);
  if (!mapped || map->fm_mapped_extents == 0) return false;
  for (std::uint32_t i = 0; i < map->fm_mapped_extents; ++i)
    if (!(map->fm_extents[i].fe_flags & FIEMAP_EXTENT_SHARED)) return false;
  return true;
}

class FullFileSystem : public ::testing::Test {
 protected:
  // A small file system of this test's own, in a mount namespace of its own, so
  // nothing else on the machine sees it; where the machine allows neither, the
  // test cannot run.
  void SetUp() override {
    mountPoint_ = fs::temp_directory_path() / ("wendrake-full-" + std::to_string(::getpid()));
    fs::create_directories(mountPoint_);
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", mountPoint_.c_str(), "tmpfs", 0, "size=1m") != 0)
      GTEST_SKIP() << "no mount namespace here: " << std::strerror(errno);
    mounted_ = true;
    ::setenv("TMPDIR", mountPoint_.c_str(), 1);
  }
  void TearDown() override {
    ::unsetenv("TMPDIR");
    if (mounted_) ::umount2(mountPoint_.c_str(), MNT_DETACH);
    fs::remove(mountPoint_);
  }

 private:
  fs::path mountPoint_;
  bool mounted_ = false;
};

TEST_F(FullFileSystem, FailedWritesReportFailureAndChangeNothing) {
  struct Case {
    std::string what;
    std::function<void(const testing::TempInstallation&)> spoil;
  };
  const Case cases[] = {
      {"a full file system", [](const testing::TempInstallation& tree) { Fill(tree.Root() / "filler"); }},
      {"write-protected files",
       [](const testing::TempInstallation& tree) {
         for (const char* file : {"update_info.xml", "registry.reg"}) fs::permissions(tree.Root() / file, fs::perms::owner_read);
         fs::permissions(tree.Root() / "game" / "Interface" / "AddOns", fs::perms::owner_read | fs::perms::owner_exec);
       }},
  };
  for (const Case& c : cases) {
    const testing::TempInstallation tree;
    tree.MakeGameFolder();
    tree.WriteCatalog({"Alpha"});
    tree.WriteFile("game/Interface/AddOns/Alpha/RiftAddon.toc", "version 1");
    testing::WriteZip(tree.Root() / "Temp" / "Alpha.zip", {ZipEntrySpec::File("Alpha/RiftAddon.toc", "version 2")});
    testing::HandlerHost host{tree.Install()};
    const std::string catalogue = tree.ReadFile("update_info.xml"), hive = tree.ReadFile("registry.reg");
    const std::set<std::string> before = Listing(tree.Root());
    c.spoil(tree);
    const testing::WithoutFileOverride asAUser;

    EXPECT_EQ(PluginCatalog(tree.Install()).AddPlugin(u"9", u"1.0", u"Beta"), 0) << c.what;
    EXPECT_EQ(PluginCatalog(tree.Install()).SetLocalPluginVer(u"1", u"2.0"), 0) << c.what;
    EXPECT_FALSE(OpenSettingsKey(tree.Install()).SetValue(u"Note", std::u16string(5000, u'n'))) << c.what;
    EXPECT_EQ(UnzipPlugin(host.View(), u"t", u"Alpha"), -2) << c.what;

    EXPECT_EQ(tree.ReadFile("update_info.xml"), catalogue) << c.what;
    EXPECT_EQ(tree.ReadFile("registry.reg"), hive) << c.what;
    EXPECT_EQ(tree.ReadFile("game/Interface/AddOns/Alpha/RiftAddon.toc"), "version 1") << c.what;
    std::set<std::string> after = Listing(tree.Root());
    after.erase("filler");
    after.erase("update_info.xml.lock");
    EXPECT_EQ(after, before) << c.what << ": nothing half written is left";
  }
}

// An update that keeps a snapshot copies the add-on it replaces: the copy counts
// against the room the game and the desktop keep, as the package's files do.
TEST_F(FullFileSystem, AnUpdateCountsTheCopyOfWhatItReplacesAgainstTheFreeSpace) {
  struct Case {
    const char* what;
    bool keepsSnapshots;
    int answer;
    const char* live;
  };
  const Case cases[] = {
      {"keeping a snapshot", true, -2, "version 1"},
      {"keeping none", false, 1, "version 2"},
  };
  for (const Case& c : cases) {
    const testing::TempInstallation tree;
    // Room for the margin, the add-on and its package, not for a copy of the add-on too.
    const Mount game(tree.Root() / "game", "77m");
    ASSERT_TRUE(game.Mounted());
    tree.MakeGameFolder();
    tree.WriteCatalog({"Alpha"});
    tree.WriteFile("game/Interface/AddOns/Alpha/RiftAddon.toc", "version 1");
    tree.WriteFile("game/Interface/AddOns/Alpha/Media/map.tga", std::string(8 << 20, 'm'));
    if (!c.keepsSnapshots) tree.WriteFile("Backups", "not a folder");
    testing::WriteZip(tree.Root() / "Temp" / "Alpha.zip",
                      {ZipEntrySpec::File("Alpha/RiftAddon.toc", "version 2"), ZipEntrySpec::File("Alpha/big.lua", std::string(1 << 20, 'b'))});
    testing::HandlerHost host{tree.Install()};

    EXPECT_EQ(UnzipPlugin(host.View(), u"t", u"Alpha"), c.answer) << c.what;
    EXPECT_EQ(tree.ReadFile("game/Interface/AddOns/Alpha/RiftAddon.toc"), c.live) << c.what;
    EXPECT_EQ(ListSnapshots(tree.Install()).size(), 0u) << c.what;
  }
}

// On a file system that clones, the live add-on's files are clones of the
// snapshot's: they take no room of their own until written, and a write into one
// leaves the other as it was.
TEST_F(FullFileSystem, OnACloningFileSystemSnapshotsAreClonesThatWritesDoNotReach) {
  const testing::TempInstallation tree;
  // The data folder and the game on it, as in a player's home.
  const CloningMount home(tree.Root());
  if (!home.Mounted()) GTEST_SKIP() << "no btrfs image can be made and mounted here";
  fs::create_directories(tree.Root() / "Temp");
  tree.MakeGameFolder();
  tree.WriteCatalog({"Alpha"});
  const fs::path alpha = tree.Root() / "game" / "Interface" / "AddOns" / "Alpha";
  tree.WriteFile("game/Interface/AddOns/Alpha/RiftAddon.toc", "version 1");
  const std::string map(256 << 10, 'm');
  tree.WriteFile("game/Interface/AddOns/Alpha/map.tga", map);
  testing::WriteZip(tree.Root() / "Temp" / "Alpha.zip", {ZipEntrySpec::File("Alpha/RiftAddon.toc", "version 2")});
  testing::HandlerHost host{tree.Install()};

  ASSERT_EQ(UnzipPlugin(host.View(), u"t", u"Alpha"), 1);
  const std::vector<Snapshot> snapshots = ListSnapshots(tree.Install());
  ASSERT_EQ(snapshots.size(), 1u);
  const fs::path kept = SnapshotContent(tree.Install(), snapshots[0].id);
  EXPECT_TRUE(SharesAllItsStorage(alpha / "map.tga")) << "the kept file was copied, not cloned";
  EXPECT_EQ(*ReadWholeFile(kept / "RiftAddon.toc"), "version 1");

  {
    std::fstream live(alpha / "map.tga", std::ios::in | std::ios::out | std::ios::binary);
    live.seekp(1000);
    live << "written in place";
  }
  EXPECT_EQ(*ReadWholeFile(kept / "map.tga"), map) << "a write into the live add-on reached its snapshot";
  EXPECT_NE(*ReadWholeFile(alpha / "map.tga"), map);
}

// Backups (with the data folder) on one file system, the game's add-ons on another:
// a snapshot is a copy, and the add-on folder goes only once the copy is whole.
TEST_F(FullFileSystem, SnapshotsAcrossFileSystemsAreWholeCopies) {
  const testing::TempInstallation tree;
  const Mount game(tree.Root() / "game", "128m");
  ASSERT_TRUE(game.Mounted());
  tree.MakeGameFolder();
  tree.WriteCatalog({"Alpha"});
  const fs::path alpha = tree.Root() / "game" / "Interface" / "AddOns" / "Alpha";
  tree.WriteFile("game/Interface/AddOns/Alpha/RiftAddon.txt", "version 1");
  tree.WriteFile("game/Interface/AddOns/Alpha/Media/icon.tga", "tga");
  testing::HandlerHost host{tree.Install()};
  const fs::path catalog = tree.Install().CatalogPath();
  const std::optional<CatalogItem> item = CatalogItemOfFolder(catalog, "Alpha");
  ASSERT_TRUE(item);
  const auto original = Files(alpha);
  const auto listed = [&] {
    std::vector<std::string> names;
    for (const Snapshot& snapshot : ListSnapshots(tree.Install()))
      names.push_back(snapshot.folderName + " " + (snapshot.item ? *snapshot.item->version : "-"));
    return names;
  };

  testing::WriteZip(tree.Root() / "Temp" / "Alpha.zip", {ZipEntrySpec::File("Alpha/RiftAddon.toc", "version 2")});
  ASSERT_EQ(UnzipPlugin(host.View(), u"t", u"Alpha"), 1);
  const auto updated = Files(alpha);
  EXPECT_EQ(updated.at("RiftAddon.toc"), "version 2");
  ASSERT_EQ(listed(), std::vector<std::string>{"Alpha 1.0"});
  const std::string ofUpdate = ListSnapshots(tree.Install()).at(0).id;
  EXPECT_EQ(Files(SnapshotContent(tree.Install(), ofUpdate)), original);

  const std::string catalogue = tree.ReadFile("update_info.xml");
  ASSERT_EQ(RemovePlugfolder(host.View(), u"alpha", u"1"), 1);
  EXPECT_FALSE(fs::exists(alpha));
  EXPECT_FALSE(CatalogItemOfFolder(catalog, "Alpha"));
  ASSERT_EQ(listed(), (std::vector<std::string>{"Alpha 1.0", "Alpha 1.0"}));
  const std::string ofRemoval = ListSnapshots(tree.Install()).at(0).id;
  EXPECT_EQ(Files(SnapshotContent(tree.Install(), ofRemoval)), updated);

  ASSERT_EQ(RestoreSnapshot(tree.Install(), "Alpha", ofRemoval).outcome, RestoreOutcome::Restored);
  EXPECT_EQ(Files(alpha), updated);
  EXPECT_EQ(tree.ReadFile("update_info.xml"), catalogue) << "the item re-added";
  const RestoreResult earlier = RestoreSnapshot(tree.Install(), "Alpha", ofUpdate);
  ASSERT_EQ(earlier.outcome, RestoreOutcome::Restored);
  EXPECT_EQ(Files(alpha), original) << "files and manifest name as they were";
  ASSERT_TRUE(earlier.replacedId);
  EXPECT_EQ(Files(SnapshotContent(tree.Install(), *earlier.replacedId)), updated);

  // A copy the data folder's file system has room to begin but not to finish.
  tree.WriteFile("game/Interface/AddOns/Alpha/big.bin", std::string(512 << 10, 'b'));
  testing::WriteZip(tree.Root() / "Temp" / "Alpha.zip", {ZipEntrySpec::File("Alpha/RiftAddon.txt", "version 3")});
  Fill(tree.Root() / "filler");
  fs::resize_file(tree.Root() / "filler", fs::file_size(tree.Root() / "filler") - (64 << 10));
  const auto before = Files(alpha);
  const std::vector<std::string> snapshots = listed();
  struct Case {
    std::string what;
    std::function<void()> change;
    std::map<std::string, std::string> after;
  };
  const Case cases[] = {
      {"a restore, whose replaced add-on cannot be kept",
       [&] { EXPECT_EQ(RestoreSnapshot(tree.Install(), "Alpha", *earlier.replacedId).outcome, RestoreOutcome::Failed); }, before},
      {"an update, which goes on without its snapshot", [&] { EXPECT_EQ(UnzipPlugin(host.View(), u"t", u"Alpha"), 1); },
       [&] {
         auto files = before;
         files["RiftAddon.txt"] = "version 3";
         return files;
       }()},
  };
  for (const Case& c : cases) {
    c.change();
    EXPECT_EQ(Files(alpha), c.after) << c.what;
    EXPECT_EQ(listed(), snapshots) << c.what << ": no half snapshot listed";
    for (const auto& entry : fs::directory_iterator(BackupsFolder(tree.Install())))
      EXPECT_FALSE(entry.path().filename().string().starts_with('.')) << c.what << ": " << entry.path();
  }
}

}  // namespace
}  // namespace wendrake

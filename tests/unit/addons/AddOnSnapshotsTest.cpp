// What an update replaces and a removal takes is kept as a snapshot with its
// catalogue item, and a restore puts both back exactly; the limits drop the
// oldest first; a restore that cannot finish changes nothing.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "addons/AddOnSnapshots.h"
#include "addons/FolderRemoval.h"
#include "addons/PackageInstallation.h"
#include "addons/PluginCatalog.h"
#include "addons/SnapshotRestore.h"
#include "core/Text.h"
#include "platform/AtomicFile.h"
#include "support/HandlerHost.h"
#include "support/TempInstallation.h"
#include "support/WithoutFileOverride.h"
#include "support/ZipBuilder.h"

namespace wendrake {
namespace {

namespace fs = std::filesystem;
using testing::ZipEntrySpec;

// Every entry below `folder` with what tells it apart: kind, mode, content or link target.
std::map<std::string, std::string> Contents(const fs::path& folder) {
  std::map<std::string, std::string> contents;
  std::error_code error;
  for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    struct stat status {};
    ::lstat(it->path().c_str(), &status);
    std::string what = std::to_string(status.st_mode);
    if (it->is_symlink())
      what += " -> " + fs::read_symlink(it->path()).string();
    else if (it->is_regular_file())
      what += " " + *ReadWholeFile(it->path());
    contents[it->path().lexically_relative(folder).string()] = what;
  }
  return contents;
}

// An installation whose add-on Alpha (pid 1719, version 1.0) is switched off and
// holds a read-only file, a subfolder and a link of its own; Beta is catalogued too.
class Scene {
 public:
  Scene() : game(tree.MakeGameFolder()) {
    tree.WriteCatalog({"Beta"});
    tree.WriteFile("game/Interface/AddOns/Alpha/RiftAddon.txt", "## Title: Alpha 1");
    tree.WriteFile("game/Interface/AddOns/Alpha/Media/icon.tga", "tga 1");
    tree.WriteFile("game/Interface/AddOns/Alpha/keep.lua", "kept");
    fs::permissions(AddOns() / "Alpha" / "keep.lua", fs::perms::owner_read);
    fs::create_symlink("Media/icon.tga", AddOns() / "Alpha" / "icon-link");
    Catalogue().AddPlugin(u"1719", u"1.0", u"Alpha");
  }
  fs::path AddOns() const { return game / "Interface" / "AddOns"; }
  PluginCatalog Catalogue() const { return PluginCatalog(tree.Install()); }
  // The add-on folder and the catalogue file, as they stand.
  std::pair<std::map<std::string, std::string>, std::string> State() const {
    return {Contents(AddOns() / "Alpha"), tree.ReadFile("update_info.xml")};
  }
  int Update(int version, std::vector<ZipEntrySpec> extra = {}) {
    std::vector<ZipEntrySpec> entries = {ZipEntrySpec::File("Alpha/RiftAddon.toc", "## Title: Alpha " + std::to_string(version)),
                                         ZipEntrySpec::File("Alpha/Media/icon.tga", "tga " + std::to_string(version)),
                                         ZipEntrySpec::File("Alpha/new.lua", "new")};
    entries.insert(entries.end(), extra.begin(), extra.end());
    testing::WriteZip(tree.Root() / "Temp" / "alpha.zip", entries);
    return UnzipPlugin(host.View(), u"t", u"alpha");
  }
  std::vector<std::string> Listed() const {
    std::vector<std::string> listed;
    for (const Snapshot& snapshot : ListSnapshots(tree.Install()))
      listed.push_back(snapshot.folderName + " " + (snapshot.item ? *snapshot.item->version : "-"));
    return listed;
  }

  testing::TempInstallation tree;
  fs::path game;
  testing::HandlerHost host{tree.Install()};
};

TEST(AddOnSnapshots, UpdatesAndRemovalsAreKeptAndARestorePutsEverythingBack) {
  struct Case {
    std::string what;
    std::function<void(Scene&)> before;  // not kept: what happened earlier
    std::function<void(Scene&)> change;  // what the page does
    std::optional<std::string> keptVersion;  // of the snapshot's item
    bool replacedKept;  // whether the restore has a folder to keep in turn
  };
  const Case cases[] = {
      {"an update, the version then set",
       {},
       [](Scene& s) {
         ASSERT_EQ(s.Update(2), 1);
         ASSERT_EQ(s.Catalogue().SetLocalPluginVer(u"1719", u"2.0"), 1);
       },
       "1.0",
       true},
      {"a removal", {}, [](Scene& s) { ASSERT_EQ(RemovePlugfolder(s.host.View(), u"alpha", u"1719"), 1); }, "1.0", false},
      {"an update of an add-on not catalogued, then catalogued", [](Scene& s) { ASSERT_EQ(s.Catalogue().RemovePlugin(u"1719"), 1); },
       [](Scene& s) {
         ASSERT_EQ(s.Update(2), 1);
         ASSERT_EQ(s.Catalogue().AddPlugin(u"1720", u"2.0", u"Alpha"), 1);
       },
       std::nullopt, true},
  };
  for (const Case& c : cases) {
    Scene scene;
    if (c.before) c.before(scene);
    const auto original = scene.State();
    c.change(scene);
    const auto changed = scene.State();
    const std::vector<Snapshot> kept = ListSnapshots(scene.tree.Install());
    ASSERT_EQ(kept.size(), 1u) << c.what;
    EXPECT_EQ(kept[0].folderName, "Alpha") << c.what;
    EXPECT_EQ(kept[0].item ? kept[0].item->version : std::nullopt, c.keptVersion) << c.what;
    EXPECT_EQ(Contents(SnapshotContent(scene.tree.Install(), kept[0].id)), original.first) << c.what;

    const RestoreResult restored = RestoreSnapshot(scene.tree.Install(), "ALPHA", kept[0].id);
    ASSERT_EQ(restored.outcome, RestoreOutcome::Restored) << c.what;
    EXPECT_EQ(scene.State(), original) << c.what << ": files, manifest name and catalogue as they were";
    ASSERT_EQ(restored.replacedId.has_value(), c.replacedKept) << c.what;
    if (!c.replacedKept) {
      EXPECT_EQ(scene.Listed(), std::vector<std::string>{}) << c.what;
      continue;
    }
    EXPECT_EQ(ListSnapshots(scene.tree.Install()).size(), 1u) << c.what << ": the restored snapshot is the add-on again";
    const RestoreResult undone = RestoreSnapshot(scene.tree.Install(), "Alpha", *restored.replacedId);
    ASSERT_EQ(undone.outcome, RestoreOutcome::Restored) << c.what;
    EXPECT_EQ(scene.State(), changed) << c.what << ": the restore undone";
    ASSERT_TRUE(undone.replacedId) << c.what;
    EXPECT_EQ(Contents(SnapshotContent(scene.tree.Install(), *undone.replacedId)), original.first) << c.what;
  }
}

// A tool that rewrites a file in place (an editor, an add-on saving into its own
// folder) changes that file only, never an earlier version kept of it.
TEST(AddOnSnapshots, AWriteInPlaceIntoTheLiveAddOnLeavesEverySnapshotAsItWas) {
  struct Case {
    std::string what;
    bool restore;  // the snapshot of the update put back before the write
  };
  const Case cases[] = {{"after an update", false}, {"after a restore", true}};
  for (const Case& c : cases) {
    Scene scene;
    const auto original = scene.State();
    ASSERT_EQ(scene.Update(2), 1) << c.what;
    std::string kept = ListSnapshots(scene.tree.Install()).at(0).id;
    auto expected = original.first;
    if (c.restore) {
      expected = Contents(scene.AddOns() / "Alpha");
      const RestoreResult restored = RestoreSnapshot(scene.tree.Install(), "Alpha", kept);
      ASSERT_EQ(restored.outcome, RestoreOutcome::Restored) << c.what;
      kept = *restored.replacedId;
    }
    // Files the update kept from the old state, the read-only one too.
    for (const char* name : {"RiftAddon.txt", "keep.lua"}) {
      const fs::path live = scene.AddOns() / "Alpha" / name;
      fs::permissions(live, fs::perms::owner_write, fs::perm_options::add);
      std::fstream file(live, std::ios::in | std::ios::out | std::ios::binary);
      ASSERT_TRUE(file) << c.what << ": " << name;
      file << "rewritten in place";
    }
    EXPECT_EQ(*ReadWholeFile(scene.AddOns() / "Alpha" / "RiftAddon.txt"), "rewritten in place") << c.what;
    EXPECT_EQ(Contents(SnapshotContent(scene.tree.Install(), kept)), expected) << c.what;
  }
}

// Players' add-ons are kept from their first update on, before any catalogue exists.
TEST(AddOnSnapshots, WithoutACatalogueFileSnapshotsAreKeptWithoutAnItem) {
  struct Case {
    std::string what;
    std::function<int(Scene&)> change;
    bool replacedKept;
  };
  const Case cases[] = {
      {"an update", [](Scene& s) { return s.Update(2); }, true},
      {"a removal", [](Scene& s) { return RemovePlugfolder(s.host.View(), u"Alpha", u"1719"); }, false},
  };
  for (const Case& c : cases) {
    Scene scene;
    fs::remove(scene.tree.Root() / "update_info.xml");
    const auto original = Contents(scene.AddOns() / "Alpha");
    c.change(scene);
    ASSERT_EQ(scene.Listed(), std::vector<std::string>{"Alpha -"}) << c.what;
    const std::string id = ListSnapshots(scene.tree.Install()).at(0).id;
    EXPECT_EQ(Contents(SnapshotContent(scene.tree.Install(), id)), original) << c.what;

    const RestoreResult restored = RestoreSnapshot(scene.tree.Install(), "Alpha", id);
    ASSERT_EQ(restored.outcome, RestoreOutcome::Restored) << c.what;
    EXPECT_EQ(Contents(scene.AddOns() / "Alpha"), original) << c.what;
    EXPECT_EQ(restored.replacedId.has_value(), c.replacedKept) << c.what;
    EXPECT_FALSE(fs::exists(scene.tree.Root() / "update_info.xml")) << c.what << ": no catalogue made";
  }
}

TEST(AddOnSnapshots, APackageThatFailsItsChecksOrARefusedRemovalKeepsNothing) {
  Scene scene;
  const auto original = scene.State();
  ASSERT_EQ(scene.Update(2, {ZipEntrySpec::File("Alpha/secret.lua", "secret").Encrypted("pw")}), -2);
  ASSERT_EQ(scene.Update(2, {ZipEntrySpec::File("Alpha/keep.lua/inner.lua", "x")}), -2);
  for (const std::u16string_view name : {u"", u".", u"..", u"Alpha/Media"}) EXPECT_EQ(RemovePlugfolder(scene.host.View(), name, u"1719"), 0);
  EXPECT_EQ(scene.State(), original);
  EXPECT_EQ(scene.Listed(), std::vector<std::string>{});
  EXPECT_FALSE(fs::exists(BackupsFolder(scene.tree.Install())));
}

TEST(AddOnSnapshots, UpdatesKeepTheLastFiveOfEachAddOn) {
  Scene scene;
  for (int version = 2; version <= 8; ++version) {
    ASSERT_EQ(scene.Update(version), 1);
    ASSERT_EQ(scene.Catalogue().SetLocalPluginVer(u"1719", ToUtf16(std::to_string(version) + ".0")), 1);
  }
  EXPECT_EQ(scene.Listed(), (std::vector<std::string>{"Alpha 7.0", "Alpha 6.0", "Alpha 5.0", "Alpha 4.0", "Alpha 3.0"}));
}

TEST(AddOnSnapshots, EachNewSnapshotDropsTheOldestOverTheLimits) {
  // Folder names count without regard to case; sizes add up over every add-on.
  const std::vector<std::pair<std::string, size_t>> kept = {{"Alpha", 1000}, {"BETA", 1000}, {"beta", 3000}, {"Gamma", 1000}, {"alpha", 1000}};
  struct Case {
    SnapshotLimits limits;
    std::vector<std::string> listed;
  };
  const Case cases[] = {
      {{5, 7000}, {"alpha", "Gamma", "beta", "BETA", "Alpha"}},
      {{1, 7000}, {"alpha", "Gamma", "beta"}},
      {{5, 4000}, {"alpha", "Gamma"}},
      {{5, 999}, {}},
  };
  for (const Case& c : cases) {
    Scene scene;
    const std::string what = std::to_string(c.limits.perAddOn) + " per add-on, " + std::to_string(c.limits.totalBytes) + " bytes";
    for (const auto& [name, bytes] : kept) {
      const fs::path state = scene.tree.WriteFile("state/" + name + "/data", std::string(bytes, 'x')).parent_path();
      const bool fits = bytes <= c.limits.totalBytes;
      EXPECT_EQ(KeepSnapshot(scene.tree.Install(), state, name, std::nullopt, c.limits).has_value(), fits) << what;
      EXPECT_EQ(fs::exists(state), !fits) << what << ": a snapshot not kept leaves its folder";
      fs::remove_all(state);
    }
    std::vector<std::string> listed;
    for (const Snapshot& snapshot : ListSnapshots(scene.tree.Install())) listed.push_back(snapshot.folderName);
    EXPECT_EQ(listed, c.listed) << what;
  }
}

TEST(AddOnSnapshots, ARestoreThatCannotFinishChangesNothing) {
  struct Case {
    std::string what;
    std::string folder;
    std::function<std::string(Scene&, const std::string&)> arrange;  // the id to restore, given the kept one
    RestoreOutcome outcome;
  };
  const Case cases[] = {
      {"an id no snapshot has", "Alpha", [](Scene&, const std::string&) { return std::string("20260101-000000-000000"); },
       RestoreOutcome::NoSuchSnapshot},
      {"an id reaching out of Backups", "Alpha", [](Scene&, const std::string& id) { return id + "/../" + id; }, RestoreOutcome::NoSuchSnapshot},
      {"another add-on's snapshot", "Beta", [](Scene&, const std::string& id) { return id; }, RestoreOutcome::NoSuchSnapshot},
      {"no game folder known", "Alpha",
       [](Scene& s, const std::string& id) {
         s.tree.WriteHive({});
         return id;
       },
       RestoreOutcome::NoAddOnFolder},
      {"its pid now another add-on's", "Alpha",
       [](Scene& s, const std::string& id) {
         s.Catalogue().RemovePlugin(u"1719");
         s.Catalogue().AddPlugin(u"1719", u"9.0", u"Gamma");
         return id;
       },
       RestoreOutcome::Failed},
      {"a catalogue that cannot be written once the folder is swapped", "Alpha",
       [](Scene& s, const std::string& id) {
         s.Catalogue().SetLocalPluginVer(u"1719", u"2.0");
         fs::permissions(s.tree.Root() / "update_info.xml", fs::perms::owner_read);
         return id;
       },
       RestoreOutcome::Failed},
  };
  for (const Case& c : cases) {
    Scene scene;
    ASSERT_EQ(scene.Update(2), 1);
    const std::string kept = ListSnapshots(scene.tree.Install()).front().id;
    const std::string id = c.arrange(scene, kept);
    const auto before = scene.State();
    RestoreResult result;
    {
      const testing::WithoutFileOverride asAUser;
      result = RestoreSnapshot(scene.tree.Install(), c.folder, id);
    }
    EXPECT_EQ(result.outcome, c.outcome) << c.what;
    EXPECT_EQ(scene.State(), before) << c.what;
    EXPECT_EQ(ListSnapshots(scene.tree.Install()).front().id, kept) << c.what;
    EXPECT_EQ(ListSnapshots(scene.tree.Install()).size(), 1u) << c.what;
    std::set<std::string> left;
    for (const auto& entry : fs::directory_iterator(scene.AddOns())) left.insert(entry.path().filename().string());
    EXPECT_EQ(left, (std::set<std::string>{"Alpha"})) << c.what;
  }
}

TEST(AddOnSnapshots, KeepsAnyNameAndCatalogueValueWhole) {
  Scene scene;
  const std::vector<std::string> names = {"\xE6\x8F\x92\xE4\xBB\xB6 #1", "\xB2\xE5\xBC\xFE", "a=b\\c [x]\t;"};
  for (const std::string& name : names) {
    scene.tree.WriteFile("state/" + name + "/RiftAddon.toc", "toc");
    const CatalogItem item{"17", name + "\n\"1.0\"", name};
    const auto id = KeepSnapshot(scene.tree.Install(), scene.tree.Root() / "state" / name, name, item);
    ASSERT_TRUE(id) << name;
    const std::optional<Snapshot> kept = FindSnapshot(scene.tree.Install(), *id);
    ASSERT_TRUE(kept) << name;
    EXPECT_EQ(kept->folderName, name);
    ASSERT_TRUE(kept->item) << name;
    EXPECT_EQ(kept->item->pid, item.pid);
    EXPECT_EQ(kept->item->version, item.version);
    EXPECT_EQ(kept->item->folderName, item.folderName);
    EXPECT_EQ(kept->bytes, 3u);
    EXPECT_FALSE(fs::exists(scene.tree.Root() / "state" / name)) << "moved, not copied";
  }
}

}  // namespace
}  // namespace wendrake

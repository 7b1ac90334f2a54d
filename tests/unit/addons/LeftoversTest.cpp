// What killed installations, saves and imports leave behind goes at the next start,
// and the work of a process still running stays.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>

#include "addons/AddOnSnapshots.h"
#include "addons/Leftovers.h"
#include "addons/StagedInstallation.h"
#include "platform/AtomicFile.h"
#include "support/TempInstallation.h"

namespace wendrake {
namespace {

namespace fs = std::filesystem;

std::set<std::string> Names(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
  return names;
}

pid_t EndedProcess() {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  return child;
}

TEST(Leftovers, KilledInstallationsGoAndAddOnsSetAsideComeBack) {
  testing::TempInstallation tree;
  const fs::path addOns = tree.MakeGameFolder() / "Interface" / "AddOns";
  tree.WriteFile("game/Interface/AddOns/Alpha/RiftAddon.toc", "new");
  // Killed after the exchange: "new" holds the old state, which goes.
  tree.WriteFile("game/Interface/AddOns/.wendrake-install-aaaaaa/new/Alpha/RiftAddon.toc", "old");
  // Killed between setting Beta aside and moving its new state in: Beta comes back.
  tree.WriteFile("game/Interface/AddOns/.wendrake-install-bbbbbb/old/Beta/RiftAddon.toc", "beta");
  tree.WriteFile("game/Interface/AddOns/.wendrake-install-bbbbbb/new/Beta/RiftAddon.toc", "beta 2");
  // Set aside and replaced: the newer state stays.
  tree.WriteFile("game/Interface/AddOns/.wendrake-install-bbbbbb/old/Alpha/RiftAddon.toc", "older");
  fs::create_directories(addOns / ".wendrake-install-cccccc");
  const std::optional<StagedInstallation> running = StagedInstallation::Begin(addOns, Carrying::Linked);
  ASSERT_TRUE(running);
  const std::set<std::string> held = Names(addOns);

  RemoveLeftovers(tree.Install());
  std::set<std::string> expected = {"Alpha", "Beta"};
  for (const std::string& name : held)
    if (name.starts_with(".wendrake-install-") && name != ".wendrake-install-aaaaaa" && name != ".wendrake-install-bbbbbb" &&
        name != ".wendrake-install-cccccc")
      expected.insert(name);
  EXPECT_EQ(Names(addOns), expected) << "a running installation's folder stays";
  EXPECT_EQ(tree.ReadFile("game/Interface/AddOns/Alpha/RiftAddon.toc"), "new");
  EXPECT_EQ(tree.ReadFile("game/Interface/AddOns/Beta/RiftAddon.toc"), "beta");
}

// A kill between an update's swap and the snapshot of what it replaced: the next
// start keeps the old state as that snapshot, so no update loses the add-on it replaced.
TEST(Leftovers, AnUpdateKilledAfterItsSwapKeepsWhatItReplaced) {
  struct Case {
    const char* name;
    Carrying carrying;  // own storage when the installation keeps snapshots
    bool swapped;  // the kill came after the swap
    const char* live;
    std::vector<std::string> snapshots;  // contents, newest first
  };
  const Case cases[] = {
      {"killed before the swap", Carrying::OwnStorage, false, "old", {}},
      {"killed after the swap", Carrying::OwnStorage, true, "new", {"old"}},
      {"killed after the swap, keeping no snapshots", Carrying::Linked, true, "new", {}},
  };
  for (const Case& c : cases) {
    testing::TempInstallation tree;
    const fs::path addOns = tree.MakeGameFolder() / "Interface" / "AddOns";
    tree.WriteCatalog({"Alpha"});
    tree.WriteFile("game/Interface/AddOns/Alpha/RiftAddon.toc", "old");
    tree.WriteFile("update/Alpha/RiftAddon.toc", "new");
    const pid_t child = ::fork();
    if (child == 0) {
      // Ends as a kill would: without removing its staging folder.
      std::optional<StagedInstallation> staged = StagedInstallation::Begin(addOns, c.carrying);
      const bool done = staged && staged->StageFolder(tree.Root() / "update" / "Alpha", "Alpha") && (!c.swapped || staged->Commit());
      ::_exit(done ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << c.name;

    RemoveLeftovers(tree.Install());
    EXPECT_EQ(tree.ReadFile("game/Interface/AddOns/Alpha/RiftAddon.toc"), c.live) << c.name;
    std::vector<std::string> kept;
    for (const Snapshot& snapshot : ListSnapshots(tree.Install())) {
      kept.push_back(*ReadWholeFile(SnapshotContent(tree.Install(), snapshot.id) / "RiftAddon.toc"));
      EXPECT_EQ(snapshot.folderName, "Alpha") << c.name;
      EXPECT_TRUE(snapshot.item && snapshot.item->pid == "1") << c.name << ": the snapshot lacks its catalogue item";
    }
    EXPECT_EQ(kept, c.snapshots) << c.name;
    EXPECT_EQ(Names(addOns), std::set<std::string>{"Alpha"}) << c.name;
  }
}

// A kill once a snapshot's content is all in, before it took its id: the next
// start gives it one; a half-copied one goes, as does one whose content never came.
TEST(Leftovers, SnapshotsLeftWholeAreFinishedHalfOnesGo) {
  testing::TempInstallation tree;
  tree.MakeGameFolder();
  const std::string about = "[Snapshot]\nFolder=Alpha\nTaken=1765400000000000\nBytes=3\n";
  tree.WriteFile("Backups/.incoming-whole/snapshot.ini", about);
  tree.WriteFile("Backups/.incoming-whole/folder/RiftAddon.toc", "old");
  tree.WriteFile("Backups/.incoming-copying/snapshot.ini", about);
  tree.WriteFile("Backups/.incoming-copying/folder.copying/RiftAddon.toc", "ol");
  tree.WriteFile("Backups/.incoming-empty/snapshot.ini", about);
  tree.WriteFile("Backups/.discard-20251210-000000-000000/folder/RiftAddon.toc", "gone");

  RemoveLeftovers(tree.Install());
  const std::vector<Snapshot> snapshots = ListSnapshots(tree.Install());
  ASSERT_EQ(snapshots.size(), 1u);
  EXPECT_EQ(snapshots[0].folderName, "Alpha");
  EXPECT_EQ(*ReadWholeFile(SnapshotContent(tree.Install(), snapshots[0].id) / "RiftAddon.toc"), "old");
  EXPECT_EQ(Names(BackupsFolder(tree.Install())), (std::set<std::string>{snapshots[0].id, "snapshots.lock"}));
}

TEST(Leftovers, HalfWrittenSavesAndCopiesGoWhatOthersUseStays) {
  testing::TempInstallation tree;
  tree.MakeGameFolder();
  tree.WriteFile("update_info.xml", testing::kEmptyCatalog);
  const std::string running = std::to_string(::getpid());
  const std::string ended = std::to_string(EndedProcess());
  const std::set<std::string> stale = {".update_info.xml.a1B2c3", ".registry.reg.Zz9Yy8", "Temp/.p.zip.part-" + ended};
  const std::set<std::string> kept = {".update_info.xml.toolong",    ".other.xml.a1B2c3",   "notes.update_info.xml.a1B2c3",
                                      "Temp/.p.zip.part-" + running, "Temp/.p.zip.part-x1", "Temp/p.zip"};
  for (const std::string& name : stale) tree.WriteFile(name, "half");
  for (const std::string& name : kept) tree.WriteFile(name, "whole");

  RemoveLeftovers(tree.Install());
  for (const std::string& name : stale) EXPECT_FALSE(fs::exists(tree.Root() / name)) << name;
  for (const std::string& name : kept) EXPECT_TRUE(fs::exists(tree.Root() / name)) << name;
  EXPECT_EQ(tree.ReadFile("update_info.xml"), testing::kEmptyCatalog);
}

}  // namespace
}  // namespace wendrake

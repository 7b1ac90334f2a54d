// What killed installations, saves and imports leave behind goes at the next start,
// and the work of a process still running stays.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>

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

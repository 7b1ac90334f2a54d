#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "platform/AtomicFile.h"
#include "platform/CaseInsensitivePath.h"
#include "support/TempInstallation.h"
#include "support/WithoutFileOverride.h"

namespace wendrake {
namespace {

namespace fs = std::filesystem;

TEST(ResolveWithoutCase, FindsFoldersAsWineDoes) {
  testing::TempInstallation tree;
  fs::create_directories(tree.Root() / "game/interface/addons/Alpha");
  fs::create_directories(tree.Root() / "game/interface/addons/beta");
  fs::create_directories(tree.Root() / "game/interface/addons/BETA");
  const fs::path game = tree.Root() / "game";
  const std::pair<fs::path, fs::path> cases[] = {
      {"Interface/AddOns/Alpha", "interface/addons/Alpha"},
      {"INTERFACE/ADDONS/ALPHA", "interface/addons/Alpha"},
      {"Interface/AddOns/BETA", "interface/addons/BETA"},  // the exact name wins
      {"Interface/AddOns/Beta", "interface/addons/BETA"},  // else the smallest match
      {"Interface/AddOns/Missing/Deeper", "interface/addons/Missing/Deeper"},
      {"Nowhere/Interface", "Nowhere/Interface"},
  };
  for (const auto& [asked, found] : cases) EXPECT_EQ(ResolveWithoutCase(game, asked), game / found) << asked;
}

TEST(ReplaceFileContent, ReplacesWholeAndKeepsPermissions) {
  testing::TempInstallation tree;
  const fs::path file = tree.WriteFile("data.txt", "old content that is longer");
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  ASSERT_TRUE(ReplaceFileContent(file, "new"));
  EXPECT_EQ(ReadWholeFile(file), "new");
  EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_TRUE(ReplaceFileContent(tree.Root() / "fresh.txt", "made")) << "a missing file is created";
  EXPECT_EQ(ReadWholeFile(tree.Root() / "fresh.txt"), "made");
  EXPECT_EQ(ReadWholeFile(tree.Root() / "absent.txt"), std::nullopt);
}

TEST(ReplaceFileContent, WritesThroughALinkToItsTarget) {
  testing::TempInstallation tree;
  const fs::path target = tree.WriteFile("real.txt", "old");
  fs::create_symlink(target, tree.Root() / "link.txt");
  ASSERT_TRUE(ReplaceFileContent(tree.Root() / "link.txt", "new"));
  EXPECT_TRUE(fs::is_symlink(tree.Root() / "link.txt"));
  EXPECT_EQ(ReadWholeFile(target), "new");
}

TEST(ReplaceFileContent, RefusesProtectedFilesAndFoldersLeavingThemAsTheyWere) {
  testing::TempInstallation tree;
  const fs::path file = tree.WriteFile("protected/data.txt", "keep");
  fs::permissions(file, fs::perms::owner_read);
  const fs::path inFolder = tree.WriteFile("locked/data.txt", "keep");
  fs::permissions(tree.Root() / "locked", fs::perms::owner_read | fs::perms::owner_exec);
  testing::WithoutFileOverride asUser;
  EXPECT_FALSE(ReplaceFileContent(file, "changed"));
  EXPECT_FALSE(ReplaceFileContent(inFolder, "changed"));
  EXPECT_EQ(ReadWholeFile(file), "keep");
  EXPECT_EQ(ReadWholeFile(inFolder), "keep");
  EXPECT_EQ(fs::directory_iterator(tree.Root() / "protected")->path().filename(), "data.txt") << "no temporary file left";
}

}  // namespace
}  // namespace wendrake

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "addons/AddOnFolder.h"
#include "support/TempInstallation.h"

namespace wendrake {
namespace {

namespace fs = std::filesystem;

TEST(AddOnFolder, NothingWithoutAReadablePluginPath) {
  testing::TempInstallation tree;
  EXPECT_EQ(AddOnFolder(tree.Install(), u"Alpha"), std::nullopt);  // no hive
  tree.WriteHive({{"Home", tree.Root().string()}});
  EXPECT_EQ(AddOnFolder(tree.Install(), u"Alpha"), std::nullopt);
  tree.WriteHive({{"PluginPath", ""}});
  EXPECT_EQ(AddOnFolder(tree.Install(), u"Alpha"), std::nullopt);
}

TEST(AddOnFolder, JoinsPluginPathWhateverItEndsWith) {
  testing::TempInstallation tree;
  const fs::path game = tree.Root() / "game";
  for (const std::string& stored : {game.string() + "/", game.string() + "\\", game.string(), game.string() + "\\\\"}) {
    tree.WriteHive({{"PluginPath", stored}});
    const auto folder = AddOnFolder(tree.Install(), u"Alpha");
    ASSERT_TRUE(folder) << stored;
    EXPECT_EQ(folder->lexically_normal(), game / "Interface" / "AddOns" / "Alpha") << stored;
  }
}

TEST(AddOnFolder, ResolvesBelowTheGameFolderWithoutRegardToCase) {
  testing::TempInstallation tree;
  const fs::path game = tree.MakeGameFolder();
  fs::create_directories(game / "interface" / "addons" / "alpha");
  EXPECT_EQ(AddOnFolder(tree.Install(), u"Alpha"), game / "interface" / "addons" / "alpha");
  // A missing add-on keeps the spelling asked for below what exists.
  EXPECT_EQ(AddOnFolder(tree.Install(), u"Beta"), game / "interface" / "addons" / "Beta");
  // Backslashes in a folder name are separators, as on the game's side.
  fs::create_directories(game / "interface" / "addons" / "alpha" / "media");
  EXPECT_EQ(AddOnFolder(tree.Install(), u"ALPHA\\Media"), game / "interface" / "addons" / "alpha" / "media");
}

}  // namespace
}  // namespace wendrake

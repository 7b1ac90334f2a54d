#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "addons/FolderRemoval.h"
#include "addons/PluginCatalog.h"
#include "platform/AtomicFile.h"
#include "support/HandlerHost.h"
#include "support/TempInstallation.h"
#include "support/WithoutFileOverride.h"

namespace wendrake {
namespace {

namespace fs = std::filesystem;
using fs::perms;

class FolderRemovalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    game = tree.MakeGameFolder();
    tree.WriteFile("outside/victim.txt", "untouched");
    fs::permissions(Outside(), perms::owner_read | perms::owner_exec);
  }
  fs::path Outside() const { return tree.Root() / "outside"; }
  fs::path AddOns() const { return game / "Interface" / "AddOns"; }
  // The outside folder as it was made: content and its read-only permissions.
  void ExpectOutsideUntouched(const std::string& what) const {
    EXPECT_EQ(ReadWholeFile(Outside() / "victim.txt"), "untouched") << what;
    EXPECT_EQ(fs::status(Outside()).permissions(), perms::owner_read | perms::owner_exec) << what;
  }

  testing::TempInstallation tree;
  fs::path game;
};

TEST_F(FolderRemovalTest, DeletesReadOnlyFilesAndNestedFoldersAsAUser) {
  const fs::path top = AddOns() / "Alpha";
  tree.WriteFile("game/Interface/AddOns/Alpha/RiftAddon.toc", "toc");
  tree.WriteFile("game/Interface/AddOns/Alpha/.hidden", "h");
  tree.WriteFile("game/Interface/AddOns/Alpha/Media/Deep/icon.tga", "tga");
  tree.WriteFile("game/Interface/AddOns/Alpha/Locked/inside.lua", "lua");
  fs::create_directories(top / "Closed" / "Sub");
  fs::permissions(top / "RiftAddon.toc", perms::owner_read);
  fs::permissions(top / "Media" / "Deep" / "icon.tga", perms::none);
  fs::permissions(top / "Media" / "Deep", perms::owner_read | perms::owner_exec);
  fs::permissions(top / "Locked", perms::owner_read | perms::owner_exec);
  fs::permissions(top / "Closed", perms::none);
  fs::permissions(top, perms::owner_read | perms::owner_exec);
  {
    const testing::WithoutFileOverride asAUser;
    DeleteFolderTree(top);
  }
  EXPECT_FALSE(fs::exists(fs::symlink_status(top)));
  EXPECT_TRUE(fs::is_directory(AddOns()));
}

TEST_F(FolderRemovalTest, RemovesLinksNeverWhatTheyPointTo) {
  const fs::path top = AddOns() / "Alpha";
  fs::create_directories(top / "Sub");
  fs::create_directory_symlink(Outside(), top / "folder-link");
  fs::create_directory_symlink(Outside(), top / "Sub" / "nested-link");
  fs::create_symlink(Outside() / "victim.txt", top / "file-link");
  fs::create_symlink(tree.Root() / "nowhere", top / "dangling");
  DeleteFolderTree(top);
  EXPECT_FALSE(fs::exists(fs::symlink_status(top)));
  ExpectOutsideUntouched("links inside");

  fs::create_directory_symlink(Outside(), AddOns() / "Beta");
  DeleteFolderTree(AddOns() / "Beta");
  EXPECT_FALSE(fs::exists(fs::symlink_status(AddOns() / "Beta")));
  ExpectOutsideUntouched("a link at the top");
}

TEST_F(FolderRemovalTest, LeavesWhatIsNoFolder) {
  tree.WriteFile("game/Interface/AddOns/file", "f");
  for (const fs::path& path : {AddOns() / "file", AddOns() / "missing", fs::path()}) DeleteFolderTree(path);
  EXPECT_EQ(ReadWholeFile(AddOns() / "file"), "f");
}

TEST_F(FolderRemovalTest, DeletesOnlyStrictlyBelowItsBase) {
  tree.WriteFile("game/Interface/AddOns/Alpha/RiftAddon.toc", "toc");
  fs::create_directory_symlink(Outside(), AddOns() / "Link");
  const fs::path refused[] = {"", ".", "Alpha/..", "..", "../AddOns", "/", AddOns(), "Link/victim.txt"};
  for (const fs::path& relative : refused) {
    EXPECT_FALSE(DeleteFolderTreeBelow(AddOns(), relative)) << relative;
    EXPECT_TRUE(fs::exists(AddOns() / "Alpha" / "RiftAddon.toc")) << relative;
    ExpectOutsideUntouched(relative.string());
  }
  EXPECT_TRUE(DeleteFolderTreeBelow(AddOns(), "ALPHA"));
  EXPECT_FALSE(fs::exists(AddOns() / "Alpha"));
}

class RemovePlugfolderTest : public FolderRemovalTest {
 protected:
  void SetUp() override {
    FolderRemovalTest::SetUp();
    tree.WriteFile("update_info.xml", testing::kEmptyCatalog);
    ASSERT_EQ(Catalog().AddPlugin(u"1719", u"1.0", u"Alpha"), 1);
    tree.WriteFile("game/Interface/AddOns/Alpha/RiftAddon.toc", "toc");
  }
  PluginCatalog Catalog() const { return PluginCatalog(tree.Install()); }
  int Remove(std::u16string_view folder, std::u16string_view pid) { return RemovePlugfolder(host.View(), folder, pid); }

  testing::HandlerHost host{tree.Install()};
};

TEST_F(RemovePlugfolderTest, DeletesTheFolderAndDropsTheItemEachOnItsOwn) {
  struct Case {
    std::string what;
    std::u16string folder, pid;
    int result;
    bool folderStays, itemStays;
  };
  const Case cases[] = {
      {"listed pid", u"Alpha", u"1719", 1, false, false},
      {"listed pid, folder already gone", u"Gone", u"1719", 1, true, false},
      {"pid not listed", u"Alpha", u"9999", 0, false, true},
      {"folder matched without regard to case", u"alpha", u"9999", 0, false, true},
  };
  for (const Case& c : cases) {
    tree.WriteFile("game/Interface/AddOns/Alpha/RiftAddon.toc", "toc");
    if (!Catalog().IsExistPlugin(u"1719")) Catalog().AddPlugin(u"1719", u"1.0", u"Alpha");
    EXPECT_EQ(Remove(c.folder, c.pid), c.result) << c.what;
    EXPECT_EQ(fs::exists(AddOns() / "Alpha"), c.folderStays) << c.what;
    EXPECT_EQ(Catalog().IsExistPlugin(u"1719"), c.itemStays ? 1 : 0) << c.what;
  }
  EXPECT_TRUE(fs::is_directory(AddOns()));
  EXPECT_TRUE(host.Events().empty());
}

TEST_F(RemovePlugfolderTest, RefusesNamesThatAreNoSingleFolder) {
  fs::create_directory_symlink(Outside(), AddOns() / "Link");
  const std::string catalog = tree.ReadFile("update_info.xml");
  const std::u16string refused[] = {u"",
                                    u".",
                                    u"..",
                                    u"../AddOns",
                                    u"..\\AddOns",
                                    u"Alpha/Media",
                                    u"Alpha\\..",
                                    u"/",
                                    u"\\",
                                    u"Link/victim.txt",
                                    std::u16string(u"\0", 1),
                                    std::u16string(u"Alpha\0x", 7)};
  for (const std::u16string& name : refused) {
    EXPECT_EQ(Remove(name, u"1719"), 0) << ToUtf8(name);
    EXPECT_EQ(tree.ReadFile("update_info.xml"), catalog) << ToUtf8(name);
    EXPECT_TRUE(fs::exists(AddOns() / "Alpha" / "RiftAddon.toc")) << ToUtf8(name);
    ExpectOutsideUntouched(ToUtf8(name));
  }
}

TEST_F(RemovePlugfolderTest, WithoutAGameFolderOnlyTheItemGoes) {
  tree.WriteHive({{"Home", tree.Root().string()}});
  EXPECT_EQ(Remove(u"Alpha", u"1719"), 1);
  EXPECT_TRUE(fs::exists(AddOns() / "Alpha" / "RiftAddon.toc"));
  EXPECT_EQ(Catalog().IsExistPlugin(u"1719"), 0);
}

}  // namespace
}  // namespace wendrake

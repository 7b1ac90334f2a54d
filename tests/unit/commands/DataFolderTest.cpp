// The user's data folder of a system-wide installation: made from the shipped
// defaults on the first start, never overwritten after.
#include "commands/DataFolder.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "commands/SettingsStore.h"
#include "core/Text.h"
#include "support/TempInstallation.h"

namespace wendrake {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kDefaultHive =
    "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wendrake]\r\n\"Skin\"=\"1\"\r\n";

class DataFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    tree.WriteFile("program/defaults/registry.reg", kDefaultHive);
    tree.WriteFile("program/defaults/update_info.xml", testing::kEmptyCatalog);
    tree.WriteFile("program/defaults/update.xml", "<Wendrake><plugin><item pid=\"1\" ver=\"2\" PlugName=\"A\" /></plugin></Wendrake>");
  }
  std::optional<std::u16string> Setting(std::u16string_view name) const { return OpenSettingsKey(apart).QueryValue(name); }

  testing::TempInstallation tree;
  const Installation apart{tree.Root() / "program", tree.Root() / "home/.local/share/wendrake"};
};

TEST_F(DataFolder, TheFirstStartMakesItFromTheDefaultsWithHomeThere) {
  ASSERT_TRUE(PrepareDataFolder(apart));
  EXPECT_EQ(apart.HivePath(), apart.DataFolder() / "registry.reg");
  EXPECT_EQ(apart.CatalogPath(), apart.DataFolder() / "update_info.xml");
  EXPECT_EQ(apart.ReferenceCatalogPath(), apart.DataFolder() / "update.xml");
  EXPECT_TRUE(fs::is_directory(apart.TempFolder()));
  EXPECT_EQ(Setting(u"Home"), ToUtf16(apart.DataFolder().string()));
  EXPECT_EQ(Setting(u"Skin"), u"1");
  EXPECT_EQ(tree.ReadFile(apart.CatalogPath()), testing::kEmptyCatalog);
  EXPECT_EQ(tree.ReadFile(apart.ReferenceCatalogPath()), tree.ReadFile("program/defaults/update.xml"));
  EXPECT_EQ(fs::status(apart.DataFolder()).permissions() & fs::perms::all, fs::perms::owner_all);
  // The program's own tree is left as it was.
  EXPECT_FALSE(fs::exists(tree.Root() / "program/registry.reg"));
  EXPECT_FALSE(fs::exists(tree.Root() / "program/Temp"));
}

TEST_F(DataFolder, LaterStartsKeepWhatThePlayerHasAndAddWhatIsMissing) {
  ASSERT_TRUE(PrepareDataFolder(apart));
  ASSERT_TRUE(OpenSettingsKey(apart).SetValue(u"Skin", u"3"));
  tree.WriteFile(apart.CatalogPath(), "<Wendrake><plugin><item pid=\"7\" ver=\"1\" PlugName=\"Mine\" /></plugin></Wendrake>");
  fs::remove(apart.ReferenceCatalogPath());
  const std::string catalogue = tree.ReadFile(apart.CatalogPath());
  ASSERT_TRUE(PrepareDataFolder(apart));
  EXPECT_EQ(Setting(u"Skin"), u"3");
  EXPECT_EQ(tree.ReadFile(apart.CatalogPath()), catalogue);
  EXPECT_TRUE(fs::exists(apart.ReferenceCatalogPath()));
  // No temporary file is left beside them.
  for (const auto& entry : fs::directory_iterator(apart.DataFolder()))
    EXPECT_EQ(entry.path().filename().string().find(".new-"), std::string::npos) << entry.path();
}

TEST_F(DataFolder, NothingIsMadeWithoutADefaultOrForATreeThatKeepsItsData) {
  fs::remove(tree.Root() / "program/defaults/update.xml");
  ASSERT_TRUE(PrepareDataFolder(apart));
  EXPECT_FALSE(fs::exists(apart.ReferenceCatalogPath()));

  const Installation portable(tree.Root() / "program");
  EXPECT_FALSE(portable.KeepsDataApart());
  ASSERT_TRUE(PrepareDataFolder(portable));
  EXPECT_FALSE(fs::exists(portable.HivePath()));
  EXPECT_EQ(portable.HivePath(), tree.Root() / "program/registry.reg");
}

TEST_F(DataFolder, AFolderThatCannotBeMadeIsReported) {
  tree.WriteFile("home/.local/share/wendrake", "a file in its place");
  EXPECT_FALSE(PrepareDataFolder(apart));
}

}  // namespace
}  // namespace wendrake

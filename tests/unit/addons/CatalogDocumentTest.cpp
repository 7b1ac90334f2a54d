#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "addons/CatalogDocument.h"

namespace wendrake {
namespace {

using namespace std::string_literals;

CatalogDocument MustParse(const std::string& bytes) {
  auto document = CatalogDocument::Parse(bytes);
  if (!document) throw std::runtime_error("fixture does not parse");
  return std::move(*document);
}

const std::string kThreeItems =
    "<Wendrake><plugin>"
    "<item pid=\"1\" ver=\"1.0\" PlugName=\"Alpha\"/>"
    "<item pid=\"2\" PlugName=\"Beta\"/>"
    "<item pid=\"3\" ver=\"3.0\" PlugName=\"Gamma\"/>"
    "</plugin></Wendrake>";

TEST(CatalogDocumentQueries, ReadItemsByIndex) {
  const CatalogDocument document = MustParse(kThreeItems);
  EXPECT_EQ(document.ItemCount(), 3);
  EXPECT_EQ(document.ItemPid(1), "1");
  EXPECT_EQ(document.ItemFolderName(2), "Beta");
  EXPECT_EQ(document.ItemVersion(2), std::nullopt);
  EXPECT_EQ(document.ItemVersion(3), "3.0");
  EXPECT_EQ(document.ItemPid(0), std::nullopt);
  EXPECT_EQ(document.ItemPid(4), std::nullopt);
}

TEST(CatalogDocumentQueries, CountsOnlyItemsOfPluginUnderTheRoot) {
  EXPECT_EQ(MustParse("<Wendrake><plugin/></Wendrake>").ItemCount(), 0);
  EXPECT_EQ(MustParse("<Other><plugin><item pid=\"1\"/></plugin></Other>").ItemCount(), 0);
  EXPECT_EQ(MustParse("<Wendrake><item pid=\"1\"/><plugin><x><item pid=\"2\"/></x></plugin></Wendrake>").ItemCount(), 0);
}

TEST(CatalogDocumentQueries, PidIsAValueNeverQueryText) {
  const CatalogDocument document = MustParse("<Wendrake><plugin><item pid=\"1\" ver=\"1\"/><item pid=\"a'b\" ver=\"2\"/></plugin></Wendrake>");
  EXPECT_TRUE(document.HasPid("1"));
  EXPECT_TRUE(document.HasPid("a'b"));
  EXPECT_EQ(document.VersionOf("a'b"), "2");
  for (const std::string& pid : {"1' or '1'='1"s, "' or true() or '"s, "\"]|//item[@pid=\""s, "1\0"s, ""s}) {
    EXPECT_FALSE(document.HasPid(pid)) << pid;
    EXPECT_EQ(document.VersionOf(pid), std::nullopt) << pid;
  }
}

TEST(CatalogDocumentQueries, VersionOfPidIsTheFirstVersionInDocumentOrder) {
  const CatalogDocument document =
      MustParse("<Wendrake><plugin><item pid=\"7\"/><item pid=\"7\" ver=\"b\"/><item pid=\"7\" ver=\"c\"/></plugin></Wendrake>");
  EXPECT_EQ(document.VersionOf("7"), "b");
}

TEST(CatalogDocumentChanges, RemoveItemTakesTheFirstOfThatPidFromTheFirstContainer) {
  CatalogDocument document = MustParse(
      "<Wendrake><plugin><item pid=\"5\" ver=\"a\"/><item pid=\"5\" ver=\"b\"/></plugin>"
      "<plugin><item pid=\"6\" ver=\"c\"/></plugin></Wendrake>");
  EXPECT_TRUE(document.RemoveItem("5"));
  EXPECT_EQ(document.VersionOf("5"), "b");
  // Items outside the first container stay where they are.
  EXPECT_FALSE(document.RemoveItem("6"));
  EXPECT_TRUE(document.HasPid("6"));
  EXPECT_FALSE(document.RemoveItem("9"));
}

TEST(CatalogDocumentChanges, AppendItemNeedsAContainer) {
  CatalogDocument without = MustParse("<Wendrake><other/></Wendrake>");
  EXPECT_FALSE(without.AppendItem("1", "1.0", "Alpha"));
  EXPECT_EQ(without.ItemCount(), 0);

  CatalogDocument with = MustParse("<Wendrake><plugin/><plugin/></Wendrake>");
  ASSERT_TRUE(with.AppendItem("1", "1.0", "Alpha"));
  EXPECT_EQ(
      with.Serialize(),
      "<Wendrake>\r\n    <plugin>\r\n        <item pid=\"1\" ver=\"1.0\" PlugName=\"Alpha\" />\r\n    </plugin>\r\n    <plugin />\r\n</Wendrake>\r\n");
}

TEST(CatalogDocumentChanges, ValuesHoldingNulAreRefused) {
  CatalogDocument document = MustParse(kThreeItems);
  EXPECT_FALSE(document.AppendItem("9", "1\0x"s, "Delta"));
  EXPECT_FALSE(document.SetVersionOf("1", "2\0x"s));
  EXPECT_EQ(document.ItemCount(), 3);
  EXPECT_EQ(document.VersionOf("1"), "1.0");
}

TEST(CatalogDocumentChanges, SetVersionOfNeedsAVersionAttribute) {
  CatalogDocument document = MustParse(kThreeItems);
  EXPECT_FALSE(document.SetVersionOf("2", "9"));
  EXPECT_TRUE(document.SetVersionOf("3", "3.1"));
  EXPECT_EQ(document.ItemVersion(3), "3.1");
}

}  // namespace
}  // namespace wendrake

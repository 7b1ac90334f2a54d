#include "core/Text.h"

#include <gtest/gtest.h>

#include "core/Installation.h"

namespace wendrake {
namespace {

TEST(Text, Utf8AndUtf16RoundTrip) {
  const std::u16string texts[] = {u"", u"plain", u"玩家", u"\U0001F600 emoji", u"\u00EC\u00FF\uFFFF"};
  for (const auto& text : texts) EXPECT_EQ(ToUtf16(ToUtf8(text)), text);
}

TEST(Text, BrokenInputBecomesReplacementCharacters) {
  const std::pair<std::string, std::u16string> utf8[] = {
      {"a\xFF"
       "b",
       u"a\uFFFDb"},
      {"\xC3", u"\uFFFD"},  // cut short
      {"\xC0\xAF", u"\uFFFD\uFFFD"},  // overlong
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // an encoded surrogate
  };
  for (const auto& [bytes, text] : utf8) EXPECT_EQ(ToUtf16(bytes), text);
  EXPECT_EQ(ToUtf8(std::u16string(u"a\xD800"
                                  "b")),
            "a\xEF\xBF\xBD"
            "b");
}

TEST(Installation, RelativeTextsJoinTheModuleFolder) {
  const Installation tree("/opt/wendrake/");
  EXPECT_EQ(tree.Root(), "/opt/wendrake");
  EXPECT_EQ(tree.ModuleRelative(u"..\\UI\\pages\\sc\\main.html"), "/opt/wendrake/UI/pages/sc/main.html");
  EXPECT_EQ(tree.CatalogPath(), "/opt/wendrake/update_info.xml");
  EXPECT_EQ(tree.ReferenceCatalogPath(), "/opt/wendrake/update.xml");
  EXPECT_EQ(tree.HivePath(), "/opt/wendrake/registry.reg");
  EXPECT_EQ(NativePath(u"C:\\Game\\Interface\\AddOns\\"), "C:/Game/Interface/AddOns/");
}

}  // namespace
}  // namespace wendrake

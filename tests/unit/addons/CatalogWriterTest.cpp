#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "addons/CatalogDocument.h"

namespace wendrake {
namespace {

struct LayoutCase {
  const char* name;
  std::string input;
  std::string expected;
  // Written files read back to the same content, so a second save changes nothing;
  // not so for mixed content, whose text takes up the new line breaks.
  bool stable = true;
};
void PrintTo(const LayoutCase& c, std::ostream* out) { *out << c.name; }

class CatalogLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(CatalogLayout, WritesTheCatalogueLayout) {
  const auto document = CatalogDocument::Parse(GetParam().input);
  ASSERT_TRUE(document);
  const std::string written = document->Serialize();
  EXPECT_EQ(written, GetParam().expected);
  if (!GetParam().stable) return;
  const auto reread = CatalogDocument::Parse(written);
  ASSERT_TRUE(reread);
  EXPECT_EQ(reread->Serialize(), written);
}

const LayoutCase kLayoutCases[] = {
    {"SeedUnchanged", "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n<Wendrake>\r\n    <plugin />\r\n</Wendrake>\r\n",
     "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n<Wendrake>\r\n    <plugin />\r\n</Wendrake>\r\n"},
    {"ByteOrderMarkKept", "\xEF\xBB\xBF<?xml version=\"1.0\"?><Wendrake/>", "\xEF\xBB\xBF<?xml version=\"1.0\" ?>\r\n<Wendrake />\r\n"},
    {"NoDeclaration", "<Wendrake/>", "<Wendrake />\r\n"},
    {"DeclarationPartsInFixedOrder", "<?xml standalone='yes' encoding=\"UTF-8\" version=\"1.0\"?><Wendrake/>",
     "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\" ?>\r\n<Wendrake />\r\n"},
    {"DeclarationPartsEscaped", "<?xml version='\"' encoding=\"?&gt;&amp;\"?><Wendrake/>",
     "<?xml version='&quot;' encoding=\"?&gt;&amp;\" ?>\r\n<Wendrake />\r\n"},
    {"CommentsKeptAtTheirIndentation", "<?xml version=\"1.0\"?>\n<!-- top -->\n<Wendrake>\n<!--inner-->\n<plugin/></Wendrake>\n<!--after-->",
     "<?xml version=\"1.0\" ?>\r\n<!-- top -->\r\n<Wendrake>\r\n    <!--inner-->\r\n    <plugin />\r\n</Wendrake>\r\n<!--after-->\r\n"},
    {"SingleQuotesWhenValueHoldsDoubleQuote", "<Wendrake><item PlugName='say \"hi\"' ver=\"it's\"/></Wendrake>",
     "<Wendrake>\r\n    <item PlugName='say &quot;hi&quot;' ver=\"it&apos;s\" />\r\n</Wendrake>\r\n"},
    {"EntitiesAndControlCharacters", "<Wendrake a=\"&amp;&lt;&gt;&#x9;&#x1F;\">x &amp; y &lt;&#10;z&#x01;</Wendrake>",
     "<Wendrake a=\"&amp;&lt;&gt;&#x09;&#x1F;\">x &amp; y &lt;&#x0A;z&#x01;</Wendrake>\r\n"},
    {"BytesAboveAsciiTakenAsTheyAre", "<Wendrake a=\"\xC3\xA9\xFF\">\xE4\xB8\xAD</Wendrake>",
     "<Wendrake a=\"\xC3\xA9\xFF\">\xE4\xB8\xAD</Wendrake>\r\n"},
    {"NestedElementsIndentedFourSpacesPerLevel", "<Wendrake><plugin><item pid=\"1\"><sub><leaf/></sub></item></plugin><plugin/></Wendrake>",
     "<Wendrake>\r\n    <plugin>\r\n        <item pid=\"1\">\r\n            <sub>\r\n                <leaf />\r\n"
     "            </sub>\r\n        </item>\r\n    </plugin>\r\n    <plugin />\r\n</Wendrake>\r\n"},
    {"TextOnlyElementOnOneLine", "<Wendrake><name>Alpha</name><data><![CDATA[a<b]]></data></Wendrake>",
     "<Wendrake>\r\n    <name>Alpha</name>\r\n    <data><![CDATA[a<b]]></data>\r\n</Wendrake>\r\n"},
    {"MixedContentTextOnItsOwnLine", "<Wendrake>lead<b/></Wendrake>", "<Wendrake>\r\n    lead\r\n    <b />\r\n</Wendrake>\r\n", false},
    {"AnotherToolsFileReformatted",
     "<?xml version='1.0' encoding='UTF-8'?>\n<Wendrake>\n\t<plugin>\n\t\t<item pid=\"1719\" ver=\"1.2\" PlugName=\"Alpha\"></item>\n"
     "\t\t<item pid=\"1720\"\n ver=\"2.0\" PlugName=\"Beta\"/>\n\t</plugin>\n</Wendrake>\n",
     "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n<Wendrake>\r\n    <plugin>\r\n"
     "        <item pid=\"1719\" ver=\"1.2\" PlugName=\"Alpha\" />\r\n"
     "        <item pid=\"1720\" ver=\"2.0\" PlugName=\"Beta\" />\r\n    </plugin>\r\n</Wendrake>\r\n"},
    {"DoctypeAndProcessingInstructionKept", "<!DOCTYPE Wendrake><?style href=\"a\"?><Wendrake><?empty?></Wendrake>",
     "<!DOCTYPE Wendrake>\r\n<?style href=\"a\"?>\r\n<Wendrake>\r\n    <?empty?>\r\n</Wendrake>\r\n"},
};

INSTANTIATE_TEST_SUITE_P(Cases, CatalogLayout, ::testing::ValuesIn(kLayoutCases), [](const auto& info) { return std::string(info.param.name); });

TEST(CatalogParse, RefusesWhatIsNotACatalogueFile) {
  for (const char* bytes : {"", "\xEF\xBB\xBF", "<?xml version=\"1.0\"?>", "<!-- only -->", "<Wendrake>", "<Wendrake><plugin></Wendrake>",
                            "<Wendrake/><Other/>", "not xml"}) {
    EXPECT_FALSE(CatalogDocument::Parse(bytes)) << bytes;
  }
}

}  // namespace
}  // namespace wendrake

#include "commands/RegistryHive.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "core/Text.h"

namespace wendrake {
namespace {

using namespace std::string_literals;
using Texts = std::vector<std::pair<std::string, std::string>>;

constexpr std::u16string_view kSettings = u"HKEY_LOCAL_MACHINE\\Software\\Wendrake";
const std::string kHead = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wendrake]\r\n";

std::string Utf16LeWithBom(std::u16string_view text) {
  std::string bytes = "\xFF\xFE";
  for (char16_t c : text) bytes += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  return bytes;
}

Texts SettingsTexts(const RegistryHive& hive) {
  Texts texts;
  for (const auto& key : hive.Keys())
    if (key.id == RegistryKeyId(kSettings))
      for (const auto& value : key.values) texts.emplace_back(ToUtf8(value.name), ToUtf8(value.Text()));
  return texts;
}

struct ParseCase {
  std::string name;
  std::string bytes;
  Texts expected;
};

TEST(RegistryHiveParse, ReadsWhatItCanOfEveryFile) {
  const ParseCase cases[] = {
      {"utf8 crlf", kHead + "\"Home\"=\"/opt/w\"\r\n\"Skin\"=\"2\"\r\n", {{"Home", "/opt/w"}, {"Skin", "2"}}},
      {"utf8 bom lf",
       "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Software\\Wendrake]\n\"Home\"=\"家\"\n",
       {{"Home", "家"}}},
      {"utf16le bom",
       Utf16LeWithBom(u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wendrake]\r\n\"Home\"=\"家\U0001F600\"\r\n"),
       {{"Home", "家\U0001F600"}}},
      {"regedit4", "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wendrake]\r\n\"Home\"=\"h\"\r\n", {{"Home", "h"}}},
      {"no header", "[HKEY_LOCAL_MACHINE\\Software\\Wendrake]\n\"Home\"=\"h\"\n", {{"Home", "h"}}},
      {"cr only", "REGEDIT4\r[HKEY_LOCAL_MACHINE\\Software\\Wendrake]\r\"Home\"=\"h\"\r\"Skin\"=\"1\"", {{"Home", "h"}, {"Skin", "1"}}},
      {"binary junk first", "\0\x01\xFFjunk\r\n"s + kHead + "\"Home\"=\"h\"\r\n", {{"Home", "h"}}},
      {"escapes",
       kHead + R"("Home"="C:\\Games\\\"R\"")" + "\r\n" + R"("Path"="a\nb\")" + "\"\r\n",
       {{"Home", R"(C:\Games\"R")"}, {"Path", R"(a\nb")"}}},
      {"spaces around", kHead + "  \"Home\" = \"h\"  \r\n", {{"Home", "h"}}},
      {"typed values read as text",
       kHead + "\"Home\"=hex(2):2f,00,6f,00,\\\r\n  70,00,74,00,00,00\r\n\"Skin\"=dword:00000033\r\n\"Data\"=hex:41,00,42,00\r\n"
               "\"Version\"=hex(1):31,00,00,00,32,00,00,00\r\n\"Odd\"=hex:41,00,42\r\n\"Empty\"=hex(0):\r\n",
       {{"Home", "/opt"}, {"Skin", "3"}, {"Data", "AB"}, {"Version", "1"}, {"Odd", "A"}, {"Empty", ""}}},
      {"default value", kHead + "@=\"d\"\r\n", {{"", "d"}}},
      {"names ignore case, the later wins", kHead + "\"HOME\"=\"a\"\r\n\"home\"=\"b\"\r\n", {{"HOME", "b"}}},
      {"32-bit alias and case merge",
       kHead + "\"Home\"=\"h\"\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\wendrake]\r\n\"Skin\"=\"1\"\r\n\r\n"
               "[hklm\\software\\wendrake]\r\n\"Data\"=\"d\"\r\n",
       {{"Home", "h"}, {"Skin", "1"}, {"Data", "d"}}},
      {"value removal", kHead + "\"Home\"=\"h\"\r\n\"Skin\"=\"1\"\r\n\"Home\"=-\r\n", {{"Skin", "1"}}},
      {"key removal", kHead + "\"Home\"=\"h\"\r\n[-HKEY_LOCAL_MACHINE\\Software]\r\n\"Skin\"=\"1\"\r\n", {}},
      {"malformed lines skipped",
       kHead + "garbage line\r\n\"Home\"=\"h\"\r\n\"Open\"=\"unterminated\r\n\"NoEquals\" \"x\"\r\n\"BadHex\"=hex:4g,00\r\n"
               "\"BadDword\"=dword:1234567890\r\n\"Trailing\"=\"x\" junk\r\n\"Cut\"=hex:41,00,\\\r\n\"Skin\"=\"2\"\r\n"
               "\"Unknown\"=qword:1\r\n\"Version\"=\"1.0\"\r\n\"End\"=hex:41,\\",
       {{"Home", "h"}, {"Skin", "2"}, {"Version", "1.0"}}},
      {"values outside any key dropped", "\"Home\"=\"x\"\r\n[]\r\n\"Data\"=\"y\"\r\n" + kHead + "\"Skin\"=\"1\"\r\n", {{"Skin", "1"}}},
      {"blanks inside the brackets", "[ HKEY_LOCAL_MACHINE\\Software\\Wendrake ]\r\n\"Home\"=\"h\"\r\n", {{"Home", "h"}}},
      {"unclosed section header", "[HKEY_LOCAL_MACHINE\\Software\\Wendrake\r\n\"Home\"=\"h\"\r\n", {{"Home", "h"}}},
      {"empty file", "", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(SettingsTexts(RegistryHive::Parse(c.bytes)), c.expected);
  }
}

TEST(RegistryHiveParse, LongValuesReadWhole) {
  for (size_t length : {99u, 100u, 100000u}) {
    const std::string text(length, 'x');
    EXPECT_EQ(SettingsTexts(RegistryHive::Parse(kHead + "\"Data\"=\"" + text + "\"\r\n")), (Texts{{"Data", text}})) << length;
  }
}

TEST(RegistryHiveKeys, IdentityFollowsRegistryRules) {
  const RegistryHive hive = RegistryHive::Parse(kHead + "\r\n[HKEY_CURRENT_USER\\Other]\r\n");
  struct Case {
    std::u16string_view key;
    bool exists;
  };
  const Case cases[] = {
      {u"HKEY_LOCAL_MACHINE\\Software\\Wendrake", true},
      {u"hkey_local_machine\\SOFTWARE\\WENDRAKE", true},
      {u"HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Wendrake", true},
      {u"HKEY_LOCAL_MACHINE\\Software", true},  // a parent exists through its child
      {u"HKEY_LOCAL_MACHINE", true},
      {u"HKEY_LOCAL_MACHINE\\Software\\Wend", false},
      {u"HKEY_LOCAL_MACHINE\\Software\\Wendrake\\Sub", false},
      {u"HKEY_LOCAL_MACHINE\\Other", false},
      {u"HKEY_CURRENT_USER\\Other", true},
      {u"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(hive.HasKey(c.key), c.exists) << ToUtf8(c.key);
}

TEST(RegistryHiveWrite, ExactFormat) {
  RegistryHive hive;
  hive.SetValue(u"HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Wendrake", RegistryValue::String(u"Home", u"C:\\a \"q\""));
  hive.SetValue(kSettings, RegistryValue::String(u"Data", u"a\r\nb"));
  hive.SetValue(kSettings, RegistryValue::String(u"", u"d"));
  hive.SetValue(kSettings, RegistryValue{u"Skin", kRegDword, {0x33, 0, 0, 0}});
  EXPECT_EQ(hive.Serialize(),
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\Software\\Wendrake]\r\n"
            "\"Home\"=\"C:\\\\a \\\"q\\\"\"\r\n"
            "\"Data\"=hex(1):61,00,0d,00,0a,00,62,00,00,00\r\n"
            "@=\"d\"\r\n"
            "\"Skin\"=dword:00000033\r\n"
            "\r\n");
}

TEST(RegistryHiveWrite, EveryValueSurvivesAWriteAndARead) {
  std::vector<RegistryValue> values;
  const std::u16string texts[] = {
      u"",
      u"C:\\Program Files\\\"Wendrake\"\\",
      u"two\r\nlines",
      u"\n",
      u"\r",
      u"nul\0inside"s,
      u"lone \xD800 high",
      u"lone \xDC00 low",
      u"end \xD83D",
      u"pair \U0001F600 ok",
      u"中文设置",
      std::u16string(100, u'x'),
      std::u16string(100000, u'y'),
  };
  for (const auto& text : texts) values.push_back(RegistryValue::String(u"S" + std::u16string(1, char16_t(u'a' + values.size())), text));
  std::vector<std::uint8_t> bytes(200);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7);
  values.push_back({u"Dword", kRegDword, {1, 2, 3, 4}});
  values.push_back({u"ShortDword", kRegDword, {1, 2}});
  values.push_back({u"Binary", kRegBinary, bytes});
  values.push_back({u"NoBytes", kRegBinary, {}});
  values.push_back({u"Multi", 7, {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}});
  values.push_back({u"Qword", 0xb, {1, 2, 3, 4, 5, 6, 7, 8}});
  values.push_back({u"SzWithoutNul", kRegSz, {'a', 0}});
  values.push_back({u"SzOdd", kRegSz, {'a', 0, 0}});
  values.push_back({u"Name \"with\" \\ quotes", kRegSz, {'v', 0, 0, 0}});

  RegistryHive hive = RegistryHive::Parse("[HKEY_CURRENT_USER\\Keep]\r\n\"Other\"=\"o\"\r\n");
  for (const auto& value : values) hive.SetValue(kSettings, value);
  const RegistryHive reread = RegistryHive::Parse(hive.Serialize());

  ASSERT_EQ(reread.Keys().size(), 2u);
  EXPECT_EQ(reread.FindValue(u"HKEY_CURRENT_USER\\Keep", u"Other")->Text(), u"o");
  for (const auto& value : values) {
    SCOPED_TRACE(ToUtf8(value.name));
    const RegistryValue* back = reread.FindValue(kSettings, value.name);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->type, value.type);
    EXPECT_EQ(back->data, value.data);
  }
}

// Whatever a file held, the hive written from it reads back as the same hive.
TEST(RegistryHiveWrite, WhatWasReadIsWrittenToReadTheSame) {
  const std::string files[] = {
      "[ HKEY_LOCAL_MACHINE\\Software\\Wendrake ]\r\n\"Home\"=\"h\"\r\n",
      "[  -HKEY_CURRENT_USER\\Other\r\n\"Home\"=\"h\"\r\n",
      "[HKEY_CURRENT_USER\\Other]\r\n\"Home\"=\"h\"\r\n[ -HKEY_CURRENT_USER\\Other ]\r\n",
      // UTF-16 key names that differ only in lone surrogates: one name once written.
      std::string("\xFF\xFE[\0A\0\x00\xDC]\0\r\0\n\0\"\0a\0\"\0=\0\"\0x\0\"\0\r\0\n\0"
                  "[\0A\0\x01\xDC]\0\r\0\n\0\"\0b\0\"\0=\0\"\0y\0\"\0\r\0\n\0",
                  62),
  };
  for (const auto& file : files) {
    const std::string written = RegistryHive::Parse(file).Serialize();
    EXPECT_EQ(RegistryHive::Parse(written).Serialize(), written) << file;
  }
}

TEST(RegistryHiveWrite, LongBinaryLinesWrapLikeRegedit) {
  RegistryHive hive;
  hive.SetValue(kSettings, RegistryValue{u"Binary", kRegBinary, std::vector<std::uint8_t>(1000, 0xAB)});
  const std::string text = hive.Serialize();
  for (size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
    EXPECT_LE(end - start, 80u) << text.substr(start, end - start);
}

TEST(RegistryHiveWrite, MergedAliasesBecomeOneSectionAndOtherKeysStay) {
  const std::string file =
      "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Wendrake]\r\n\"Home\"=\"h\"\r\n\r\n"
      "[HKEY_CURRENT_USER\\Software\\Game]\r\n\"Level\"=dword:0000000a\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Wendrake]\r\n\"Skin\"=\"1\"\r\n";
  const std::string written = RegistryHive::Parse(file).Serialize();
  EXPECT_EQ(written,
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Wendrake]\r\n\"Home\"=\"h\"\r\n\"Skin\"=\"1\"\r\n\r\n"
            "[HKEY_CURRENT_USER\\Software\\Game]\r\n\"Level\"=dword:0000000a\r\n\r\n");
}

}  // namespace
}  // namespace wendrake

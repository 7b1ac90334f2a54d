// The settings page methods, called as a page calls them.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "commands/SettingsStore.h"
#include "support/BridgeFixture.h"
#include "support/WithoutFileOverride.h"

namespace wendrake {
namespace {

class SettingsMethods : public testing::BridgeFixture {
 protected:
  std::optional<std::u16string> Stored(std::u16string_view name) const { return OpenSettingsKey(installation.Install()).QueryValue(name); }
  std::u16string Text(std::u16string_view method, const std::vector<PageValue>& arguments = {}) {
    return std::get<std::u16string>(Result(method, arguments));
  }
};

TEST_F(SettingsMethods, UserDataIsStoredEncodedAndReadBackWhole) {
  installation.WriteHive({});
  std::u16string longText(300, u'x');
  longText[150] = u'^';
  struct Case {
    std::u16string data;
    std::optional<std::u16string> stored;  // when the stored form is fixed
  };
  const Case cases[] = {
      {u"user^abc", u"user^ENEOEP"},
      {u"abc", u"ENEOEP"},
      {u"", u""},
      {u"ab^cd^ef", u"ab^EPEQEKERES"},
      {longText, std::nullopt},
      {u"玩家^密码\U0001F600\u00EC\u00FF\uFFFF", std::nullopt},
      {std::u16string(u"lone^\xD800 surrogate"), std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Result(u"SaveUserData", {c.data}), MethodResult(false));
    if (c.stored) {
      EXPECT_EQ(Stored(u"Data"), c.stored);
    }
    EXPECT_EQ(Text(u"ReadRegData"), c.data);
  }
  EXPECT_TRUE(MessageCodes().empty());
}

// The store keeps a value up to its first NUL: such a text is refused as a failed
// save, and what was stored stays.
TEST_F(SettingsMethods, UserDataHoldingANulIsRefused) {
  installation.WriteHive({});
  ASSERT_EQ(Result(u"SaveUserData", {std::u16string(u"kept^abc")}), MethodResult(false));
  for (const std::u16string& data : {std::u16string(u"user^a\0b", 9), std::u16string(u"\0", 1), std::u16string(u"name\0^", 6)}) {
    EXPECT_EQ(Result(u"SaveUserData", {data}), MethodResult(true));
    EXPECT_EQ(Text(u"ReadRegData"), u"kept^abc");
  }
  EXPECT_EQ(MessageCodes(), (std::vector<std::u16string>{u"1010", u"1010", u"1010"}));
}

TEST_F(SettingsMethods, OldStoredUserDataDecodesAsBefore) {
  const std::pair<std::string, std::u16string> cases[] = {
      {"user^ENEOEP", u"user^abc"},
      {"u^ENEOE", u"u^ab"},  // an odd last letter is ignored
      {"^AA", u"^\uFFEC"},  // old pairs below 20 wrap to the top of the range
      {"ENEO", u"ab"},
  };
  for (const auto& [stored, data] : cases) {
    installation.WriteHive({{"Data", stored}});
    EXPECT_EQ(Text(u"ReadRegData"), data) << stored;
  }
}

TEST_F(SettingsMethods, DeletedUserDataReadsEmpty) {
  installation.WriteHive({{"Data", "user^ENEOEP"}});
  EXPECT_EQ(Result(u"DeleteRegData"), MethodResult());
  EXPECT_EQ(Text(u"ReadRegData"), u"");
  EXPECT_EQ(Result(u"DeleteRegData"), MethodResult()) << "deleting nothing reports nothing";
}

TEST_F(SettingsMethods, UnusableHiveBehavesAsAKeyThatCannotBeOpened) {
  struct Case {
    const char* name;
    void (*prepare)(const testing::TempInstallation&);
  };
  const Case cases[] = {
      {"missing", [](const testing::TempInstallation&) {}},
      {"write-protected",
       [](const testing::TempInstallation& t) {
         t.WriteHive({{"Data", "ENEOEP"}, {"Skin", "1"}, {"Version", "1.0"}, {"OsmarGamePath", "C:\\riftpatchchinese.exe"}});
         std::filesystem::permissions(t.Root() / "registry.reg", std::filesystem::perms::owner_read);
       }},
      {"no key",
       [](const testing::TempInstallation& t) {
         t.WriteFile("registry.reg", "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Other]\r\n\"Data\"=\"ENEOEP\"\r\n");
       }},
  };
  for (const auto& c : cases) {
    testing::TempInstallation tree;
    c.prepare(tree);
    HeadlessHost headless;
    const PageHost page(tree.Install(), headless, headless, headless.Services());
    testing::WithoutFileOverride asUser;
    auto call = [&](std::u16string_view method, std::vector<PageValue> arguments = {}) { return ScriptBridge::Call(page, method, arguments).result; };
    EXPECT_EQ(call(u"SaveUserData", {std::u16string(u"abc")}), MethodResult(true)) << c.name;
    EXPECT_EQ(call(u"ReadRegData"), MethodResult(std::u16string())) << c.name;
    EXPECT_EQ(call(u"ChangeSkin", {std::u16string(u"2")}), MethodResult(std::u16string())) << c.name;
    EXPECT_EQ(call(u"GetLocalProgVer"), MethodResult(std::u16string())) << c.name;
    EXPECT_EQ(call(u"IsExistGamePath"), MethodResult(0)) << c.name;
    ASSERT_EQ(headless.Events().size(), 1u) << c.name;
    EXPECT_EQ(std::get<MessageBoxEvent>(headless.Events()[0]).code, u"1010") << c.name;
  }
}

TEST_F(SettingsMethods, ChangeSkinStoresOnlySkinsOneToThree) {
  struct Case {
    std::optional<std::string> before;
    std::u16string skin;
    std::u16string answer;
    std::optional<std::u16string> after;
  };
  const Case cases[] = {
      {"1", u"", u"1", u"1"},          {"1", u"0", u"1", u"1"},   {"1", u"4", u"1", u"1"},   {"1", u"2", u"1", u"2"},
      {std::nullopt, u"2", u"", u"2"}, {"1", u"2x", u"1", u"2x"}, {"1", u" 3", u"1", u" 3"}, {"1", u"+2", u"1", u"+2"},
      {"1", u"-1", u"1", u"1"},        {"1", u"10", u"1", u"1"},  {"1", u"x2", u"1", u"1"},  {"1", u"4294967297", u"1", u"1"},
  };
  for (const auto& c : cases) {
    installation.WriteHive(c.before ? std::vector<std::pair<std::string, std::string>>{{"Skin", *c.before}}
                                    : std::vector<std::pair<std::string, std::string>>{});
    EXPECT_EQ(Text(u"ChangeSkin", {c.skin}), c.answer);
    EXPECT_EQ(Stored(u"Skin"), c.after);
  }
}

TEST_F(SettingsMethods, VersionAndGamePathAreRead) {
  installation.WriteHive({{"Version", "2.4.1"}, {"OsmarGamePath", "C:\\Rift\\riftpatchchinese.exe"}});
  EXPECT_EQ(Text(u"GetLocalProgVer"), u"2.4.1");
  EXPECT_EQ(Result(u"IsExistGamePath"), MethodResult(1));

  installation.WriteHive({{"OsmarGamePath", ""}});
  EXPECT_EQ(Text(u"GetLocalProgVer"), u"");
  EXPECT_EQ(Result(u"IsExistGamePath"), MethodResult(0)) << "an empty path is no location";
}

}  // namespace
}  // namespace wendrake

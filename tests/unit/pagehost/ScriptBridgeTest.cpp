#include "pagehost/ScriptBridge.h"

#include <gtest/gtest.h>

#include "support/BridgeFixture.h"

namespace wendrake {
namespace {

using testing::BridgeFixture;

TEST(ScriptBridgeTable, HoldsTheMethodsInMemberIdOrder) {
  const std::u16string_view expected[] = {u"CloseWindow",
                                          u"Close",
                                          u"EndDialogBox",
                                          u"ExitInstance",
                                          u"Minimize",
                                          u"UserLogin",
                                          u"UserRegister",
                                          u"RunGame",
                                          u"ExecuteGame",
                                          u"SelectGameOK",
                                          u"SelectGamePath",
                                          u"DeliverUserInfo",
                                          u"CheckNetConnect",
                                          u"GetPluginCount",
                                          u"GetExistPlugin",
                                          u"IsExistGamePath",
                                          u"IsExistPlugin",
                                          u"AddPlugin",
                                          u"RemovePlugin",
                                          u"SetLocalPluginVer",
                                          u"ComparePluginVer",
                                          u"UnzipPlugin",
                                          u"ShowMsgBox",
                                          u"GetLocalProgVer",
                                          u"InstallUpdate",
                                          u"ChangeSkin",
                                          u"SaveUserData",
                                          u"ReadRegData",
                                          u"DeleteRegData",
                                          u"LoginToChangePlugName",
                                          u"LogofToChangePlugName",
                                          u"RemovePlugfolder",
                                          u"OpenLinkNewWindow"};
  const auto table = ScriptBridge::Table();
  ASSERT_EQ(table.size(), std::size(expected));
  for (size_t i = 0; i < table.size(); ++i) {
    EXPECT_EQ(table[i].name, expected[i]);
    EXPECT_EQ(ScriptBridge::GetIDOfName(expected[i]), static_cast<std::int32_t>(i + 1));
  }
  EXPECT_EQ(table[0].handler, table[1].handler) << "Close and CloseWindow share one handler";
}

TEST(ScriptBridgeTable, NamesIgnoreCase) {
  const std::pair<std::u16string_view, std::int32_t> cases[] = {
      {u"closewindow", 1},  {u"CLOSE", 2}, {u"getPluginCount", 14}, {u"SHOWMSGBOX", 23}, {u"openlinknewwindow", 33},
      {u"Closewindow ", 0}, {u"", 0},      {u"GetPlugin", 0},       {u"ShowMsgBoxes", 0}};
  for (const auto& [name, id] : cases) EXPECT_EQ(ScriptBridge::GetIDOfName(name), id);
}

class ScriptBridgeCall : public BridgeFixture {};

TEST_F(ScriptBridgeCall, UnknownNameIsRefused) { EXPECT_EQ(Call(u"NoSuchMethod").code, DISP_E_UNKNOWNNAME); }

TEST_F(ScriptBridgeCall, RefusedCallsRunNoHandler) {
  installation.WriteHive({{"Skin", "1"}});
  const std::string hive = installation.ReadFile("registry.reg");
  struct Case {
    std::u16string_view method;
    std::vector<PageValue> arguments;
    HRESULT code;
  };
  const Case cases[] = {
      {u"SelectGamePath", {}, DISP_E_PARAMNOTOPTIONAL},
      {u"GetPluginCount", {std::u16string(u"x")}, DISP_E_BADPARAMCOUNT},
      {u"SaveUserData", {std::u16string(u"a"), std::u16string(u"b")}, DISP_E_BADPARAMCOUNT},
      {u"SaveUserData", {}, DISP_E_PARAMNOTOPTIONAL},
      {u"ChangeSkin", {Null{}}, DISP_E_TYPEMISMATCH},
      {u"ShowMsgBox", {Null{}}, DISP_E_TYPEMISMATCH},
      {u"SelectGamePath", {std::u16string(u"one")}, DISP_E_TYPEMISMATCH},
      {u"SelectGamePath", {1e10}, DISP_E_OVERFLOW},
      {u"SelectGameOK", {std::u16string(u"riftpatchchinese.exe"), std::u16string(u"9999999999")}, DISP_E_OVERFLOW},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Call(c.method, c.arguments).code, c.code) << std::string(c.method.begin(), c.method.end());
  }
  EXPECT_TRUE(host.Events().empty());
  EXPECT_EQ(installation.ReadFile("registry.reg"), hive);
}

TEST_F(ScriptBridgeCall, ArgumentsArriveConvertedToText) {
  installation.WriteFile("update_info.xml", testing::kEmptyCatalog);
  // A number where a text is declared reaches the handler as its decimal text.
  EXPECT_EQ(std::get<std::int32_t>(Result(u"AddPlugin", {std::int32_t{1719}, 1.5, std::u16string(u"Alpha")})), 1);
  EXPECT_EQ(std::get<std::int32_t>(Result(u"IsExistPlugin", {std::u16string(u"1719")})), 1);
  EXPECT_EQ(std::get<std::int32_t>(Result(u"ComparePluginVer", {std::u16string(u"1719"), std::u16string(u"1.5")})), 0);
}

TEST_F(ScriptBridgeCall, ShowMsgBoxOpensTheMessagePageWithTheCode) {
  EXPECT_EQ(Call(u"showmsgbox", {std::u16string(u"1010")}).code, S_OK);
  EXPECT_EQ(MessageCodes(), std::vector<std::u16string>{u"1010"});
}

}  // namespace
}  // namespace wendrake

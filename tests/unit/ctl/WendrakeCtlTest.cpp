// wendrakectl as scripts run it: a real process against a temporary installation.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/ProcessRun.h"
#include "support/TempInstallation.h"

namespace wendrake {
namespace {

class WendrakeCtl : public ::testing::Test {
 protected:
  void SetUp() override {
    installation.WriteFile("update_info.xml", testing::kEmptyCatalog);
    game = installation.MakeGameFolder({{"Version", "0.1.0"}});
  }
  testing::ProcessOutcome Ctl(std::vector<std::string> words) const {
    words.insert(words.begin(), {WENDRAKECTL_PATH, "--root", installation.Root().string()});
    return testing::RunProcess(words);
  }
  // One call that must succeed: its whole line of output.
  std::string Line(std::vector<std::string> words) const {
    const auto outcome = Ctl(std::move(words));
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    return outcome.out;
  }

  testing::TempInstallation installation;
  std::filesystem::path game;
};

TEST_F(WendrakeCtl, AnswersTheSettingsAndCatalogueMethods) {
  std::filesystem::create_directories(game / "Interface" / "AddOns" / "Alpha");
  const std::pair<std::vector<std::string>, std::string> steps[] = {
      {{"call", "GetPluginCount"}, R"({"result": 0, "events": []})"},
      {{"call", "GetExistPlugin"}, R"({"result": ["0"], "events": []})"},
      {{"call", "AddPlugin", "1719", "1.0", "Alpha"}, R"({"result": 1, "events": []})"},
      {{"call", "AddPlugin", "1720", "2.0", "Gone"}, R"({"result": 1, "events": []})"},
      {{"call", "IsExistPlugin", "1719"}, R"({"result": 1, "events": []})"},
      {{"call", "SetLocalPluginVer", "1719", "1.1"}, R"({"result": 1, "events": []})"},
      {{"call", "ComparePluginVer", "1719", "1.2"}, R"({"result": 1, "events": []})"},
      {{"call", "GetExistPlugin"}, R"({"result": ["1719_1.1"], "events": []})"},
      {{"call", "GetPluginCount"}, R"({"result": 1, "events": []})"},
      {{"call", "RemovePlugin", "1719"}, R"({"result": 1, "events": []})"},
      {{"call", "SaveUserData", "user^abc"}, R"({"result": false, "events": []})"},
      {{"call", "ReadRegData"}, R"({"result": "user^abc", "events": []})"},
      {{"call", "DeleteRegData"}, R"({"result": null, "events": []})"},
      {{"call", "ReadRegData"}, R"({"result": "", "events": []})"},
      {{"call", "GetLocalProgVer"}, R"({"result": "0.1.0", "events": []})"},
      {{"call", "ChangeSkin", "2"}, R"({"result": "", "events": []})"},
      {{"call", "ChangeSkin", "7"}, R"({"result": "2", "events": []})"},
      {{"call", "IsExistGamePath"}, R"({"result": 0, "events": []})"},
      {{"call", "ShowMsgBox", "1010"}, R"({"result": null, "events": [{"msgbox": "1010"}]})"},
      {{"call", "savEUSERdata", "--json-args", R"(["玩家^\ud83d\ude00\"\\"])"}, R"({"result": false, "events": []})"},
      {{"call", "ReadRegData"}, "{\"result\": \"玩家^\xF0\x9F\x98\x80\\\"\\\\\", \"events\": []}"},
  };
  for (const auto& [words, line] : steps) EXPECT_EQ(Line(words), line + "\n") << words[1];
}

TEST_F(WendrakeCtl, ReportsAFailedWriteAsTheMessageBoxDoes) {
  std::filesystem::remove(installation.Root() / "registry.reg");
  EXPECT_EQ(Line({"call", "SaveUserData", "abc"}), "{\"result\": true, \"events\": [{\"msgbox\": \"1010\"}]}\n");
}

TEST_F(WendrakeCtl, RefusedCallsExitWithTheAutomationError) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"call", "NoSuchMethod"}, R"({"error": "DISP_E_UNKNOWNNAME", "hresult": -2147352570})"},
      {{"call", "GetPluginCount", "x"}, R"({"error": "DISP_E_BADPARAMCOUNT", "hresult": -2147352562})"},
      {{"call", "SelectGamePath"}, R"({"error": "DISP_E_PARAMNOTOPTIONAL", "hresult": -2147352561})"},
      {{"call", "ChangeSkin", "--json-args", "[null]"}, R"({"error": "DISP_E_TYPEMISMATCH", "hresult": -2147352571})"},
      {{"call", "SelectGamePath", "--json-args", "[4294967296]"}, R"({"error": "DISP_E_OVERFLOW", "hresult": -2147352566})"},
  };
  for (const auto& [words, line] : cases) {
    const auto outcome = Ctl(words);
    EXPECT_EQ(outcome.status, 3) << words[1];
    EXPECT_EQ(outcome.out, line + "\n") << words[1];
  }
}

TEST_F(WendrakeCtl, UsageErrorsExitWithTwo) {
  const std::vector<std::string> cases[] = {
      {},
      {"call"},
      {"--bogus", "call", "GetPluginCount"},
      {"call", "GetPluginCount", "--json-args"},
      {"call", "GetPluginCount", "--json-args", "{\"a\": 1}"},
      {"call", "GetPluginCount", "--json-args", "[1,"},
      {"call", "GetPluginCount", "--json-args", "[]", "extra"},
      // Nested deeper than any page could mean: refused, not a crash.
      {"call", "ShowMsgBox", "--json-args", std::string(12000, '[') + std::string(12000, ']')},
      {"call", "ShowMsgBox", "--json-args", "[" + std::string(100, '[') + std::string(100, ']') + "]"},
  };
  for (const auto& words : cases) {
    const auto outcome = Ctl(words);
    EXPECT_EQ(outcome.status, 2);
    EXPECT_TRUE(outcome.out.empty());
    EXPECT_FALSE(outcome.err.empty());
  }
  EXPECT_EQ(testing::RunProcess({WENDRAKECTL_PATH, "--root"}).status, 2);
}

TEST_F(WendrakeCtl, DefaultRootIsTheTreeAroundTheProgram) {
  const auto copy = installation.Root() / "bin" / "wendrakectl";
  std::filesystem::copy_file(WENDRAKECTL_PATH, copy);
  const auto outcome = testing::RunProcess({copy.string(), "call", "GetLocalProgVer"});
  EXPECT_EQ(outcome.out, "{\"result\": \"0.1.0\", \"events\": []}\n");
}

}  // namespace
}  // namespace wendrake

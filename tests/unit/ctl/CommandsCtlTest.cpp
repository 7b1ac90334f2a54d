// wendrakectl running the window, account, game and update methods with --no-exec.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/ProcessRun.h"
#include "support/TempInstallation.h"

namespace wendrake {
namespace {

namespace fs = std::filesystem;

TEST(CommandsCtl, AnswersEveryWindowAccountGameAndUpdateMethod) {
  testing::TempInstallation installation;
  const std::string root = installation.Root().string();
  const fs::path game = installation.WriteFile("game/riftpatchchinese.exe.old/start", "#!/bin/sh\n");
  fs::permissions(game, fs::perms::owner_all);
  installation.WriteHive({{"Home", root}});
  const std::pair<std::vector<std::string>, std::string> steps[] = {
      {{"call", "CloseWindow"}, R"({"result": null, "events": [{"window": "close"}]})"},
      {{"call", "Close"}, R"({"result": null, "events": [{"window": "close"}]})"},
      {{"call", "Minimize"}, R"({"result": null, "events": [{"window": "minimize"}]})"},
      {{"call", "EndDialogBox"}, R"({"result": null, "events": [{"window": "end-dialog"}]})"},
      {{"call", "ExitInstance"}, R"({"result": null, "events": []})"},
      {{"call", "UserLogin"},
       R"({"result": null, "events": [{"dialog": ")" + root + R"(/UI/pages/sc/login.html", "width": 367, "height": 273, "message": ""}]})"},
      {{"call", "UserRegister"},
       R"({"result": null, "events": [{"dialog": "https://www.lumifold.com/ui/pages/sc/register.html", "width": 384, "height": 374, "message": ""}]})"},
      {{"call", "DeliverUserInfo", "player", "face.png"},
       R"({"result": null, "events": [{"page": "SetUserInfo", "args": ["player", "face.png"], "ok": true}, {"window": "end-dialog"}]})"},
      {{"--page-functions", "", "call", "DeliverUserInfo", "player", "face.png"},
       R"({"result": null, "events": [{"page": "SetUserInfo", "args": ["player", "face.png"], "ok": false}, {"window": "end-dialog"}]})"},
      {{"call", "IsExistGamePath"}, R"({"result": 0, "events": []})"},
      {{"call", "RunGame"},
       R"({"result": null, "events": [{"dialog": ")" + root + R"(/UI/pages/sc/run_game.html", "width": 520, "height": 204, "message": ""}]})"},
      {{"call", "SelectGamePath", "0"},
       R"({"result": null, "events": [{"dialog": ")" + root + R"(/UI/pages/sc/select_game.html", "width": 520, "height": 204, "message": ""}]})"},
      {{"call", "ExecuteGame"}, R"({"result": null, "events": [{"msgbox": "1013"}]})"},
      {{"call", "SelectGameOK", "C:\\RIFTPATCHCHINESE.EXE", "1"}, R"({"result": null, "events": [{"msgbox": "1011"}]})"},
      {{"call", "SelectGameOK", game.string(), "1"},
       R"({"result": null, "events": [{"open": ")" + game.string() + R"(", "started": true, "command": [")" + game.string() +
           R"("], "directory": ")" + game.parent_path().string() + R"(", "WINEPREFIX": null}, {"window": "minimize"}]})"},
      {{"call", "IsExistGamePath"}, R"({"result": 1, "events": []})"},
      {{"call", "InstallUpdate", "missing"},
       R"({"result": -2, "events": [{"open": ")" + root + R"(/Temp/missing.exe", "started": false}, {"msgbox": "1016"}]})"},
      {{"call", "OpenLinkNewWindow", "HTTP://example.org/"}, R"({"result": null, "events": []})"},
      {{"call", "GetLocalProgVer"}, R"({"result": "", "events": []})"},
  };
  for (const auto& [words, line] : steps) {
    std::vector<std::string> argv = {WENDRAKECTL_PATH, "--root", root, "--no-exec"};
    argv.insert(argv.end(), words.begin(), words.end());
    const auto outcome = testing::RunProcess(argv);
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.out, line + "\n") << words.back();
  }
}

TEST(CommandsCtl, OpensLinksThroughTheDesktopsHandler) {
  testing::TempInstallation installation;
  const auto outcome = testing::RunProcess(
      {WENDRAKECTL_PATH, "--root", installation.Root().string(), "--no-exec", "call", "OpenLinkNewWindow", "https://example.org/"});
  // Whether a browser is installed decides "started"; the address is handed on either way.
  EXPECT_EQ(outcome.out.rfind(R"({"result": null, "events": [{"open": "https://example.org/", "started": )", 0), 0u) << outcome.out;
}

}  // namespace
}  // namespace wendrake

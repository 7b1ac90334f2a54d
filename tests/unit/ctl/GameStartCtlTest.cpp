// wendrakectl as a player uses it to see how the game would start, to name the
// Wine of a game manager, and to find the game.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/ProcessRun.h"
#include "support/TempInstallation.h"

namespace wendrake {
namespace {

namespace fs = std::filesystem;

class GameStartCtl : public ::testing::Test {
 protected:
  void SetUp() override {
    installation.WriteFile("Games/rift/system.reg", "WINE REGISTRY Version 2\n");
    patcher = installation.WriteFile("Games/rift/drive_c/Rift/riftpatchchinese.exe", "MZ");
    runner = installation.WriteFile("runners/ge-proton/bin/wine", "#!/bin/sh\n");
    fs::permissions(runner, fs::perms::owner_all);
    installation.WriteHive({{"Home", root + "/Games/rift/drive_c/Rift"}, {"OsmarGamePath", patcher.string()}});
    installation.WriteFile("Games/rift/drive_c/Rift/Temp/setup.exe", "MZ");
  }
  testing::ProcessOutcome Ctl(const std::vector<std::string>& words) const {
    std::vector<std::string> argv = {"/usr/bin/env", "HOME=" + root, "PATH=/usr/bin:/bin", WENDRAKECTL_PATH, "--root", root};
    argv.insert(argv.end(), words.begin(), words.end());
    return testing::RunProcess(argv);
  }

  testing::TempInstallation installation;
  const std::string root = installation.Root().string();
  fs::path patcher, runner;
};

TEST_F(GameStartCtl, NoExecReportsTheCommandFolderAndPrefixOfEveryStart) {
  const std::string prefix = root + "/Games/rift";
  const std::string folder = prefix + "/drive_c/Rift";
  const std::string setup = folder + "/Temp/setup.exe";
  struct Step {
    std::vector<std::string> words;
    int status;
    std::string out;
  };
  const Step steps[] = {
      // No Wine on PATH and none configured: the start fails and says what it wanted.
      {{"--no-exec", "call", "RunGame"},
       0,
       R"({"result": null, "events": [{"open": ")" + patcher.string() + R"(", "started": false, "command": ["wine", ")" + patcher.string() +
           R"("], "directory": ")" + folder + R"(", "WINEPREFIX": ")" + prefix + R"("}, {"msgbox": "1012"}]})"},
      {{"settings", "get", "WineCommand"}, 1, ""},
      {{"settings", "set", "WineCommand", runner.string() + " --bottle 'my rift'"}, 0, ""},
      {{"settings", "get", "WineCommand"}, 0, runner.string() + " --bottle 'my rift'"},
      {{"--no-exec", "call", "ExecuteGame"},
       0,
       R"({"result": null, "events": [{"open": ")" + patcher.string() + R"(", "started": true, "command": [")" + runner.string() +
           R"(", "--bottle", "my rift", ")" + patcher.string() + R"("], "directory": ")" + folder + R"(", "WINEPREFIX": ")" + prefix +
           R"("}, {"window": "minimize"}]})"},
      {{"--no-exec", "call", "InstallUpdate", "setup"},
       0,
       R"({"result": 0, "events": [{"open": ")" + setup + R"(", "started": true, "command": [")" + runner.string() +
           R"(", "--bottle", "my rift", ")" + setup + R"("], "directory": ")" + folder + R"(/Temp", "WINEPREFIX": ")" + prefix + R"("}]})"},
      // A configured runner that is gone is a failed start, not a fallback.
      {{"settings", "set", "WineCommand", root + "/runners/removed/wine"}, 0, ""},
      {{"--no-exec", "call", "InstallUpdate", "setup"},
       0,
       R"({"result": -2, "events": [{"open": ")" + setup + R"(", "started": false, "command": [")" + root + R"(/runners/removed/wine", ")" + setup +
           R"("], "directory": ")" + folder + R"(/Temp", "WINEPREFIX": ")" + prefix + R"("}, {"msgbox": "1016"}]})"},
      {{"settings", "unset", "WineCommand"}, 0, ""},
      {{"settings", "unset", "WineCommand"}, 1, ""},
      {{"settings", "get"}, 2, ""},
      {{"settings", "set", "WineCommand"}, 2, ""},
      {{"find-game"}, 0, patcher.string()},
      {{"find-game", "extra"}, 2, ""},
  };
  for (const auto& step : steps) {
    const auto outcome = Ctl(step.words);
    EXPECT_EQ(outcome.status, step.status) << step.words.back() << outcome.err;
    EXPECT_EQ(outcome.out, step.out.empty() ? "" : step.out + "\n") << step.words.back();
  }
}

TEST_F(GameStartCtl, FindGameSaysSoWhenNothingIsFound) {
  fs::remove(patcher);
  const auto outcome = Ctl({"find-game"});
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.out, "");
  EXPECT_NE(outcome.err.find("riftpatchchinese.exe"), std::string::npos) << outcome.err;
}

}  // namespace
}  // namespace wendrake

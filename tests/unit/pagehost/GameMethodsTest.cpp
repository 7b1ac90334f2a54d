// Game location and launch, called as a page calls them.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "commands/SettingsStore.h"
#include "support/BridgeFixture.h"
#include "support/WithoutFileOverride.h"

namespace wendrake {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

class GameMethods : public testing::BridgeFixture {
 protected:
  void SetUp() override {
    // A native program whose path holds the patcher's name in a folder name.
    game = installation.WriteFile("game/riftpatchchinese.exe.old/start", "#!/bin/sh\n").string();
    fs::permissions(game, fs::perms::owner_all);
  }
  void StoreGamePath(std::optional<std::string> path) {
    installation.WriteHive(path ? std::vector<std::pair<std::string, std::string>>{{"OsmarGamePath", *path}}
                                : std::vector<std::pair<std::string, std::string>>{});
  }
  std::optional<std::u16string> StoredGamePath() const { return OpenSettingsKey(installation.Install()).QueryValue(u"OsmarGamePath"); }

  std::string game;
};

TEST_F(GameMethods, SelectGameOkStoresOnlyThePatchersPath) {
  struct Case {
    std::string path;
    std::int32_t mode;
    Lines events;
    bool stored;
  };
  const std::string missing = installation.Root().string() + "/game/riftpatchchinese.exe";
  const Case cases[] = {
      {"C:\\GAME\\RIFTPATCHCHINESE.EXE", 1, {"msgbox 1011"}, false},
      {"", 1, {"msgbox 1011"}, false},
      {game, 0, {}, true},
      {game, 1, {"open game/riftpatchchinese.exe.old/start started", "window minimize"}, true},
      {game, 2, {}, true},
      {missing, 1, {"open game/riftpatchchinese.exe failed", "msgbox 1012"}, true},
  };
  for (const auto& c : cases) {
    StoreGamePath(std::nullopt);
    HeadlessHost headless({.noExec = true});
    const PageHost page(installation.Install(), headless, headless, headless.Services());
    EXPECT_EQ(ScriptBridge::Call(page, u"SelectGameOK", {ToUtf16(c.path), c.mode}).code, S_OK);
    EXPECT_EQ(testing::DescribeEvents(headless, installation.Root().string() + "/"), c.events) << c.path << " " << c.mode;
    EXPECT_EQ(StoredGamePath(), c.stored ? std::optional(ToUtf16(c.path)) : std::nullopt) << c.path;
  }
}

TEST_F(GameMethods, SelectGameOkCreatesAMissingKeyThatLasts) {
  fs::remove(installation.Root() / "registry.reg");
  Result(u"SelectGameOK", {ToUtf16(game), std::int32_t{0}});
  EXPECT_EQ(StoredGamePath(), ToUtf16(game));
  EXPECT_EQ(Result(u"IsExistGamePath"), MethodResult(1));
}

TEST_F(GameMethods, SelectGameOkReportsAnUnwritableHive) {
  StoreGamePath(std::nullopt);
  fs::permissions(installation.Root() / "registry.reg", fs::perms::owner_read);
  testing::WithoutFileOverride asUser;
  Result(u"SelectGameOK", {ToUtf16(game), std::int32_t{1}});
  EXPECT_EQ(EventLines(), Lines{"msgbox 1010"}) << "nothing stored, nothing started";
}

TEST_F(GameMethods, RunGameAndSelectGamePathAskOnlyWhileNoLocationIsKnown) {
  struct Case {
    std::optional<std::string> stored;
    std::u16string_view method;
    std::vector<PageValue> arguments;
    Lines events;
  };
  const std::string selectPage = "dialog UI/pages/sc/select_game.html 520x204";
  const std::string runPage = "dialog UI/pages/sc/run_game.html 520x204";
  const Lines started = {"open game/riftpatchchinese.exe.old/start started", "window minimize"};
  const Case cases[] = {
      {std::nullopt, u"SelectGamePath", {std::int32_t{0}}, {selectPage}},
      {std::nullopt, u"SelectGamePath", {std::int32_t{1}}, {runPage}},
      {std::nullopt, u"SelectGamePath", {std::int32_t{2}}, {runPage}},
      {std::nullopt, u"SelectGamePath", {std::u16string(u"1")}, {runPage}},
      {std::nullopt, u"RunGame", {}, {runPage}},
      {"", u"RunGame", {}, {runPage}},
      {game, u"SelectGamePath", {std::int32_t{0}}, {}},
      {game, u"SelectGamePath", {std::int32_t{2}}, {}},
      {game, u"SelectGamePath", {std::int32_t{1}}, started},
      {game, u"RunGame", {}, started},
      {game, u"ExecuteGame", {}, started},
      {std::nullopt, u"ExecuteGame", {}, {"msgbox 1013"}},
      {"", u"ExecuteGame", {}, {"open  failed", "msgbox 1012"}},
      {installation.Root().string() + "/gone/riftpatchchinese.exe", u"ExecuteGame", {}, {"open gone/riftpatchchinese.exe failed", "msgbox 1012"}},
  };
  for (const auto& c : cases) {
    StoreGamePath(c.stored);
    HeadlessHost headless({.noExec = true});
    const PageHost page(installation.Install(), headless, headless, headless.Services());
    EXPECT_EQ(ScriptBridge::Call(page, c.method, c.arguments).code, S_OK);
    EXPECT_EQ(testing::DescribeEvents(headless, installation.Root().string() + "/"), c.events)
        << ToUtf8(c.method) << " with " << (c.stored ? *c.stored : "nothing stored");
  }
}

TEST_F(GameMethods, IsExistGamePathLooksOnlyAtTheStoredText) {
  const std::pair<std::optional<std::string>, std::int32_t> cases[] = {
      {std::nullopt, 0}, {"", 0}, {"/gone/riftpatchchinese.exe", 1}, {"anything", 1}};
  for (const auto& [stored, known] : cases) {
    StoreGamePath(stored);
    EXPECT_EQ(Result(u"IsExistGamePath"), MethodResult(known));
  }
}

}  // namespace
}  // namespace wendrake

// The page set players see, driven in the installed program as a player drives
// it: the keyboard (Tab, Space, Enter, typing) and the desktop's file chooser.
// What the pages did is read where it lands: the catalogue, the add-on folder,
// the settings, the started game. Screenshots of each page in each skin are kept.
#include <gtest/gtest.h>

#include <X11/keysym.h>
#include <signal.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "ProgramFixture.h"
#include "harness/ProgramProcess.h"
#include "harness/Screenshot.h"
#include "harness/SyntheticUserInput.h"
#include "harness/TestSession.h"
#include "harness/Wait.h"
#include "support/ProcessRun.h"
#include "support/TempInstallation.h"
#include "support/ZipBuilder.h"

namespace wendrake::programtest {
namespace {

namespace fs = std::filesystem;

constexpr int kGameWidth = 520, kGameHeight = 204;

// Where the main page's controls stand in its tab order, with the offered add-ons
// RiftMeter (installed, older), QuestHelper (installed), MapPlus and ChatTabs.
constexpr int kTabStart = 3, kTabGameLocation = 4, kTabLightSkin = 6, kTabChosenPackage = 8, kTabUpdateRiftMeter = 10, kTabRemoveQuestHelper = 12;
// Once an add-on has an earlier version, its row ends in a button that lists them:
// RiftMeter's after its update (delete, earlier versions), QuestHelper's after its
// removal (install, earlier versions), which puts MapPlus's install one further.
constexpr int kTabRiftMeterVersions = 11, kTabInstallMapPlusAfterRemovingQuestHelper = 14;
// The close button of the main page, in the window's top drag band.
constexpr int kCloseButtonX = 890, kCloseButtonY = 21;

class PageSet : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto install = testing::RunProcess({WENDRAKE_CMAKE_COMMAND, "--install", WENDRAKE_BUILD_DIR, "--prefix", tree.Root().string()});
    ASSERT_EQ(install.status, 0) << install.out << install.err;
    // A game in a Wine prefix of the player's home, with a stand-in patcher.
    tree.WriteFile(home / "Games/rift/system.reg", "WINE REGISTRY Version 2\n");
    patcher = tree.WriteFile(game / "riftpatchchinese.exe", "#!/bin/sh\necho started >> \"$(dirname \"$0\")/game-started.log\"\n");
    fs::permissions(patcher, fs::perms::owner_all);
    for (const auto& [folder, version] : {std::pair{"RiftMeter", "1.0"}, std::pair{"QuestHelper", "2.1"}})
      tree.WriteFile(addOns / folder / "RiftAddon.txt", std::string("## Version: ") + version + "\n");
    tree.WriteFile("update_info.xml",
                   "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n<Wendrake>\r\n    <plugin>\r\n"
                   "        <item pid=\"1719\" ver=\"1.0\" PlugName=\"RiftMeter\" />\r\n"
                   "        <item pid=\"1720\" ver=\"2.1\" PlugName=\"QuestHelper\" />\r\n    </plugin>\r\n</Wendrake>\r\n");
    tree.WriteFile("update.xml",
                   "<Wendrake><plugin>"
                   "<item pid=\"1719\" ver=\"1.2\" PlugName=\"RiftMeter\" name=\"伤害统计\" />"
                   "<item pid=\"1720\" ver=\"2.1\" PlugName=\"QuestHelper\" name=\"任务助手\" />"
                   "<item pid=\"1721\" ver=\"0.9\" PlugName=\"MapPlus\" name=\"地图增强\" />"
                   "<item pid=\"1722\" ver=\"1.0\" PlugName=\"ChatTabs\" name=\"聊天标签\" />"
                   "</plugin></Wendrake>");
    for (const auto& [folder, version] : {std::pair{"RiftMeter", "1.2"}, std::pair{"MapPlus", "0.9"}, std::pair{"ChatTabs", "1.0"}})
      testing::WriteZip(tree.Root() / "Temp" / (std::string(folder) + ".zip"),
                        {testing::ZipEntrySpec::File(std::string(folder) + "/RiftAddon.toc", std::string("## Version: ") + version + "\n")});
    // A package the player downloaded, in the desktop's download folder.
    tree.WriteFile(session.Folder() / "config/user-dirs.dirs", "XDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\n");
    fs::create_directories(home / "Downloads");
    testing::WriteZip(home / "Downloads/Extra.zip", {testing::ZipEntrySpec::File("Extra/RiftAddon.toc", "## Title: Extra\n")});
    UseSkin("1");
  }
  void TearDown() override {
    if (run) {
      run->Signal(SIGTERM);
      run->WaitForEnd();
    }
    if (HasFailure()) SaveScreenshot(fs::path(WENDRAKE_SCREENSHOT_DIR) / (TestName() + ".failure.png"));
  }

  void UseSkin(const std::string& skin) {
    tree.WriteHive({{"PluginPath", game.string() + "/"}, {"Home", tree.Root().string()}, {"Version", "0.1.0"}, {"Skin", skin}});
  }
  std::string TestName() const {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(test->test_suite_name()) + "." + test->name();
    for (char& c : name)
      if (c == '/' || c == ' ') c = '_';
    return name;
  }
  void Shot(std::string page) {
    for (char& c : page)
      if (c == ' ') c = '-';
    SaveScreenshot(fs::path(WENDRAKE_SCREENSHOT_DIR) / (TestName() + "." + page + ".png"));
  }

  // The one mapped window of this size, once its page has drawn.
  std::optional<TopLevel> Shown(int width, int height) {
    std::optional<TopLevel> shown;
    RunUntil(
        [&] {
          std::vector<TopLevel> mapped;
          for (const auto& window : ManagedTopLevelsOf(run->Pid()))
            if (window.mapped) mapped.push_back(window);
          shown = OneOfSize(mapped, width, height);
          return shown.has_value();
        },
        30);
    if (shown && !WaitUntilDrawn(shown->x, shown->y, shown->width, shown->height)) return std::nullopt;
    if (shown) MovePointer(shown->x + shown->width / 2, shown->y + 8);
    return shown;
  }
  bool Gone(int width, int height) {
    return RunUntil([&] {
      for (const auto& window : ManagedTopLevelsOf(run->Pid()))
        if (window.mapped && window.width == width && window.height == height) return false;
      return true;
    });
  }

  // Starts the program and logs in from the login page with the keyboard.
  std::optional<TopLevel> StartAndLogIn() {
    if (run) {
      run->Signal(SIGTERM);
      run->WaitForEnd();
    }
    run = std::make_unique<ProgramProcess>(tree.Root() / "bin/wendrake", session.Environment(),
                                           tree.Root() / ("run-" + std::to_string(++starts) + ".out"));
    const auto login = Shown(kLoginWidth, kLoginHeight);
    if (!login) return std::nullopt;
    Shot("login");
    const std::string empty = LookAt(login->x, login->y, login->width, login->height);
    TypeText("alice");
    // As a player does: Enter once the name shows.
    if (!WaitUntilDrawn(login->x, login->y, login->width, login->height, empty)) return std::nullopt;
    PressKey(XK_Return);
    const auto main = Shown(kMainWidth, kMainHeight);
    if (main) MovePointer(main->x + main->width / 2, main->y + 60);
    return main;
  }
  void Tabs(int count) {
    for (int i = 0; i < count; ++i) PressKey(XK_Tab);
  }
  // The message box the last step raised: looked at, then closed with Enter.
  bool AcknowledgeMessage(const std::string& shot = "") {
    if (!Shown(kBoxWidth, kBoxHeight)) return false;
    if (!shot.empty()) Shot(shot);
    PressKey(XK_Return);
    return Gone(kBoxWidth, kBoxHeight);
  }
  // The desktop's file chooser, opened by the page: the program's one other window.
  bool ChooseInFileChooser(const std::string& name) {
    std::optional<TopLevel> chooser;
    RunUntil(
        [&] {
          for (const auto& window : ManagedTopLevelsOf(run->Pid()))
            if (window.mapped && window.width != kMainWidth && window.width != kLoginWidth && window.width != kBoxWidth && window.width != kGameWidth)
              chooser = window;
          return chooser.has_value();
        },
        20);
    if (!chooser) return false;
    WaitUntilDrawn(chooser->x, chooser->y, chooser->width, chooser->height);
    MovePointer(chooser->x + chooser->width / 2, chooser->y + chooser->height / 2);
    PressControlKey(XK_l);
    TypeText(name);
    PressKey(XK_Return);
    return RunUntil([&] {
      for (const auto& window : ManagedTopLevelsOf(run->Pid()))
        if (window.id == chooser->id && window.mapped) return false;
      return true;
    });
  }
  std::string Catalogue() const { return tree.ReadFile("update_info.xml"); }

  testing::TempInstallation tree;
  TestSession session{tree.Root() / "session"};
  const fs::path home = session.Folder() / "home";
  const fs::path game = home / "Games/rift/drive_c/Rift";
  const fs::path addOns = game / "Interface/AddOns";
  fs::path patcher;
  std::unique_ptr<ProgramProcess> run;
  int starts = 0;
};

TEST_F(PageSet, TheKeyboardAloneRemovesInstallsAndUpdatesAddOns) {
  struct Step {
    const char* what;
    int tabs;
    std::function<bool()> done;
  };
  const Step steps[] = {
      {"remove QuestHelper", kTabRemoveQuestHelper,
       [this] { return !fs::exists(addOns / "QuestHelper") && Catalogue().find("1720") == std::string::npos; }},
      {"install MapPlus from Temp", kTabInstallMapPlusAfterRemovingQuestHelper,
       [this] {
         return fs::exists(addOns / "MapPlus/RiftAddon.toc") &&
                Catalogue().find("pid=\"1721\" ver=\"0.9\" PlugName=\"MapPlus\"") != std::string::npos &&
                !fs::exists(tree.Root() / "Temp/MapPlus.zip");
       }},
      {"update RiftMeter", kTabUpdateRiftMeter,
       [this] {
         return tree.ReadFile(addOns / "RiftMeter/RiftAddon.toc") == "## Version: 1.2\n" &&
                Catalogue().find("pid=\"1719\" ver=\"1.2\"") != std::string::npos;
       }},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.what);
    ASSERT_TRUE(StartAndLogIn());
    Tabs(step.tabs);
    PressKey(XK_space);
    EXPECT_TRUE(AcknowledgeMessage(std::string("message-") + step.what)) << "no message told the player";
    EXPECT_TRUE(RunUntil(step.done)) << Catalogue();
  }
  ASSERT_TRUE(Shown(kMainWidth, kMainHeight));
  Shot("main-after");
}

// The add-on manager keeps what an update replaced: the player puts it back from
// the add-on's earlier versions, files and catalogued version alike.
TEST_F(PageSet, AnUpdatedAddOnIsPutBackToItsEarlierVersion) {
  ASSERT_TRUE(StartAndLogIn());
  Tabs(kTabUpdateRiftMeter);
  PressKey(XK_space);
  EXPECT_TRUE(AcknowledgeMessage());
  ASSERT_TRUE(RunUntil([&] { return Catalogue().find("pid=\"1719\" ver=\"1.2\"") != std::string::npos; })) << Catalogue();

  ASSERT_TRUE(StartAndLogIn());
  Tabs(kTabRiftMeterVersions);
  PressKey(XK_space);
  const auto main = Shown(kMainWidth, kMainHeight);
  ASSERT_TRUE(main);
  Shot("earlier-versions");
  // The list opens right under the add-on's row: its one version is next.
  Tabs(1);
  PressKey(XK_space);
  EXPECT_TRUE(AcknowledgeMessage("message-restored"));
  EXPECT_TRUE(RunUntil([&] { return Catalogue().find("pid=\"1719\" ver=\"1.0\"") != std::string::npos; })) << Catalogue();
  // Switched on at login, as it was when the update replaced it.
  EXPECT_EQ(tree.ReadFile(addOns / "RiftMeter/RiftAddon.toc"), "## Version: 1.0\n");
  // The restore is itself undoable: the update is now the earlier version.
  const auto listed =
      testing::RunProcess({(tree.Root() / "bin/wendrakectl").string(), "--root", tree.Root().string(), "backups", "list", "RiftMeter"});
  EXPECT_NE(listed.out.find("\tRiftMeter\t1.2\t"), std::string::npos) << listed.out << listed.err;
}

// After a removal the keyboard stands on its undo, which puts the folder and its
// catalogue item back.
TEST_F(PageSet, ARemovalIsUndoneFromTheKeyboard) {
  ASSERT_TRUE(StartAndLogIn());
  Tabs(kTabRemoveQuestHelper);
  PressKey(XK_space);
  EXPECT_TRUE(AcknowledgeMessage());
  ASSERT_TRUE(RunUntil([&] { return !fs::exists(addOns / "QuestHelper"); }));
  Shot("removed");
  PressKey(XK_space);
  EXPECT_TRUE(AcknowledgeMessage());
  EXPECT_TRUE(RunUntil([&] { return Catalogue().find("pid=\"1720\" ver=\"2.1\" PlugName=\"QuestHelper\"") != std::string::npos; })) << Catalogue();
  EXPECT_EQ(tree.ReadFile(addOns / "QuestHelper/RiftAddon.toc"), "## Version: 2.1\n");
}

TEST_F(PageSet, APackageChosenOnTheDiskInstallsUnderItsOwnPid) {
  ASSERT_TRUE(StartAndLogIn());
  Tabs(kTabChosenPackage);
  PressKey(XK_space);
  ASSERT_TRUE(ChooseInFileChooser("Extra.zip"));
  EXPECT_TRUE(AcknowledgeMessage());
  EXPECT_TRUE(RunUntil([&] { return fs::exists(addOns / "Extra/RiftAddon.toc"); }));
  EXPECT_NE(Catalogue().find("pid=\"local-Extra\" ver=\"local\" PlugName=\"Extra\""), std::string::npos) << Catalogue();
  EXPECT_TRUE(fs::exists(home / "Downloads/Extra.zip")) << "the chosen file stays";
}

TEST_F(PageSet, TheGameLocationRefusesAWrongPathAndStartsTheGameChosenWithBrowse) {
  ASSERT_TRUE(StartAndLogIn());
  Tabs(kTabStart);
  PressKey(XK_space);
  ASSERT_TRUE(Shown(kGameWidth, kGameHeight)) << "no game-location dialog";
  TypeText("/tmp/nothing.exe");
  PressKey(XK_Return);
  EXPECT_TRUE(AcknowledgeMessage("message-1011"));
  EXPECT_EQ(tree.ReadFile("registry.reg").find("OsmarGamePath"), std::string::npos) << "a wrong path was stored";
  ASSERT_TRUE(Shown(kGameWidth, kGameHeight));
  // From the path field to the browse button; the chooser opens where the game is.
  Tabs(1);
  PressKey(XK_space);
  ASSERT_TRUE(ChooseInFileChooser("riftpatchchinese.exe"));
  ASSERT_TRUE(Shown(kGameWidth, kGameHeight));
  PressKey(XK_Return);
  EXPECT_TRUE(RunUntil([&] { return fs::exists(game / "game-started.log"); })) << "the game was not started";
  EXPECT_NE(tree.ReadFile("registry.reg").find(patcher.string()), std::string::npos);
  EXPECT_TRUE(Gone(kGameWidth, kGameHeight));
}

TEST_F(PageSet, AChosenSkinIsAppliedAndKeptForTheNextStart) {
  ASSERT_TRUE(StartAndLogIn());
  const auto main = Shown(kMainWidth, kMainHeight);
  ASSERT_TRUE(main);
  const std::string before = LookAt(main->x, main->y, main->width, main->height);
  Tabs(kTabLightSkin);
  PressKey(XK_space);
  EXPECT_TRUE(WaitUntilDrawn(main->x, main->y, main->width, main->height, before)) << "the page did not change";
  EXPECT_NE(tree.ReadFile("registry.reg").find("\"Skin\"=\"2\""), std::string::npos);
  ASSERT_TRUE(StartAndLogIn());
  EXPECT_NE(tree.ReadFile("registry.reg").find("\"Skin\"=\"2\""), std::string::npos);
  Shot("main-after-restart");
}

// The header is the window's drag band: a click there is still a click.
TEST_F(PageSet, TheMouseClosesTheWindowWithTheButtonInItsDragBand) {
  const auto main = StartAndLogIn();
  ASSERT_TRUE(main);
  Click(main->x + kCloseButtonX, main->y + kCloseButtonY, 1);
  EXPECT_TRUE(Gone(kMainWidth, kMainHeight)) << "the window stayed";
}

// Every page at its size in each skin, for a person to look at.
class PageSetSkins : public PageSet, public ::testing::WithParamInterface<const char*> {};

TEST_P(PageSetSkins, EveryPageIsShown) {
  UseSkin(GetParam());
  ASSERT_TRUE(StartAndLogIn());
  Shot("main");
  Tabs(kTabStart);
  PressKey(XK_space);
  ASSERT_TRUE(Shown(kGameWidth, kGameHeight));
  Shot("run_game");
  PressKey(XK_Return);
  EXPECT_TRUE(AcknowledgeMessage("error"));
  ASSERT_TRUE(Shown(kGameWidth, kGameHeight));
  PressKey(XK_Escape);
  EXPECT_TRUE(Gone(kGameWidth, kGameHeight)) << "Escape leaves the dialog";
  // From "开始游戏" to "更改游戏位置…": with no location yet, the program's dialog asks.
  Tabs(kTabGameLocation - kTabStart);
  PressKey(XK_space);
  ASSERT_TRUE(Shown(kGameWidth, kGameHeight)) << "no game-location dialog";
  Shot("select_game");
  PressKey(XK_Escape);
  EXPECT_TRUE(Gone(kGameWidth, kGameHeight));
}

INSTANTIATE_TEST_SUITE_P(Skins, PageSetSkins, ::testing::Values("1", "2", "3"));

}  // namespace
}  // namespace wendrake::programtest

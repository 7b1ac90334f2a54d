// The tray icon: added after the login has switched the add-ons on and before the
// main window shows; its menu's exit command switches them off and ends the program.
#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "ProgramFixture.h"
#include "harness/SyntheticUserInput.h"
#include "harness/SystemTray.h"
#include "harness/Wait.h"

namespace wendrake::programtest {
namespace {

using Tray = ProgramTest;

TEST_F(Tray, ExitCommandSwitchesTheAddOnsOffAndEndsTheProgram) {
  ASSERT_TRUE(XTestAvailable());
  SystemTray tray;
  ASSERT_TRUE(tray.Owned());
  ProgramProcess* running = nullptr;
  // What the program had done when its icon asked to dock.
  std::optional<bool> mainShownAtDock, addOnsOnAtDock;
  tray.onDockRequest = [&](Window) {
    if (mainShownAtDock) return;
    const auto main = MainWindow(*running);
    mainShownAtDock = main && std::count(tray.MapsSeen().begin(), tray.MapsSeen().end(), main->id) > 0;
    addOnsOnAtDock = program.CataloguedAddOnsAre(true);
  };
  auto& run = Start();
  running = &run;
  ASSERT_TRUE(WaitForLoginDialog(run)) << Describe(Windows(run));
  EXPECT_TRUE(program.CataloguedAddOnsAre(false));

  ASSERT_TRUE(LogIn(run)) << Describe(Windows(run));
  ASSERT_TRUE(RunUntil([&] { return mainShownAtDock.has_value(); })) << "the tray icon never asked to dock";
  EXPECT_FALSE(*mainShownAtDock) << "the main window showed before the tray icon was added";
  EXPECT_TRUE(*addOnsOnAtDock) << "the tray icon was added before the add-ons were switched on";
  EXPECT_TRUE(program.CataloguedAddOnsAre(true));
  Screenshot("main");

  ASSERT_TRUE(tray.EmbedLastIcon());
  const auto icon = tray.IconCentre();
  ASSERT_TRUE(icon);
  const size_t popUps = ShownPopUpsOf(run.Pid()).size();
  Click(icon->x, icon->y, 3);
  // The menu is up once it holds the keyboard.
  ASSERT_TRUE(RunUntil([&] { return ShownPopUpsOf(run.Pid()).size() > popUps && KeyboardGrabbedElsewhere(); })) << "no tray menu";
  SaveScreen(".menu");
  // The second item is the exit command.
  PressKey(XK_Down);
  PressKey(XK_Down);
  PressKey(XK_Return);

  ASSERT_TRUE(run.WaitForEnd()) << "the program did not end";
  EXPECT_EQ(DescribeStatus(run.WaitStatus()), "exited with 0");
  EXPECT_TRUE(program.CataloguedAddOnsAre(false));
  EXPECT_TRUE(RunUntil([&] { return !tray.IconEmbedded(); })) << "the icon stayed in the tray";
}

}  // namespace
}  // namespace wendrake::programtest

// From the start to the login: only the login dialog shows, over a main window
// that waits hidden in the middle of the work area.
#include <gtest/gtest.h>

#include "ProgramFixture.h"
#include "harness/SystemTray.h"

namespace wendrake::programtest {
namespace {

using StartUp = ProgramTest;

TEST_F(StartUp, OnlyTheLoginDialogShowsBeforeALogin) {
  SystemTray tray;
  ASSERT_TRUE(tray.Owned());
  auto& run = Start();
  const auto login = WaitForLoginDialog(run);
  ASSERT_TRUE(login) << "no login dialog:" << Describe(Windows(run));
  Screenshot("login");

  const auto windows = Windows(run);
  for (const auto& window : windows) EXPECT_TRUE(!window.mapped || window.id == login->id) << "shown before a login: " << Describe(window);
  EXPECT_TRUE(ShownPopUpsOf(run.Pid()).empty()) << Describe(ShownPopUpsOf(run.Pid()));
  EXPECT_TRUE(login->undecorated);
  // A window manager keeps the dialog with the main window only when told so.
  const auto main = FindTopLevel(windows, login->transientFor);
  EXPECT_TRUE(main) << "the login dialog is transient for no window of the program: " << Describe(*login);
  EXPECT_TRUE(!main || !main->mapped) << Describe(*main);

  EXPECT_TRUE(tray.DockRequests().empty()) << "the tray icon came before the login";
  EXPECT_TRUE(program.CataloguedAddOnsAre(false));
  EXPECT_TRUE(run.Running());
}

TEST_F(StartUp, LoginDialogStandsCentredOverTheMainWindow) {
  auto& run = Start();
  const auto login = WaitForLoginDialog(run);
  ASSERT_TRUE(login) << Describe(Windows(run));
  const auto main = LogIn(run);
  ASSERT_TRUE(main) << Describe(Windows(run));

  EXPECT_EQ(main->title, "Lumifold");
  EXPECT_TRUE(main->undecorated);
  EXPECT_EQ(main->x, kMainX);
  EXPECT_EQ(main->y, kMainY);
  EXPECT_EQ(login->x - main->x, 278);
  EXPECT_EQ(login->y - main->y, 215);
  EXPECT_EQ(login->width, kLoginWidth);
  EXPECT_EQ(login->height, kLoginHeight);
}

}  // namespace
}  // namespace wendrake::programtest

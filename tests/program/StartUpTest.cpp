// From the start to the login: only the login dialog shows, over a main window
// that waits hidden in the middle of the work area.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "ProgramFixture.h"
#include "harness/SystemTray.h"
#include "harness/TestPages.h"
#include "platform/PrivateFolder.h"

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

// The login dialog does not wait for the main page: a login it delivers at once
// waits for the main page instead, and reaches it once it has loaded.
TEST_F(StartUp, TheLoginLoadsBesideASlowMainPage) {
  std::ofstream(program.Page("main")) << (TestPage("main", R"(
    var started = Date.now();
    while (Date.now() - started < 3000) {}
    function SetUserInfo(user, image) { TestLog("SetUserInfo:" + user); })"));
  std::ofstream(program.Page("login")) << (TestPage("login", R"(
    TestLog("login:delivering");
    window.external.DeliverUserInfo("early", "");)"));
  auto& run = Start();
  ASSERT_TRUE(WaitForShown(run, kMainWidth, kMainHeight, 30)) << Describe(Windows(run));
  const std::string log = pages.Text();
  const auto delivering = log.find("login:delivering"), mainReady = log.find("main:ready"), received = log.find("SetUserInfo:early");
  ASSERT_NE(delivering, std::string::npos) << log;
  ASSERT_NE(received, std::string::npos) << log;
  EXPECT_LT(delivering, mainReady) << log;
  EXPECT_EQ(pages.Count("SetUserInfo:early"), 1) << log;
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

// Pages reach the program through a socket in the runtime folder, or else in the
// temporary one, whose address holds at most 107 bytes of path.
struct SocketFolders {
  const char* name;
  bool longRuntimeFolder;
  bool longTemporaryFolder;
};

void PrintTo(const SocketFolders& value, std::ostream* out) { *out << value.name; }

class PageSocket : public ProgramTest, public ::testing::WithParamInterface<SocketFolders> {
 protected:
  // A private folder whose path alone fills a socket address.
  std::filesystem::path LongFolder(const std::string& name) {
    const auto folder = program.Root() / (name + std::string(120, 'x'));
    EXPECT_TRUE(MakePrivateFolders(folder));
    return folder;
  }
};

TEST_P(PageSocket, TooLongAFolderIsPassedOverOrRefusedWithItsReason) {
  const SocketFolders& folders = GetParam();
  if (folders.longRuntimeFolder) program.SetEnvironment("XDG_RUNTIME_DIR", LongFolder("run").string());
  program.SetEnvironment("TMPDIR", folders.longTemporaryFolder ? LongFolder("tmp").string() : "/tmp");
  auto& run = Start();
  if (folders.longRuntimeFolder && folders.longTemporaryFolder) {
    ASSERT_TRUE(run.WaitForEnd()) << "the program did not end";
    EXPECT_EQ(DescribeStatus(run.WaitStatus()), "exited with 1");
    EXPECT_NE(program.Output().find("wendrake: no folder for the page channel's socket"), std::string::npos) << program.Output();
    EXPECT_EQ(pages.Count("login:ready"), 0);
  } else {
    ASSERT_TRUE(LogIn(run)) << Describe(Windows(run));
    EXPECT_TRUE(program.CataloguedAddOnsAre(true));
  }
}

INSTANTIATE_TEST_SUITE_P(Folders, PageSocket,
                         ::testing::Values(SocketFolders{"LongRuntimeFolder", true, false}, SocketFolders{"LongTemporaryFolder", false, true},
                                           SocketFolders{"BothLong", true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace wendrake::programtest

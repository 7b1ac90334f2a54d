// The Debian package as a player has it: unpacked into a read-only tree, started
// from its command in bin with a data folder of the test's own, logged in from
// the package's own login page with the keyboard.
#include <gtest/gtest.h>

#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <signal.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>

#include "ProgramFixture.h"
#include "harness/ProgramProcess.h"
#include "harness/Screenshot.h"
#include "harness/SyntheticUserInput.h"
#include "harness/TestSession.h"
#include "harness/Wait.h"
#include "support/ProcessRun.h"
#include "support/TempInstallation.h"

namespace wendrake::programtest {
namespace {

namespace fs = std::filesystem;

// Every path of the tree with its size and time: what a write beside the program
// would change.
std::map<std::string, std::string> Listing(const fs::path& tree) {
  std::map<std::string, std::string> listing;
  for (const auto& entry : fs::recursive_directory_iterator(tree)) {
    struct stat status {};
    ::lstat(entry.path().c_str(), &status);
    listing[entry.path().lexically_relative(tree).string()] =
        std::to_string(status.st_size) + "@" + std::to_string(status.st_mtim.tv_sec) + "." + std::to_string(status.st_mtim.tv_nsec);
  }
  return listing;
}

void MakeReadOnly(const fs::path& tree) {
  for (const auto& entry : fs::recursive_directory_iterator(tree))
    if (!entry.is_symlink())
      fs::permissions(entry.path(), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write, fs::perm_options::remove);
  fs::permissions(tree, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write, fs::perm_options::remove);
}

void MakeWritable(const fs::path& tree) {
  fs::permissions(tree, fs::perms::owner_write, fs::perm_options::add);
  for (const auto& entry : fs::recursive_directory_iterator(tree))
    if (!entry.is_symlink()) fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add);
}

class Package : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto built = testing::RunProcess(
        {WENDRAKE_CPACK_COMMAND, "-G", "DEB", "--config", WENDRAKE_BUILD_DIR "/CPackConfig.cmake", "-B", (folder.Root() / "package").string()});
    ASSERT_EQ(built.status, 0) << built.out << built.err;
    const fs::path deb = folder.Root() / "package" / "wendrake_" WENDRAKE_VERSION "_amd64.deb";
    ASSERT_TRUE(fs::exists(deb)) << built.out;
    const auto unpacked = testing::RunProcess({"/usr/bin/dpkg-deb", "-x", deb.string(), system.string()});
    ASSERT_EQ(unpacked.status, 0) << unpacked.err;
    MakeReadOnly(system);
  }
  void TearDown() override {
    if (fs::exists(system)) MakeWritable(system);
  }

  testing::TempInstallation folder;
  const fs::path system = folder.Root() / "system";
  TestSession session{folder.Root() / "session"};
};

TEST_F(Package, RunsFromAReadOnlyTreeWithItsDataInTheUsersDataFolder) {
  const auto before = Listing(system);
  ProgramProcess run(system / "usr/bin/wendrake", session.Environment(), folder.Root() / "run.out");

  std::optional<TopLevel> login;
  RunUntil(
      [&] {
        std::vector<TopLevel> mapped;
        for (const auto& window : ManagedTopLevelsOf(run.Pid()))
          if (window.mapped) mapped.push_back(window);
        login = OneOfSize(mapped, kLoginWidth, kLoginHeight);
        return login.has_value();
      },
      30);
  ASSERT_TRUE(login) << folder.ReadFile("run.out");
  ASSERT_TRUE(WaitUntilDrawn(login->x, login->y, login->width, login->height)) << "the login page was never drawn";
  // The name field has the focus; the keyboard goes to the window under the pointer.
  MovePointer(login->x + login->width / 2, login->y + 5);
  const std::string empty = LookAt(login->x, login->y, login->width, login->height);
  for (const KeySym key : {XK_a, XK_l, XK_i, XK_c, XK_e}) PressKey(key);
  // As a player does: Enter once the name shows.
  ASSERT_TRUE(WaitUntilDrawn(login->x, login->y, login->width, login->height, empty)) << "the typed name never showed";
  PressKey(XK_Return);

  std::optional<TopLevel> main;
  RunUntil(
      [&] {
        for (const auto& window : ManagedTopLevelsOf(run.Pid()))
          if (window.mapped && window.width == kMainWidth && window.height == kMainHeight) main = window;
        return main.has_value();
      },
      30);
  if (!main) SaveScreenshot(fs::path(WENDRAKE_SCREENSHOT_DIR) / "Package.NoLogin.png");
  EXPECT_TRUE(main) << "no login: " << Describe(ManagedTopLevelsOf(run.Pid())) << folder.ReadFile("run.out");

  if (main) {
    // The desktop groups the program's windows by the class its entry names.
    XClassHint hint{};
    ASSERT_TRUE(XGetClassHint(TestDisplay(), main->id, &hint));
    const std::string windowClass = hint.res_class;
    XFree(hint.res_name);
    XFree(hint.res_class);
    const std::string entry = folder.ReadFile(system / "usr/share/applications/com.lumifold.Wendrake.desktop");
    EXPECT_NE(entry.find("\nStartupWMClass=" + windowClass + "\n"), std::string::npos) << windowClass;
  }

  run.Signal(SIGTERM);
  ASSERT_TRUE(run.WaitForEnd()) << folder.ReadFile("run.out");
  EXPECT_EQ(run.WaitStatus(), 0) << DescribeStatus(run.WaitStatus());

  const fs::path data = session.DataHome() / "wendrake";
  for (const char* file : {"registry.reg", "update_info.xml", "update.xml", "Temp"}) EXPECT_TRUE(fs::exists(data / file)) << file;
  const std::string hive = folder.ReadFile(data / "registry.reg");
  EXPECT_NE(hive.find("\"Home\"=\"" + data.string() + "\""), std::string::npos) << hive;
  // wendrakectl, with no --root, finds the same data.
  const auto home = testing::RunProcess(
      {"/usr/bin/env", "XDG_DATA_HOME=" + session.DataHome().string(), (system / "usr/bin/wendrakectl").string(), "settings", "get", "Home"});
  EXPECT_EQ(home.out, data.string() + "\n") << home.err;
  EXPECT_EQ(Listing(system), before) << "something was written beside the program";
}

}  // namespace
}  // namespace wendrake::programtest

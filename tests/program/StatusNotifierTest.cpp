// The tray on a desktop whose panel speaks StatusNotifier and has no X11 tray: the
// icon registers as an item after the login, and the exit command of the menu it
// exports ends the program as the X11 tray's does.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "ProgramFixture.h"
#include "harness/SessionBus.h"
#include "harness/StatusNotifierHost.h"
#include "harness/StatusNotifierWatcher.h"
#include "harness/TopLevelWindows.h"
#include "harness/Wait.h"

namespace wendrake::programtest {
namespace {

class StatusNotifier : public ProgramTest {
 protected:
  StatusNotifier() { program.UseSessionBus(bus.Address()); }

  // A file of the icon, by its name, in the theme folder the item gives.
  static bool HasIconFile(const std::filesystem::path& themeFolder, const std::string& name) {
    std::error_code error;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(themeFolder, error))
      if (entry.is_regular_file() && entry.path().stem() == name) return true;
    return false;
  }

  SessionBus bus;
  StatusNotifierWatcher watcher{bus.Address()};
};

TEST_F(StatusNotifier, ExitFromTheItemsMenuSwitchesTheAddOnsOff) {
  ASSERT_TRUE(watcher.Serving()) << watcher.Problem();
  std::optional<bool> addOnsOnAtRegistration;
  watcher.onRegister = [&](const RegisteredItem&) {
    if (!addOnsOnAtRegistration) addOnsOnAtRegistration = program.CataloguedAddOnsAre(true);
  };
  auto& run = Start();
  ASSERT_TRUE(WaitForLoginDialog(run)) << Describe(Windows(run));
  EXPECT_TRUE(watcher.Items().empty()) << "an item registered while the login dialog stood";

  ASSERT_TRUE(LogIn(run)) << Describe(Windows(run));
  ASSERT_TRUE(RunUntil([&] { return !watcher.Items().empty(); }, 10)) << "no item registered";
  EXPECT_TRUE(*addOnsOnAtRegistration) << "the item registered before the add-ons were switched on";
  EXPECT_EQ(watcher.Items().size(), 1u);

  StatusNotifierHost host(watcher.Connection(), watcher.Items().front());
  EXPECT_EQ(host.Property("Id"), "wendrake") << host.Errors();
  EXPECT_EQ(host.Property("Title"), "Lumifold https://www.lumifold.com") << host.Errors();
  EXPECT_EQ(host.Property("Status"), "Active") << host.Errors();
  EXPECT_EQ(host.Property("IconName"), "wendrake") << host.Errors();
  const auto themeFolder = host.Property("IconThemePath");
  ASSERT_TRUE(themeFolder) << host.Errors();
  const auto inside = std::filesystem::path(*themeFolder).lexically_relative(program.Root());
  EXPECT_TRUE(!inside.empty() && *inside.begin() != "..") << *themeFolder << " is outside the installation";
  EXPECT_TRUE(HasIconFile(*themeFolder, "wendrake")) << "no wendrake icon in " << *themeFolder;

  const auto menu = host.Menu();
  ASSERT_TRUE(menu) << host.Errors();
  std::vector<std::string> labels;
  for (const auto& entry : *menu) labels.push_back(entry.label);
  ASSERT_EQ(labels, (std::vector<std::string>{"隐藏", "退出"}));

  host.Click(menu->back().id);
  ASSERT_TRUE(run.WaitForEnd()) << "the program did not end\n" << host.Errors();
  EXPECT_EQ(DescribeStatus(run.WaitStatus()), "exited with 0");
  EXPECT_TRUE(program.CataloguedAddOnsAre(false));
}

// The window manager minimises the main window: the menu's first entry now
// offers to show it, and a click on the icon brings the window back.
TEST_F(StatusNotifier, AClickOnTheItemBringsBackTheMinimisedWindow) {
  ASSERT_TRUE(watcher.Serving()) << watcher.Problem();
  auto& run = Start();
  const auto main = LogIn(run);
  ASSERT_TRUE(main) << Describe(Windows(run));
  ASSERT_TRUE(RunUntil([&] { return !watcher.Items().empty(); }, 10)) << "no item registered";
  StatusNotifierHost host(watcher.Connection(), watcher.Items().front());
  const auto lastAnnounced = [&] {
    const auto labels = host.AnnouncedLabels(1);
    return labels.empty() ? std::string() : labels.back();
  };

  // Without a window manager, GTK takes a window unmapped by someone else for a minimised one.
  XUnmapWindow(TestDisplay(), main->id);
  XSync(TestDisplay(), False);
  EXPECT_TRUE(RunUntil([&] { return lastAnnounced() == "显示"; })) << "announced: " << lastAnnounced() << "\n" << host.Errors();
  const auto menu = host.Menu();
  ASSERT_TRUE(menu && !menu->empty()) << host.Errors();
  EXPECT_EQ(menu->front().label, "显示");

  host.Activate();
  EXPECT_TRUE(RunUntil([&] {
    const auto window = MainWindow(run);
    return window && window->mapped;
  })) << Describe(Windows(run));
  EXPECT_TRUE(RunUntil([&] { return lastAnnounced() == "隐藏"; })) << "announced: " << lastAnnounced() << "\n" << host.Errors();
}

}  // namespace
}  // namespace wendrake::programtest

// The main window in-process, with real views and dialogs: how its run ends, the
// notification area, the drag bands and a missing main page.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "DesktopFixture.h"
#include "RealPointer.h"
#include "SyntheticInput.h"
#include "app/desktop/CPagewickDlg.h"
#include "commands/AccountCommands.h"
#include "dialogs/CBoxDlg.h"

namespace wendrake {
namespace {

namespace fs = std::filesystem;
using testing::RunUntil;

// The login page tells the shell it was shown, then logs in at once.
constexpr const char* kLoginPage =
    "<!DOCTYPE html><html><body><script>window.external.OpenLinkNewWindow('http://login/');"
    "window.external.DeliverUserInfo('tester', '');</script></body></html>";
constexpr const char* kMainPage = "<!DOCTYPE html><html><body><script>function SetUserInfo(user, image) {}</script></body></html>";

class MainWindow : public testing::DesktopFixture {
 protected:
  void SetUp() override {
    installation.WriteCatalog({"Alpha"});
    addOn = installation.MakeGameFolder() / "Interface" / "AddOns" / "Alpha";
    installation.WriteFile(addOn / "RiftAddon.txt", "manifest");
    installation.WriteFile("UI/pages/sc/login.html", kLoginPage);
    installation.WriteFile("UI/pages/sc/main.html", kMainPage);
    UserLoggedIn = false;
  }

  bool SwitchedOn() const { return fs::exists(addOn / "RiftAddon.toc") && !fs::exists(addOn / "RiftAddon.txt"); }
  size_t LoginsShown() const { return std::count(shell.opened.begin(), shell.opened.end(), "http://login/"); }

  // Runs the window's whole life; `step` is called on its loop every few
  // milliseconds until it answers true.
  int Run(CPagewickDlg& window, std::function<bool()> step) {
    struct Driver {
      std::function<bool()> step;
      guint source = 0;
    } driver{std::move(step)};
    driver.source = g_timeout_add(
        10,
        [](gpointer data) -> gboolean {
          auto* d = static_cast<Driver*>(data);
          if (!d->step()) return G_SOURCE_CONTINUE;
          d->source = 0;
          return G_SOURCE_REMOVE;
        },
        &driver);
    const int result = window.DoModal();
    if (driver.source) g_source_remove(driver.source);
    return result;
  }

  std::optional<SingleInstanceGuard> instance = SingleInstanceGuard::Acquire("main-window-test", installation.Root() / "run");
  fs::path addOn;
};

TEST_F(MainWindow, EnterOrEscapeReachingTheWindowItselfEndsTheRunAndSwitchesOff) {
  const struct {
    guint key;
    int result;
  } cases[] = {{GDK_KEY_Return, IDOK}, {GDK_KEY_KP_Enter, IDOK}, {GDK_KEY_Escape, IDCANCEL}};
  for (const auto& c : cases) {
    SCOPED_TRACE(gdk_keyval_name(c.key));
    UserLoggedIn = false;
    // A run is a program's whole life: its end ends the page channel for good.
    WebViewEnvironment ownEnvironment(installation.Install(), WENDRAKE_WEBEXT_DIR);
    CPagewickDlg window(ownEnvironment, messages, services, *instance);
    bool onWhileShown = false;
    const int result = Run(window, [&] {
      if (!gtk_widget_get_visible(window.Widget())) return false;
      onWhileShown = SwitchedOn();
      // Nothing in the window has the focus: the key reaches the window itself.
      gtk_window_set_focus(GTK_WINDOW(window.Widget()), nullptr);
      testing::SendKey(window.Widget(), c.key);
      return true;
    });
    EXPECT_EQ(result, c.result);
    EXPECT_TRUE(onWhileShown);
    EXPECT_FALSE(SwitchedOn());
  }
  EXPECT_TRUE(messages.texts.empty());
}

// Closing fades the window out and hides it; the program runs on, and the window
// comes back without a new login.
TEST_F(MainWindow, ClosingHidesToTheNotificationAreaWithoutEndingTheSession) {
  CPagewickDlg window(environment, messages, services, *instance);
  GtkWidget* widget = window.Widget();
  enum { kShowing, kFading, kHidden, kBack } phase = kShowing;
  bool faded = false;
  const int result = Run(window, [&] {
    switch (phase) {
      case kShowing:
        if (!gtk_widget_get_visible(widget)) return false;
        window.CloseTopLevel();
        phase = kFading;
        return false;
      case kFading:
        faded = faded || gtk_widget_get_opacity(widget) < 0.9;
        if (gtk_widget_get_visible(widget)) return false;
        phase = kHidden;
        return false;
      case kHidden:
        EXPECT_EQ(gtk_widget_get_opacity(widget), 1.0);
        window.BringForward("");
        phase = kBack;
        return false;
      case kBack:
        if (!gtk_widget_get_mapped(widget)) return false;
        window.EndModalLoop(0);
        return true;
    }
    return true;
  });
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(faded);
  EXPECT_EQ(LoginsShown(), 1u);
  EXPECT_FALSE(SwitchedOn());
}

TEST_F(MainWindow, OnlyTheTopAndBottomBandsMoveTheWindow) {
  const struct {
    int row;
    bool moves;
  } cases[] = {{0, true}, {109, true}, {110, false}, {400, false}, {670, false}, {671, true}, {703, true}};
  CPagewickDlg window(environment, messages, services, *instance);
  GtkWindow* gtkWindow = GTK_WINDOW(window.Widget());
  Run(window, [&] {
    if (!gtk_widget_get_mapped(window.Widget())) return false;
    for (const auto& c : cases) {
      SCOPED_TRACE(c.row);
      gtk_window_move(gtkWindow, 100, 100);
      EXPECT_TRUE(RunUntil([&] {
        int x = 0, y = 0;
        gdk_window_get_origin(gtk_widget_get_window(window.Widget()), &x, &y);
        return x == 100 && y == 100;
      }));
      testing::DragInWindow(window.Widget(), 400, c.row, 40, 24);
      int x = 0, y = 0;
      gdk_window_get_origin(gtk_widget_get_window(window.Widget()), &x, &y);
      EXPECT_EQ(x == 140 && y == 124, c.moves) << x << "," << y;
      EXPECT_EQ(x == 100 && y == 100, !c.moves) << x << "," << y;
    }
    window.EndModalLoop(0);
    return true;
  });
}

// A captionless window has no title bar to open its window menu from: Alt+Space
// does. Its About entry has never opened anything.
TEST_F(MainWindow, AltSpaceOpensTheWindowMenuWithItsAboutEntry) {
  CPagewickDlg window(environment, messages, services, *instance);
  std::vector<std::string> labels;
  bool runningAfterAbout = false;
  Run(window, [&] {
    if (!gtk_widget_get_mapped(window.Widget())) return false;
    testing::SendKey(window.Widget(), GDK_KEY_space, GDK_MOD1_MASK);
    GList* menus = gtk_menu_get_for_attach_widget(window.Widget());
    if (menus && gtk_widget_get_visible(GTK_WIDGET(menus->data))) {
      GList* items = gtk_container_get_children(GTK_CONTAINER(menus->data));
      for (GList* item = items; item; item = item->next) labels.push_back(gtk_menu_item_get_label(GTK_MENU_ITEM(item->data)));
      if (items) gtk_menu_item_activate(GTK_MENU_ITEM(items->data));
      g_list_free(items);
      gtk_menu_popdown(GTK_MENU(menus->data));
    }
    runningAfterAbout = gtk_widget_get_visible(window.Widget()) && !window.Closing();
    window.EndModalLoop(0);
    return true;
  });
  EXPECT_EQ(labels, std::vector<std::string>{kAboutEntry});
  EXPECT_TRUE(runningAfterAbout);
}

TEST_F(MainWindow, AMissingMainPageIsReportedAndNothingIsSwitched) {
  fs::remove(installation.Root() / "UI/pages/sc/main.html");
  CPagewickDlg window(environment, messages, services, *instance);
  EXPECT_EQ(window.DoModal(), kMainPageMissing);
  EXPECT_EQ(messages.texts, std::vector<std::string>{kMissingMainPage});
  EXPECT_EQ(LoginsShown(), 0u);
  EXPECT_TRUE(fs::exists(addOn / "RiftAddon.txt"));
}

}  // namespace
}  // namespace wendrake

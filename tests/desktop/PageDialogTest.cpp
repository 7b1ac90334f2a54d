// Page dialogs over a real window: where they stand, how they end, whom they tell.
#include <gtest/gtest.h>

#include "DesktopFixture.h"
#include "dialogs/CBoxDlg.h"

namespace wendrake {
namespace {

using testing::PageWithScript;
using testing::RunUntil;

// A dialog page that says nothing at load: in a real dialog that would open a real
// message box over it.
std::string DialogPage(const std::string& script) {
  return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body><script>" + script + "</script></body></html>";
}

class PageDialog : public testing::DesktopFixture {
 protected:
  // The main page in a 924 x 704 window standing at (100, 80).
  CCustomHtmlView& OpenMainPage() {
    auto& main = OpenPage("main.html", PageWithScript("function SetUserInfo(user, image) { window.external.ShowMsgBox('user ' + user); }"));
    GtkWindow* window = GTK_WINDOW(WindowOf(main).Widget());
    gtk_widget_set_size_request(GTK_WIDGET(window), 924, 704);
    gtk_window_move(window, 100, 80);
    EXPECT_TRUE(WaitForEvent(WindowOf(main), "dialog ready"));
    EXPECT_TRUE(RunUntil([&] {
      int x = 0, y = 0, w = 0, h = 0;
      gtk_window_get_position(window, &x, &y);
      gtk_window_get_size(window, &w, &h);
      return x == 100 && y == 80 && w == 924 && h == 704;
    }));
    return main;
  }

  // Runs the dialog; `whileShown` runs once its page has completed.
  int Run(CBoxDlg& dialog, std::function<void()> whileShown) {
    struct Pending {
      CBoxDlg* dialog;
      std::function<void()> action;
    } pending{&dialog, std::move(whileShown)};
    g_timeout_add(10, [](gpointer data) -> gboolean {
      auto* p = static_cast<Pending*>(data);
      if (!p->dialog->PageHostView().ClickSink.IsConnected()) return G_SOURCE_CONTINUE;
      p->action();
      return G_SOURCE_REMOVE;
    }, &pending);
    return dialog.DoModal();
  }
};

TEST_F(PageDialog, StandsCentredOverItsOpenerAndEndsFromItsPage) {
  auto& main = OpenMainPage();
  CBoxDlg dialog(environment, messages, services, installation.WriteFile("UI/pages/sc/login.html", DialogPage("function Done() { window.external.EndDialogBox(); }")).string(),
                 {0, 0, 367, 273}, u"", GTK_WINDOW(WindowOf(main).Widget()), &main);
  int x = 0, y = 0, w = 0, h = 0;
  const int result = Run(dialog, [&] {
    gtk_window_get_position(GTK_WINDOW(dialog.Widget()), &x, &y);
    gtk_window_get_size(GTK_WINDOW(dialog.Widget()), &w, &h);
    dialog.PageHostView().RefreshDocument();
    dialog.PageHostView().CallPageScript(u"Done", std::vector<std::u16string>{});
  });
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(std::vector<int>({x, y, w, h}), std::vector<int>({100 + 278, 80 + 215, 367, 273}));
  EXPECT_FALSE(dialog.HasMessage);
}

TEST_F(PageDialog, ALoginReachesTheOpenersPageAndEndsTheDialog) {
  auto& main = OpenMainPage();
  CBoxDlg dialog(environment, messages, services,
                 installation.WriteFile("UI/pages/sc/login.html", DialogPage("function Login() { window.external.DeliverUserInfo('player', ''); }")).string(),
                 {0, 0, 367, 273}, u"", GTK_WINDOW(WindowOf(main).Widget()), &main);
  const int result = Run(dialog, [&] {
    dialog.PageHostView().RefreshDocument();
    dialog.PageHostView().CallPageScript(u"Login", std::vector<std::u16string>{});
  });
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(WindowOf(main).events, (std::vector<std::string>{"dialog ready", "dialog user player"}));
}

TEST_F(PageDialog, TheCloseCommandIsTheCancelPath) {
  auto& main = OpenMainPage();
  CBoxDlg dialog(environment, messages, services, installation.WriteFile("UI/pages/sc/game.html", DialogPage("function Quit() { window.external.Close(); }")).string(),
                 {0, 0, 520, 204}, u"", GTK_WINDOW(WindowOf(main).Widget()), &main);
  const int result = Run(dialog, [&] {
    dialog.PageHostView().RefreshDocument();
    dialog.PageHostView().CallPageScript(u"Quit", std::vector<std::u16string>{});
  });
  EXPECT_EQ(result, IDCANCEL);
}

}  // namespace
}  // namespace wendrake

// Page dialogs over a real window: where they stand, how they end, whom they tell.
#include <gtest/gtest.h>

#include "PageDialogFixture.h"
#include "RealPointer.h"

namespace wendrake {
namespace {

using testing::DialogPage;
using testing::Point;
using testing::PositionOf;
using testing::SizeOf;

class PageDialog : public testing::PageDialogFixture {};

TEST_F(PageDialog, StandsCentredOverItsOpenerAndEndsFromItsPage) {
  auto& main = OpenMainPage();
  CBoxDlg dialog(environment, messages, services,
                 installation.WriteFile("UI/pages/sc/login.html", DialogPage("function Done() { window.external.EndDialogBox(); }")).string(),
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
  CBoxDlg dialog(
      environment, messages, services,
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
  CBoxDlg dialog(environment, messages, services,
                 installation.WriteFile("UI/pages/sc/game.html", DialogPage("function Quit() { window.external.Close(); }")).string(),
                 {0, 0, 520, 204}, u"", GTK_WINDOW(WindowOf(main).Widget()), &main);
  const int result = Run(dialog, [&] {
    dialog.PageHostView().RefreshDocument();
    dialog.PageHostView().CallPageScript(u"Quit", std::vector<std::u16string>{});
  });
  EXPECT_EQ(result, IDCANCEL);
}

TEST_F(PageDialog, APressInTheTopThirtyRowsDragsTheDialog) {
  auto& main = OpenMainPage();
  auto dialog = NewDialog(main, "login.html", DialogPage(""), 367, 273);
  GtkWindow* window = GTK_WINDOW(dialog->Widget());
  const struct {
    int y;
    bool drags;
  } cases[] = {{30, false}, {29, true}, {0, true}, {150, false}};
  Run(*dialog, [&] {
    for (const auto& c : cases) {
      SCOPED_TRACE("press at client row " + std::to_string(c.y));
      const Point before = PositionOf(window);
      testing::DragInWindow(GTK_WIDGET(window), 180, c.y, 40, 30);
      const Point after = PositionOf(window);
      EXPECT_EQ(after, (c.drags ? Point{before.x + 40, before.y + 30} : before));
    }
    dialog->EndDialog(IDOK);
  });
}

TEST_F(PageDialog, AMessageBoxFromADialogsPageStandsCentredOverThatDialogAndGetsItsCode) {
  auto& main = OpenMainPage();
  installation.WriteFile("UI/pages/sc/error.html", DialogPage("function InitMsgBox(code) { document.title = 'code ' + code; }"));
  // The box is 387 x 197; over a lower dialog it stands above it, and the division
  // truncates toward zero: (150 - 197) / 2 is -23, not -24.
  const struct {
    int width, height;
    Point dialogAt, boxAt;
  } cases[] = {
      {520, 204, {100 + 202, 80 + 250}, {302 + 66, 330 + 3}},
      {367, 150, {100 + 278, 80 + 277}, {378 - 10, 357 - 23}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
    auto dialog = NewDialog(main, "select_game.html", DialogPage("function Raise() { window.external.ShowMsgBox('1011'); }"), c.width, c.height);
    GtkWindow* window = GTK_WINDOW(dialog->Widget());
    Point dialogAt, boxAt, boxSize;
    std::string title;
    Run(*dialog, [&] {
      dialogAt = PositionOf(window);
      WhenOpenedOver(window, [&](GtkWindow* box) {
        boxAt = PositionOf(box);
        boxSize = SizeOf(box);
        testing::RunUntil([&] { return (title = testing::TitleIn(box)) == "code 1011"; }, 5);
        gtk_window_close(box);
      });
      dialog->PageHostView().RefreshDocument();
      dialog->PageHostView().CallPageScript(u"Raise", std::vector<std::u16string>{});
      dialog->EndDialog(IDOK);
    });
    EXPECT_EQ(dialogAt, c.dialogAt);
    EXPECT_EQ(boxAt, c.boxAt);
    EXPECT_EQ(boxSize, (Point{387, 197}));
    EXPECT_EQ(title, "code 1011");
  }
}

}  // namespace
}  // namespace wendrake

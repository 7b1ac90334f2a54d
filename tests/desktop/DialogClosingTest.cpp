// Ending every open page dialog as the program ends, and no dialog opening over a
// window that is ending.
#include <gtest/gtest.h>

#include "PageDialogFixture.h"

namespace wendrake {
namespace {

using testing::DialogPage;

class DialogClosing : public testing::PageDialogFixture {};

// Nested dialogs open; the main window starts ending from the inner one's loop, as
// a tray exit or a termination signal would.
TEST_F(DialogClosing, EndAllEndsNestedDialogsInnermostFirstAndNoDialogOpensAfterwards) {
  auto& main = OpenMainPage();
  auto outer = NewDialog(main, "login.html", DialogPage(""), 367, 273);
  GtkWindow* outerWindow = GTK_WINDOW(outer->Widget());
  const std::string innerPage = installation.WriteFile("UI/pages/sc/error.html", DialogPage("function InitMsgBox(code) {}")).string();
  std::vector<std::string> ends;
  GtkWindow* innermostAfterInner = nullptr;
  std::size_t hooksAfterInner = 0;
  int openedWhileClosing = 0;
  const int outerResult = Run(*outer, [&] {
    WhenOpenedOver(outerWindow, [&](GtkWindow*) {
      WindowOf(main).closing = true;
      CBoxDlg::EndAll();
    });
    ends.push_back("inner " + std::to_string(outer->RunPageDialog({innerPage, 387, 197, u"1004"})));
    // The outer dialog has been ended too; its run returns once this step has.
    innermostAfterInner = CBoxDlg::Innermost();
    hooksAfterInner = ShakeHooks::Count();
    openedWhileClosing = outer->RunPageDialog({innerPage, 387, 197, u"1005"});
  });
  ends.push_back("outer " + std::to_string(outerResult));
  EXPECT_EQ(ends, (std::vector<std::string>{"inner " + std::to_string(IDCANCEL), "outer " + std::to_string(IDCANCEL)}));
  EXPECT_EQ(innermostAfterInner, outerWindow);
  EXPECT_EQ(hooksAfterInner, 1u);
  EXPECT_EQ(openedWhileClosing, kDialogNotShown);
  EXPECT_EQ(ShakeHooks::Count(), 0u);
  EXPECT_EQ(CBoxDlg::Innermost(), nullptr);

  // A dialog asked for later over the ending window answers at once and never shows.
  auto later = NewDialog(main, "select_game.html", DialogPage(""), 520, 204);
  bool mapped = false;
  g_signal_connect(later->Widget(), "map", G_CALLBACK(+[](GtkWidget*, gpointer seen) { *static_cast<bool*>(seen) = true; }), &mapped);
  EXPECT_EQ(later->DoModal(), kDialogNotShown);
  EXPECT_FALSE(mapped);
  EXPECT_EQ(ShakeHooks::Count(), 0u);
}

}  // namespace
}  // namespace wendrake

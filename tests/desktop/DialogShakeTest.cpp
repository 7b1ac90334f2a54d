// Presses beside an open page dialog shake it; each dialog keeps its own hook for
// exactly as long as it is open.
#include <gtest/gtest.h>

#include <cstdlib>

#include "PageDialogFixture.h"
#include "SyntheticInput.h"

namespace wendrake {
namespace {

using testing::DialogPage;
using testing::Point;
using testing::PositionOf;
using testing::PutButton;
using testing::Settle;
using testing::ViewIn;

// The positions a shake from `origin` goes through with the generator seeded so.
std::vector<Point> ShakeFrom(Point origin, unsigned seed) {
  std::srand(seed);
  std::vector<Point> moves;
  for (int move = 0; move < 5; ++move) {
    const int dx = std::rand() % 20 - 10;
    const int dy = std::rand() % 20 - 10;
    moves.push_back({origin.x + dx, origin.y + dy});
  }
  moves.push_back(origin);
  std::vector<Point> distinct;
  for (const Point& point : moves)
    if (!(point == (distinct.empty() ? origin : distinct.back()))) distinct.push_back(point);
  return distinct;
}

class DialogShake : public testing::PageDialogFixture {
 protected:
  // Puts the button event on GDK's queue with the generator seeded, and lets it and
  // whatever it moved go through.
  void Press(GtkWidget* target, GdkEventType type, guint button, unsigned seed) {
    Settle();
    std::srand(seed);
    PutButton(target, type, button, 40, 150);
    Settle();
  }
};

TEST_F(DialogShake, ALeftPressOnTheBlockedWindowShakesTheDialogAndLeavesItWhereItWas) {
  auto& main = OpenMainPage();
  auto dialog = NewDialog(main, "login.html", DialogPage(""), 367, 273);
  GtkWindow* window = GTK_WINDOW(dialog->Widget());
  GtkWidget* mainPage = GTK_WIDGET(main.WebView());
  struct Case {
    const char* name;
    GtkWidget* target;  // null: the dialog's own page
    GdkEventType type;
    guint button;
    bool shakes;
  };
  const Case cases[] = {
      {"left press on the main page", mainPage, GDK_BUTTON_PRESS, 1, true},
      {"left press on the main window's own area", GTK_WIDGET(MainWindow(main)), GDK_BUTTON_PRESS, 1, true},
      {"right press on the main page", mainPage, GDK_BUTTON_PRESS, 3, false},
      {"middle press on the main page", mainPage, GDK_BUTTON_PRESS, 2, false},
      {"left release on the main page", mainPage, GDK_BUTTON_RELEASE, 1, false},
      {"left press in the dialog's own page", nullptr, GDK_BUTTON_PRESS, 1, false},
  };
  // GTK hands a press its grab blocks to the grab's window, which drops it.
  std::vector<guint> passedOn;
  g_signal_connect(window, "button-press-event", G_CALLBACK(+[](GtkWidget* dialogWindow, GdkEventButton* event, gpointer seen) -> gboolean {
                     if (gdk_window_get_toplevel(event->window) != gtk_widget_get_window(dialogWindow))
                       static_cast<std::vector<guint>*>(seen)->push_back(event->button);
                     return FALSE;
                   }),
                   &passedOn);
  Run(*dialog, [&] {
    const Point origin = PositionOf(window);
    testing::MoveRecorder recorder(window);
    unsigned seed = 11;
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      recorder.Clear();
      Press(c.target ? c.target : GTK_WIDGET(dialog->PageHostView().WebView()), c.type, c.button, ++seed);
      EXPECT_EQ(recorder.Moves(origin), c.shakes ? ShakeFrom(origin, seed) : std::vector<Point>{});
      EXPECT_EQ(PositionOf(window), origin);
    }
    dialog->EndDialog(IDOK);
  });
  EXPECT_EQ(passedOn, (std::vector<guint>{1, 1, 3, 2}));
}

TEST_F(DialogShake, EveryWayADialogEndsTakesItsHookWithIt) {
  auto& main = OpenMainPage();
  enum class Way { EndDialogBox, CloseWindow, KeyOnTheWindow, KeyInThePage, WindowManagersClose };
  struct Case {
    const char* name;
    Way way;
    guint key;
    int result;
  };
  const Case cases[] = {
      {"EndDialogBox from its page", Way::EndDialogBox, 0, IDOK},
      {"CloseWindow from its page", Way::CloseWindow, 0, IDCANCEL},
      {"Enter on the dialog window: the OK path", Way::KeyOnTheWindow, GDK_KEY_Return, IDOK},
      {"keypad Enter on the dialog window", Way::KeyOnTheWindow, GDK_KEY_KP_Enter, IDOK},
      {"Escape on the dialog window: the cancel path", Way::KeyOnTheWindow, GDK_KEY_Escape, IDCANCEL},
      {"Enter in its page is the page's (here it closes)", Way::KeyInThePage, GDK_KEY_Return, IDCANCEL},
      {"the window manager's close", Way::WindowManagersClose, 0, IDCANCEL},
  };
  const std::string page = DialogPage(
      "function Finish() { window.external.EndDialogBox(); }"
      "function Cancel() { window.external.CloseWindow(); }"
      "function KeyPressed(key) { window.external.CloseWindow(); }");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto dialog = NewDialog(main, "select_game.html", page, 520, 204);
    GtkWindow* window = GTK_WINDOW(dialog->Widget());
    CCustomHtmlView& view = dialog->PageHostView();
    std::size_t hooksWhileOpen = 0;
    GtkWindow* innermostWhileOpen = nullptr;
    const int result = Run(*dialog, [&] {
      hooksWhileOpen = ShakeHooks::Count();
      innermostWhileOpen = CBoxDlg::Innermost();
      switch (c.way) {
        case Way::EndDialogBox:
        case Way::CloseWindow:
          view.RefreshDocument();
          view.CallPageScript(c.way == Way::EndDialogBox ? u"Finish" : u"Cancel", std::vector<std::u16string>{});
          break;
        case Way::KeyOnTheWindow:
          // Nothing in the dialog has the focus: the key stays with the window.
          gtk_window_set_focus(window, nullptr);
          testing::SendKey(GTK_WIDGET(window), c.key);
          break;
        case Way::KeyInThePage:
          gtk_widget_grab_focus(GTK_WIDGET(view.WebView()));
          testing::SendKey(GTK_WIDGET(window), c.key);
          break;
        case Way::WindowManagersClose: gtk_window_close(window); break;
      }
    });
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(hooksWhileOpen, 1u);
    EXPECT_EQ(innermostWhileOpen, window);
    EXPECT_EQ(ShakeHooks::Count(), 0u);
    EXPECT_EQ(CBoxDlg::Innermost(), nullptr);
  }
}

TEST_F(DialogShake, NestedDialogsShakeTheInnerOneAndEachRemovesItsOwnHook) {
  auto& main = OpenMainPage();
  auto outer = NewDialog(main, "login.html", DialogPage(""), 367, 273);
  GtkWindow* outerWindow = GTK_WINDOW(outer->Widget());
  const std::string innerPage = installation.WriteFile("UI/pages/sc/error.html", DialogPage("function InitMsgBox(code) {}")).string();
  struct Case {
    const char* name;
    std::function<GtkWidget*(GtkWindow* inner)> target;
    bool shakesInner;
  };
  const Case cases[] = {
      {"left press on the main page", [&](GtkWindow*) { return GTK_WIDGET(main.WebView()); }, true},
      {"left press on the outer dialog's page", [&](GtkWindow*) { return GTK_WIDGET(outer->PageHostView().WebView()); }, true},
      {"left press in the inner dialog's page", [](GtkWindow* inner) { return GTK_WIDGET(ViewIn(inner)); }, false},
  };
  std::vector<std::size_t> hooks;
  int innerResult = 0;
  const int outerResult = Run(*outer, [&] {
    WhenOpenedOver(outerWindow, [&](GtkWindow* inner) {
      hooks.push_back(ShakeHooks::Count());
      const Point outerAt = PositionOf(outerWindow), innerAt = PositionOf(inner);
      testing::MoveRecorder outerMoves(outerWindow), innerMoves(inner);
      unsigned seed = 21;
      for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        outerMoves.Clear();
        innerMoves.Clear();
        Press(c.target(inner), GDK_BUTTON_PRESS, 1, ++seed);
        EXPECT_EQ(innerMoves.Moves(innerAt), c.shakesInner ? ShakeFrom(innerAt, seed) : std::vector<Point>{});
        EXPECT_EQ(outerMoves.Moves(outerAt), std::vector<Point>{});
        EXPECT_EQ(PositionOf(inner), innerAt);
      }
      gtk_window_close(inner);
    });
    // As a page's ShowMsgBox opens its message box over the dialog.
    innerResult = outer->RunPageDialog({innerPage, 387, 197, u"1004"});
    hooks.push_back(ShakeHooks::Count());
    EXPECT_EQ(CBoxDlg::Innermost(), outerWindow);
    outer->EndDialog(IDOK);
  });
  hooks.push_back(ShakeHooks::Count());
  EXPECT_EQ(innerResult, IDCANCEL);
  EXPECT_EQ(outerResult, IDOK);
  EXPECT_EQ(hooks, (std::vector<std::size_t>{2, 1, 0}));
  EXPECT_EQ(CBoxDlg::Innermost(), nullptr);
}

}  // namespace
}  // namespace wendrake

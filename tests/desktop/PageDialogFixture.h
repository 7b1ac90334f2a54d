#pragma once
// Page dialogs over a real main page, with steps that run while a dialog's nested
// loop runs.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "DesktopFixture.h"
#include "MoveRecorder.h"
#include "dialogs/CBoxDlg.h"

namespace wendrake::testing {

// A dialog page that says nothing at load: in a real dialog that would open a real
// message box over it.
inline std::string DialogPage(const std::string& script) {
  return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body><script>" + script + "</script></body></html>";
}

inline Point PositionOf(GtkWindow* window) {
  Point point;
  gtk_window_get_position(window, &point.x, &point.y);
  return point;
}

inline Point SizeOf(GtkWindow* window) {
  Point size;
  gtk_window_get_size(window, &size.x, &size.y);
  return size;
}

// The page view a dialog window holds.
inline WebKitWebView* ViewIn(GtkWindow* window) { return WEBKIT_WEB_VIEW(gtk_bin_get_child(GTK_BIN(window))); }

inline std::string TitleIn(GtkWindow* window) {
  const char* title = webkit_web_view_get_title(ViewIn(window));
  return title ? title : "";
}

// Every request this process made has reached the X server, and every event the
// server sent back has gone through its handlers.
inline void Settle() {
  const auto drain = [] {
    for (int round = 0; round < 1000 && g_main_context_iteration(nullptr, FALSE); ++round) {
    }
  };
  drain();
  gdk_display_sync(gdk_display_get_default());
  drain();
}

class PageDialogFixture : public DesktopFixture {
 protected:
  ~PageDialogFixture() override {
    for (auto& step : steps_)
      if (step->source) g_source_remove(step->source);
  }

  // The main page in a 924 x 704 window standing at (100, 80).
  CCustomHtmlView& OpenMainPage() {
    auto& main = OpenPage("main.html", PageWithScript("function SetUserInfo(user, image) { window.external.ShowMsgBox('user ' + user); }"));
    GtkWindow* window = GTK_WINDOW(WindowOf(main).Widget());
    gtk_widget_set_size_request(GTK_WIDGET(window), 924, 704);
    gtk_window_move(window, 100, 80);
    EXPECT_TRUE(WaitForEvent(WindowOf(main), "dialog ready"));
    EXPECT_TRUE(RunUntil([&] { return PositionOf(window) == Point{100, 80} && SizeOf(window) == Point{924, 704}; }));
    return main;
  }
  GtkWindow* MainWindow(CCustomHtmlView& main) { return GTK_WINDOW(WindowOf(main).Widget()); }

  // A dialog over the main window showing a page of the installation's UI folder.
  std::unique_ptr<CBoxDlg> NewDialog(CCustomHtmlView& main, const std::string& name, const std::string& html, int width, int height,
                                     std::u16string message = u"") {
    return std::make_unique<CBoxDlg>(environment, messages, services, installation.WriteFile("UI/pages/sc/" + name, html).string(),
                                     BoxSize{0, 0, width, height}, std::move(message), MainWindow(main), &main);
  }

  // Runs `action` once, from the main loop, as soon as `ready` holds.
  void When(std::function<bool()> ready, std::function<void()> action) {
    steps_.push_back(std::make_unique<Step>(Step{std::move(ready), std::move(action), 0}));
    steps_.back()->source = g_timeout_add(
        10,
        [](gpointer data) -> gboolean {
          auto* step = static_cast<Step*>(data);
          if (!step->ready()) return G_SOURCE_CONTINUE;
          step->source = 0;
          step->action();
          return G_SOURCE_REMOVE;
        },
        steps_.back().get());
  }

  // Runs the dialog; `whileShown` runs once its page has completed. A dialog still
  // open after the time limit is closed as the window manager would, and fails.
  int Run(CBoxDlg& dialog, std::function<void()> whileShown) {
    When([&dialog] { return dialog.PageHostView().ClickSink.IsConnected(); }, std::move(whileShown));
    const guint guard = g_timeout_add_seconds(
        15,
        [](gpointer) -> gboolean {
          ADD_FAILURE() << "a page dialog was still open";
          if (GtkWindow* open = CBoxDlg::Innermost()) gtk_window_close(open);
          return G_SOURCE_CONTINUE;
        },
        nullptr);
    const int result = dialog.DoModal();
    g_source_remove(guard);
    return result;
  }

  // Runs `whileShown` once a dialog opened over `opener` (the innermost) has loaded
  // its page.
  void WhenOpenedOver(GtkWindow* opener, std::function<void(GtkWindow*)> whileShown) {
    When(
        [opener] {
          GtkWindow* innermost = CBoxDlg::Innermost();
          if (!innermost || innermost == opener || !gtk_widget_get_mapped(GTK_WIDGET(innermost))) return false;
          WebKitWebView* view = ViewIn(innermost);
          return !webkit_web_view_is_loading(view) && webkit_web_view_get_estimated_load_progress(view) == 1.0;
        },
        [whileShown = std::move(whileShown)] { whileShown(CBoxDlg::Innermost()); });
  }

 private:
  struct Step {
    std::function<bool()> ready;
    std::function<void()> action;
    guint source;
  };
  std::vector<std::unique_ptr<Step>> steps_;
};

}  // namespace wendrake::testing

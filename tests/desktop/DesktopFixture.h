#pragma once
// Real WebKit views in real GTK windows, with the program's own interfaces
// recording what the views ask of their window, the shell and message boxes.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/Text.h"
#include "pagehost/webkit/CCustomHtmlView.h"
#include "pagehost/webkit/WebViewEnvironment.h"
#include "support/RunUntil.h"
#include "support/TempInstallation.h"

namespace wendrake::testing {

class RecordingMessageBox : public IPlainMessageBox {
 public:
  void Show(GtkWidget*, std::u16string_view text) override { texts.push_back(ToUtf8(text)); }
  void EndAll() override {}
  std::vector<std::string> texts;
};

// A top-level window holding one view; page dialogs are recorded, not shown.
class TestWindow : public IViewHost {
 public:
  TestWindow() : window_(gtk_window_new(GTK_WINDOW_TOPLEVEL)) {
    gtk_window_set_default_size(GTK_WINDOW(window_), 400, 300);
    gtk_widget_show(window_);
  }
  ~TestWindow() override { gtk_widget_destroy(window_); }

  GtkWidget* Widget() override { return window_; }
  std::u16string DialogMessage() const override { return message; }
  void CaptionButton(const GdkEventButton& event) override {
    events.push_back("drag " + std::to_string(int(event.x_root)) + "," + std::to_string(int(event.y_root)));
  }
  int RunPageDialog(const PageDialogRequest& request) override {
    events.push_back("dialog " + ToUtf8(request.message));
    return kDialogNotShown;
  }
  void CloseTopLevel() override { events.push_back("close"); }
  void Minimize() override { events.push_back("minimize"); }
  void EndDialog(int result) override { events.push_back("end-dialog " + std::to_string(result)); }
  bool Closing() const override { return closing; }

  std::u16string message;
  std::vector<std::string> events;
  bool closing = false;

 private:
  GtkWidget* window_;
};

class RecordingShell : public IShell, public INetworkCheck, public IInstanceEnder {
 public:
  bool ShellOpen(std::u16string_view target) override {
    opened.push_back(ToUtf8(target));
    return true;
  }
  bool CheckConnection() override { return true; }
  void EndAllInstances() override {}
  std::vector<std::string> opened;
};

class DesktopFixture : public ::testing::Test {
 protected:
  DesktopFixture() : environment(installation.Install(), WENDRAKE_WEBEXT_DIR) {}

  // A view over a fresh window, showing a page of the installation's UI folder.
  CCustomHtmlView& OpenPage(const std::string& name, const std::string& html, CCustomHtmlView* opener = nullptr) {
    windows.push_back(std::make_unique<TestWindow>());
    views.push_back(std::make_unique<CCustomHtmlView>(environment, messages, services, opener));
    CCustomHtmlView& view = *views.back();
    EXPECT_TRUE(view.CreateInWindow(1000, *windows.back()));
    view.Navigate(installation.WriteFile("UI/pages/sc/" + name, html).string());
    return view;
  }
  TestWindow& WindowOf(const CCustomHtmlView& view) { return static_cast<TestWindow&>(*view.HostWindow()); }

  // Waits until the window's recorded events hold this line.
  bool WaitForEvent(TestWindow& window, const std::string& line) {
    return RunUntil([&] { return std::find(window.events.begin(), window.events.end(), line) != window.events.end(); });
  }

  TempInstallation installation;
  WebViewEnvironment environment;
  RecordingMessageBox messages;
  RecordingShell shell;
  HostServices services{shell, shell, shell};
  std::vector<std::unique_ptr<TestWindow>> windows;
  std::vector<std::unique_ptr<CCustomHtmlView>> views;

  ~DesktopFixture() override {
    views.clear();
    windows.clear();
  }
};

// A page that says it is ready through window.external once its script has run.
inline std::string PageWithScript(const std::string& script, const std::string& body = "") {
  return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body>" + body + "<script>" + script +
         "\nwindow.external.ShowMsgBox('ready');</script></body></html>";
}

}  // namespace wendrake::testing

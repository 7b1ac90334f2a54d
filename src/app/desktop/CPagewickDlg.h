#pragma once
// The main window: borderless, rounded, filled by the main page. It stays hidden
// until a login has succeeded, then lives on in the notification area when
// closed; the program lasts as long as its modal run.
#include <gtk/gtk.h>

#include <memory>
#include <string>

#include "pagehost/webkit/CCustomHtmlView.h"
#include "platform/SingleInstance.h"

namespace wendrake {

class TrayIcon;

inline constexpr int kMainWidth = 924;
inline constexpr int kMainHeight = 704;
inline constexpr const char* kMainTitle = "Lumifold";
inline constexpr const char* kMissingMainPage = "打开文件错误，请重新安装程序！";
inline constexpr const char* kAboutEntry = "关于 Pagewick(_A)...";
// What the run answers when the installation has no main page.
inline constexpr int kMainPageMissing = -1;

class CPagewickDlg : public IViewHost {
 public:
  CPagewickDlg(WebViewEnvironment& environment, IPlainMessageBox& messageBox, const HostServices& services, SingleInstanceGuard& instance);
  ~CPagewickDlg() override;
  CPagewickDlg(const CPagewickDlg&) = delete;
  CPagewickDlg& operator=(const CPagewickDlg&) = delete;

  // The window's whole life: login, the main page, the notification area, until
  // the run is ended. The add-ons are switched off on the way out.
  int DoModal();
  // Ends the run from anywhere (tray menu, signals), open dialogs first. During
  // the login the main window never shows.
  void EndModalLoop(int result);
  // A later start of the program asks for the window.
  void BringForward(const std::string& activationToken);

  GtkWidget* Widget() override { return window_; }
  void CaptionButton(const GdkEventButton& event) override;
  int RunPageDialog(const PageDialogRequest& request) override;
  // Fades out to the notification area; the program goes on.
  void CloseTopLevel() override;
  void Minimize() override { gtk_window_iconify(GTK_WINDOW(window_)); }
  void EndDialog(int) override {}
  bool Closing() const override { return ending_; }

  CCustomHtmlView& PageHostView() { return *view_; }

 private:
  bool OnInitDialog();
  bool OnShowWindow();
  void OnDestroy();
  void CentreInWorkArea();
  void AddTrayIcon();
  void RefreshTray();
  bool IsMinimized() const;
  void ShowNormal();
  void ShowMinimized();
  void StopFade();
  static gboolean KeyPress(GtkWidget*, GdkEventKey* event, gpointer window);
  bool KeyReachedWindow(guint key);

  WebViewEnvironment& environment_;
  IPlainMessageBox& messageBox_;
  HostServices services_;
  SingleInstanceGuard& instance_;
  GList* icons_;
  GtkWidget* window_;
  GtkWidget* windowMenu_ = nullptr;
  std::unique_ptr<CCustomHtmlView> view_;
  std::unique_ptr<TrayIcon> tray_;
  GMainLoop* loop_ = nullptr;
  int result_ = 0;
  bool ending_ = false;
  bool shown_ = false;
  guint fade_ = 0;
};

}  // namespace wendrake

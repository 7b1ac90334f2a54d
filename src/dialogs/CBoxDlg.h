#pragma once
// The modal page dialog: one page in its own page host, centred over the window
// that opens it, with rounded corners and its top rows as a drag band.
#include <gtk/gtk.h>

#include <memory>
#include <optional>
#include <string>

#include "dialogs/ShakeHooks.h"
#include "pagehost/webkit/CCustomHtmlView.h"

namespace wendrake {

struct BoxSize {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

// Results a dialog ends with.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

class CBoxDlg : public IViewHost {
 public:
  // `owner` is the page host of the window that opens the dialog, over `parent`.
  CBoxDlg(WebViewEnvironment& environment, IPlainMessageBox& messageBox, const HostServices& services, std::string pageAddress, const BoxSize& size,
          std::u16string message, GtkWindow* parent, CCustomHtmlView* owner);
  ~CBoxDlg() override;
  CBoxDlg(const CBoxDlg&) = delete;
  CBoxDlg& operator=(const CBoxDlg&) = delete;

  // Shows the dialog and runs a nested main loop until it has ended, by any path;
  // kDialogNotShown when the window it would stand over is closing.
  int DoModal();

  // Ends every open dialog with IDCANCEL, innermost first, as the program ends.
  static void EndAll();
  // The innermost open dialog's window; null when none is open.
  static GtkWindow* Innermost();

  GtkWidget* Widget() override { return window_; }
  std::u16string DialogMessage() const override { return MessageText; }
  void CaptionButton(const GdkEventButton& event) override;
  int RunPageDialog(const PageDialogRequest& request) override;
  void CloseTopLevel() override { End(IDCANCEL); }
  void Minimize() override { gtk_window_iconify(GTK_WINDOW(window_)); }
  void EndDialog(int result) override { End(result); }
  bool Closing() const override;

  CCustomHtmlView& PageHostView() { return *view_; }

  const BoxSize Size;
  const std::u16string MessageText;
  const std::string PageAddress;
  const bool HasMessage;

 private:
  void End(int result);
  void OnOK();
  void CentreOverParent();

  WebViewEnvironment& environment_;
  IPlainMessageBox& messageBox_;
  HostServices services_;
  GtkWindow* parent_;
  GtkWidget* window_;
  std::unique_ptr<CCustomHtmlView> view_;
  GMainLoop* loop_ = nullptr;
  int result_ = IDCANCEL;
  std::optional<ShakeHooks::Id> hook_;
};

}  // namespace wendrake

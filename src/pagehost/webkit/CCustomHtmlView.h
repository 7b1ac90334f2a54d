#pragma once
// The page host of every window: a browser view whose page reaches the page methods
// through window.external, with the input filter and browser events of the program.
#include <optional>

#include "core/PageHost.h"
#include "pagehost/webkit/CCusEvtHandler.h"
#include "pagehost/webkit/CHtmlViewEx.h"

namespace wendrake {

class CCustomHtmlView : public CHtmlViewEx, public IPageEndpoint {
 public:
  // `opener` is the view whose page opened this view's page dialog, if any.
  CCustomHtmlView(WebViewEnvironment& environment, IPlainMessageBox& messageBox, const HostServices& services, CCustomHtmlView* opener = nullptr);
  ~CCustomHtmlView() override;

  bool CreateInWindow(unsigned controlId, IViewHost& host);

  // What handlers run on; exists once the view is created in its window.
  const PageHost& Host() const { return *pageHost_; }
  CCustomHtmlView* const OpenerViewWindow;
  CCusEvtHandler ClickSink;

  InvokeOutcome OnPageCall(std::int32_t memberId, const std::vector<PageValue>& arguments) override;
  void OnLinkClicked(const std::u16string& address) override { ClickSink.OnDocumentClick(address); }
  void OnKeyPressed(const std::u16string& key) override;
  IPageEndpoint* GetExternal() override { return this; }
  HRESULT ShowCustomContextMenu() override { return S_OK; }

 protected:
  void OnNavigationStarting() override { ClickSink.Disconnect(); }
  void OnDocumentComplete() override;

 private:
  static gboolean KeyPress(GtkWidget*, GdkEventKey* event, gpointer view);
  static gboolean ButtonEvent(GtkWidget*, GdkEventButton* event, gpointer view);
  static gboolean Motion(GtkWidget*, GdkEventMotion* event, gpointer view);
  static GtkWidget* NewWindowRequest(WebKitWebView*, WebKitNavigationAction*, gpointer view);

  HostServices services_;
  std::optional<PageHost> pageHost_;
  // The left press that may yet become a window drag.
  std::optional<GdkEventButton> dragPress_;
};

}  // namespace wendrake

#pragma once
// The browser view every page is shown on: a WebKit view created over a host window,
// whose host questions are answered by overridable operations of this class, and
// through which native code calls functions of the page.
#include <webkit2/webkit2.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/HResult.h"
#include "core/PageHost.h"
#include "pagehost/webkit/PageChannel.h"
#include "pagehost/webkit/PlainMessageBox.h"
#include "pagehost/webkit/ViewHost.h"
#include "pagehost/webkit/WebViewEnvironment.h"

namespace wendrake {

class CDocControlSite;

// Context menu kinds the host is asked about.
enum ContextMenuKind : int { kMenuDefault = 0, kMenuImage = 1, kMenuControl = 2, kMenuTextSelect = 4, kMenuAnchor = 5 };
constexpr HRESULT S_FALSE = 1;

constexpr std::uint32_t DOCHOSTUIFLAG_NO3DBORDER = 0x4;
constexpr std::uint32_t DOCHOSTUIFLAG_SCROLL_NO = 0x8;
constexpr std::uint32_t DOCHOSTUIFLAG_THEME = 0x40000;

struct HostUiInfo {
  std::uint32_t flags = 0;
  std::uint32_t doubleClick = 0;
};

class CHtmlViewEx : public IPageScript {
 public:
  CHtmlViewEx(WebViewEnvironment& environment, IPlainMessageBox& messageBox);
  ~CHtmlViewEx() override;
  CHtmlViewEx(const CHtmlViewEx&) = delete;
  CHtmlViewEx& operator=(const CHtmlViewEx&) = delete;

  // Creates the view as a visible child covering the host window.
  bool CreateInWindow(unsigned controlId, IViewHost& host);
  // A local page path or a web address.
  void Navigate(const std::string& address);

  // Never past the window's end.
  void AwaitLoaded() override;
  bool RefreshDocument() override;
  bool CallPageScript(std::u16string_view function, const std::vector<std::u16string>& arguments) override;
  bool CallPageScript(std::u16string_view function, std::u16string_view argument);
  bool CallPageScript(std::u16string_view function, std::u16string_view first, std::u16string_view second);

  // The host questions, each answered by one overridable operation.
  virtual HRESULT ShowContextMenu(int menuKind);
  virtual IPageEndpoint* GetExternal() { return nullptr; }
  virtual HostUiInfo GetHostInfo() const { return {HostFlags, 0}; }
  virtual HRESULT ShowCustomContextMenu() { return S_OK; }

  WebKitWebView* WebView() const { return webView_; }
  unsigned ControlId() const { return controlId_; }
  IViewHost* HostWindow() const { return host_; }

  std::int32_t ContextMenuMode = 3;
  std::uint32_t HostFlags = DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_SCROLL_NO | DOCHOSTUIFLAG_THEME;

 protected:
  // Browser events for derived views; the base does nothing more.
  virtual void OnNavigationStarting() {}
  virtual void OnDocumentComplete() {}
  virtual void OnNewWindowRequest() {}

  void ShowMessage(std::u16string_view text) const;
  WebViewEnvironment& Environment() const { return environment_; }

 private:
  static void LoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer self);
  static void WebProcessTerminated(WebKitWebView* view, WebKitWebProcessTerminationReason reason, gpointer self);

  WebViewEnvironment& environment_;
  IPlainMessageBox& messageBox_;
  WebKitWebView* webView_ = nullptr;
  CDocControlSite* site_ = nullptr;
  IViewHost* host_ = nullptr;
  unsigned controlId_ = 0;
  bool hasDocument_ = false;
  // The page is loading again after its web process ended.
  bool reloading_ = false;
  bool loading_ = false;
  // What a successful RefreshDocument captured: calls go to this page.
  std::uint64_t document_ = 0;
};

}  // namespace wendrake

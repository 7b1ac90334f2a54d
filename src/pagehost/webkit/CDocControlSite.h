#pragma once
// The site of the browser control: every question WebKit asks the host goes to one
// operation of the view, and the view's answer is given back unchanged.
#include <webkit2/webkit2.h>

namespace wendrake {

class CHtmlViewEx;

class CDocControlSite {
 public:
  // Connects to the questions of the view's WebKit view.
  explicit CDocControlSite(CHtmlViewEx& view);

  CHtmlViewEx& View;

 private:
  // The context menu: a TRUE answer shows no menu.
  static gboolean ContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent*, WebKitHitTestResult* hit, gpointer site);
  // How the page is framed, as a user style sheet on every page.
  void ApplyHostInfo();
};

}  // namespace wendrake

#include "pagehost/webkit/CDocControlSite.h"

#include "pagehost/webkit/CHtmlViewEx.h"

namespace wendrake {
namespace {

int MenuKind(WebKitHitTestResult* hit) {
  if (webkit_hit_test_result_context_is_selection(hit)) return kMenuTextSelect;
  if (webkit_hit_test_result_context_is_editable(hit)) return kMenuControl;
  if (webkit_hit_test_result_context_is_link(hit)) return kMenuAnchor;
  if (webkit_hit_test_result_context_is_image(hit)) return kMenuImage;
  return kMenuDefault;
}

}  // namespace

CDocControlSite::CDocControlSite(CHtmlViewEx& view) : View(view) {
  g_signal_connect(view.WebView(), "context-menu", G_CALLBACK(ContextMenu), this);
  ApplyHostInfo();
}

gboolean CDocControlSite::ContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent*, WebKitHitTestResult* hit, gpointer site) {
  return static_cast<CDocControlSite*>(site)->View.ShowContextMenu(MenuKind(hit)) == S_OK;
}

void CDocControlSite::ApplyHostInfo() {
  const HostUiInfo info = View.GetHostInfo();
  std::string css;
  if (info.flags & DOCHOSTUIFLAG_SCROLL_NO) css += "html, body { overflow: hidden !important; }\n";
  if (info.flags & DOCHOSTUIFLAG_NO3DBORDER) css += "html, body { border: 0 !important; }\n";
  if (css.empty()) return;
  g_autoptr(WebKitUserStyleSheet) sheet =
      webkit_user_style_sheet_new(css.c_str(), WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES, WEBKIT_USER_STYLE_LEVEL_USER, nullptr, nullptr);
  webkit_user_content_manager_add_style_sheet(webkit_web_view_get_user_content_manager(View.WebView()), sheet);
}

}  // namespace wendrake

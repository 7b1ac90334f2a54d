#include "pagehost/webkit/CHtmlViewEx.h"

#include <filesystem>

#include "core/Text.h"
#include "pagehost/webkit/CDocControlSite.h"

namespace wendrake {
namespace {

constexpr guint kPageLoadWaitMs = 10000;

}  // namespace

CHtmlViewEx::CHtmlViewEx(WebViewEnvironment& environment, IPlainMessageBox& messageBox) : environment_(environment), messageBox_(messageBox) {}

CHtmlViewEx::~CHtmlViewEx() {
  if (!webView_) return;
  environment_.Channel().Detach(webkit_web_view_get_page_id(webView_));
  g_signal_handlers_disconnect_by_data(webView_, this);
  g_signal_handlers_disconnect_by_data(webView_, site_);
  delete site_;
  gtk_widget_destroy(GTK_WIDGET(webView_));
  g_clear_object(&webView_);
}

bool CHtmlViewEx::CreateInWindow(unsigned controlId, IViewHost& host) {
  if (webView_ || !GTK_IS_CONTAINER(host.Widget())) return false;
  controlId_ = controlId;
  host_ = &host;
  webView_ = WEBKIT_WEB_VIEW(g_object_ref_sink(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", environment_.Context(), nullptr)));
  gtk_widget_set_name(GTK_WIDGET(webView_), ("view-" + std::to_string(controlId)).c_str());
  // The pages are small and local: compositing them on the GPU would cost every
  // web process a GL context (about 17 MB of the start-up memory here) and time.
  webkit_settings_set_hardware_acceleration_policy(webkit_web_view_get_settings(webView_), WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
  site_ = new CDocControlSite(*this);
  g_signal_connect(webView_, "load-changed", G_CALLBACK(LoadChanged), this);
  g_signal_connect(webView_, "web-process-terminated", G_CALLBACK(WebProcessTerminated), this);
  environment_.Channel().Attach(webkit_web_view_get_page_id(webView_), GetExternal());
  gtk_container_add(GTK_CONTAINER(host.Widget()), GTK_WIDGET(webView_));
  gtk_widget_show(GTK_WIDGET(webView_));
  return true;
}

void CHtmlViewEx::Navigate(const std::string& address) {
  if (!webView_) return;
  if (address.find("://") != std::string::npos) {
    webkit_web_view_load_uri(webView_, address.c_str());
    return;
  }
  g_autofree gchar* uri = g_filename_to_uri(std::filesystem::absolute(address).c_str(), nullptr, nullptr);
  if (!uri) return;
  loading_ = true;
  webkit_web_view_load_uri(webView_, uri);
}

void CHtmlViewEx::LoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer data) {
  auto* self = static_cast<CHtmlViewEx*>(data);
  if (event == WEBKIT_LOAD_STARTED) {
    self->loading_ = true;
    self->OnNavigationStarting();
  }
  if (event == WEBKIT_LOAD_COMMITTED) self->hasDocument_ = true;
  if (event == WEBKIT_LOAD_FINISHED) {
    self->reloading_ = false;
    self->loading_ = false;
    self->OnDocumentComplete();
  }
}

// A page whose web process crashed or was killed comes back in a new one; a page
// that takes its new process down again before it has loaded stays down.
void CHtmlViewEx::WebProcessTerminated(WebKitWebView* view, WebKitWebProcessTerminationReason, gpointer data) {
  auto* self = static_cast<CHtmlViewEx*>(data);
  if (self->reloading_) return;
  self->reloading_ = true;
  webkit_web_view_reload(view);
}

void CHtmlViewEx::AwaitLoaded() {
  if (!webView_ || !loading_) return;
  bool late = false;
  const guint timeout = g_timeout_add(
      kPageLoadWaitMs,
      +[](gpointer flag) -> gboolean {
        *static_cast<bool*>(flag) = true;
        return G_SOURCE_REMOVE;
      },
      &late);
  while (loading_ && !late && !(host_ && host_->Closing())) g_main_context_iteration(nullptr, TRUE);
  if (!late) g_source_remove(timeout);
}

bool CHtmlViewEx::RefreshDocument() {
  if (!webView_ || !hasDocument_) return false;
  document_ = 0;
  const std::uint64_t page = webkit_web_view_get_page_id(webView_);
  if (!environment_.Channel().IsConnected(page)) {
    ShowMessage(u"Failed to get HTML document COM object");
    return false;
  }
  document_ = page;
  return true;
}

bool CHtmlViewEx::CallPageScript(std::u16string_view function, const std::vector<std::u16string>& arguments) {
  const HRESULT code = document_ ? environment_.Channel().CallPageFunction(document_, std::u16string(function), arguments) : E_FAIL;
  if (code == S_OK) return true;
  if (code == E_FAIL) {
    ShowMessage(u"函数GetJScrip调用失败！");
    return false;
  }
  const std::u16string_view text = SystemText(code);
  ShowMessage(text.empty() ? u"FormatMessage Netive Error" : text);
  return false;
}

bool CHtmlViewEx::CallPageScript(std::u16string_view function, std::u16string_view argument) {
  return CallPageScript(function, std::vector<std::u16string>{std::u16string(argument)});
}

bool CHtmlViewEx::CallPageScript(std::u16string_view function, std::u16string_view first, std::u16string_view second) {
  return CallPageScript(function, std::vector<std::u16string>{std::u16string(first), std::u16string(second)});
}

HRESULT CHtmlViewEx::ShowContextMenu(int menuKind) {
  switch (ContextMenuMode) {
    case 0: return S_OK;
    case 2: return menuKind == kMenuControl || menuKind == kMenuTextSelect ? S_FALSE : S_OK;
    case 3: return menuKind == kMenuTextSelect ? S_FALSE : ShowCustomContextMenu();
    default: return S_FALSE;
  }
}

void CHtmlViewEx::ShowMessage(std::u16string_view text) const { messageBox_.Show(webView_ ? GTK_WIDGET(webView_) : nullptr, text); }

}  // namespace wendrake

#include "pagehost/webkit/CCustomHtmlView.h"

#include "pagehost/ScriptBridge.h"
#include "pagehost/webkit/FileChooser.h"

namespace wendrake {
namespace {

// Right and middle presses never reach the page's script; WebKit still sees right
// presses, so a text selection can get its menu.
constexpr const char* kSwallowRightPresses = R"((function () {
  const swallow = function (event) {
    if (event.button === 1 || event.button === 2) { event.stopImmediatePropagation(); event.preventDefault(); }
  };
  window.addEventListener("pointerdown", swallow, true);
  window.addEventListener("mousedown", swallow, true);
})();)";

// Message pages that fail to take their message each raise one more: a few, then stop.
constexpr int kMessagePageNestingLimit = 3;
int failingMessagePages = 0;

bool IsBrowserShortcut(guint key) {
  switch (key) {
    case GDK_KEY_f:
    case GDK_KEY_n:
    case GDK_KEY_o:
    case GDK_KEY_p:
    case GDK_KEY_F1:
    case GDK_KEY_KP_6:
    case GDK_KEY_KP_Decimal:
    case GDK_KEY_KP_Divide: return true;
    default: return false;
  }
}

}  // namespace

CCustomHtmlView::CCustomHtmlView(WebViewEnvironment& environment, IPlainMessageBox& messageBox, const HostServices& services, CCustomHtmlView* opener)
    : CHtmlViewEx(environment, messageBox), OpenerViewWindow(opener), services_(services) {}

CCustomHtmlView::~CCustomHtmlView() {
  if (WebView()) g_signal_handlers_disconnect_by_data(WebView(), this);
}

bool CCustomHtmlView::CreateInWindow(unsigned controlId, IViewHost& host) {
  if (!CHtmlViewEx::CreateInWindow(controlId, host)) return false;
  pageHost_.emplace(Environment().Install(), host, *this, services_, OpenerViewWindow ? &*OpenerViewWindow->pageHost_ : nullptr);
  g_autoptr(WebKitUserScript) script = webkit_user_script_new(kSwallowRightPresses, WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                                                              WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
  webkit_user_content_manager_add_script(webkit_web_view_get_user_content_manager(WebView()), script);
  // A page's own window.open must reach the new-window handling, which sends the
  // last link to the desktop's browser; nothing else opens.
  webkit_settings_set_javascript_can_open_windows_automatically(webkit_web_view_get_settings(WebView()), TRUE);
  g_signal_connect(WebView(), "key-press-event", G_CALLBACK(KeyPress), this);
  g_signal_connect(WebView(), "button-press-event", G_CALLBACK(ButtonEvent), this);
  g_signal_connect(WebView(), "button-release-event", G_CALLBACK(ButtonEvent), this);
  g_signal_connect(WebView(), "motion-notify-event", G_CALLBACK(Motion), this);
  g_signal_connect(WebView(), "create", G_CALLBACK(NewWindowRequest), this);
  HandleFileInputs(WebView(), Environment(), [this](std::u16string_view text) { ShowMessage(text); });
  return true;
}

InvokeOutcome CCustomHtmlView::OnPageCall(std::int32_t memberId, const std::vector<PageValue>& arguments) {
  if (!pageHost_) return {DISP_E_MEMBERNOTFOUND, {}};
  // The web process gives window.wendrake to installation pages alone; a web
  // process that has been taken over must not get around that.
  if (ScriptBridge::IsProgramMember(memberId) && !Environment().ShowsInstallationPage(WebView())) return {DISP_E_MEMBERNOTFOUND, {}};
  return ScriptBridge::Invoke(*pageHost_, memberId, arguments);
}

void CCustomHtmlView::OnDocumentComplete() {
  ClickSink.Connect();
  const std::u16string message = HostWindow()->DialogMessage();
  if (message.empty()) return;
  RefreshDocument();
  if (CallPageScript(u"InitMsgBox", message) || failingMessagePages >= kMessagePageNestingLimit) return;
  ++failingMessagePages;
  pageHost_->ShowMsgBox(u"1007");
  --failingMessagePages;
}

void CCustomHtmlView::OnKeyPressed(const std::u16string& key) {
  RefreshDocument();
  CallPageScript(u"KeyPressed", key);
}

// Enter and Escape go on to the page, whose web process takes them from it and has
// them reach KeyPressed (OnKeyPressed) after the keys typed before them.
gboolean CCustomHtmlView::KeyPress(GtkWidget*, GdkEventKey* event, gpointer) {
  const guint key = gdk_keyval_to_lower(event->keyval);
  if (key == GDK_KEY_F5) return TRUE;  // no reload
  return (event->state & GDK_CONTROL_MASK) && IsBrowserShortcut(key);
}

gboolean CCustomHtmlView::ButtonEvent(GtkWidget*, GdkEventButton* event, gpointer data) {
  auto* self = static_cast<CCustomHtmlView*>(data);
  if (event->button == GDK_BUTTON_PRIMARY) {
    self->dragPress_.reset();
    if (event->type == GDK_BUTTON_PRESS) {
      // Its values only: what it points to need not outlive the event.
      GdkEventButton press = *event;
      press.window = nullptr;
      press.axes = nullptr;
      press.device = nullptr;
      self->dragPress_ = press;
    }
    return FALSE;
  }
  return event->button == GDK_BUTTON_MIDDLE && event->type != GDK_BUTTON_RELEASE;
}

// A press asks the owner for a window drag only once the pointer has left the drag
// threshold with the button held: a click stays a click, so the page's buttons and
// links in a drag band work.
gboolean CCustomHtmlView::Motion(GtkWidget* widget, GdkEventMotion* event, gpointer data) {
  auto* self = static_cast<CCustomHtmlView*>(data);
  if (!self->dragPress_) return FALSE;
  if (!(event->state & GDK_BUTTON1_MASK)) {
    self->dragPress_.reset();
    return FALSE;
  }
  GdkEventButton press = *self->dragPress_;
  if (!gtk_drag_check_threshold(widget, static_cast<int>(press.x_root), static_cast<int>(press.y_root), static_cast<int>(event->x_root),
                                static_cast<int>(event->y_root)))
    return FALSE;
  // The drag starts where the button went down, at the time it starts.
  press.time = event->time;
  self->dragPress_.reset();
  self->HostWindow()->CaptionButton(press);
  // The window system moves the window from here; the page starts no drag of its own.
  return TRUE;
}

GtkWidget* CCustomHtmlView::NewWindowRequest(WebKitWebView*, WebKitNavigationAction*, gpointer data) {
  auto* self = static_cast<CCustomHtmlView*>(data);
  // No browser window of our own: the desktop's browser shows the last link instead.
  self->services_.shell.ShellOpen(self->ClickSink.LastLink);
  return nullptr;
}

}  // namespace wendrake

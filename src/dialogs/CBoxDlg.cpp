#include "dialogs/CBoxDlg.h"

#include <algorithm>
#include <vector>

#include "dialogs/RoundedCorners.h"

namespace wendrake {
namespace {

constexpr unsigned kDialogViewId = 1179;
constexpr int kDragBandRows = 30;
constexpr int kCornerSize = 5;

// The arrow everywhere in a dialog's page, links and fields included.
constexpr const char* kArrowCursor = "* { cursor: default !important; }";

// Dialogs whose modal run has begun and not yet returned, outermost first.
std::vector<CBoxDlg*> openDialogs;

}  // namespace

CBoxDlg::CBoxDlg(WebViewEnvironment& environment, IPlainMessageBox& messageBox, const HostServices& services, std::string pageAddress,
                 const BoxSize& size, std::u16string message, GtkWindow* parent, CCustomHtmlView* owner)
    : Size(size),
      MessageText(std::move(message)),
      PageAddress(std::move(pageAddress)),
      HasMessage(!MessageText.empty()),
      environment_(environment),
      messageBox_(messageBox),
      services_(services),
      parent_(parent),
      window_(gtk_window_new(GTK_WINDOW_TOPLEVEL)),
      view_(std::make_unique<CCustomHtmlView>(environment, messageBox, services, owner)) {
  g_object_ref_sink(window_);
  gtk_window_set_decorated(GTK_WINDOW(window_), FALSE);
  gtk_window_set_modal(GTK_WINDOW(window_), TRUE);
  gtk_window_set_skip_taskbar_hint(GTK_WINDOW(window_), TRUE);
  if (parent_) gtk_window_set_transient_for(GTK_WINDOW(window_), parent_);
  // The window manager's close button, where there is one, is the cancel path.
  g_signal_connect(window_, "delete-event", G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer dialog) -> gboolean {
                     static_cast<CBoxDlg*>(dialog)->End(IDCANCEL);
                     return TRUE;
                   }),
                   this);
  // Keys the page has not taken. GTK turns Enter on the window itself into
  // activate-default: the OK path. Escape is the cancel path.
  g_signal_connect(window_, "activate-default", G_CALLBACK(+[](GtkWindow*, gpointer dialog) { static_cast<CBoxDlg*>(dialog)->OnOK(); }), this);
  g_signal_connect_after(window_, "key-press-event", G_CALLBACK(+[](GtkWidget*, GdkEventKey* event, gpointer dialog) -> gboolean {
                           if (event->keyval != GDK_KEY_Escape) return FALSE;
                           static_cast<CBoxDlg*>(dialog)->End(IDCANCEL);
                           return TRUE;
                         }),
                         this);
}

CBoxDlg::~CBoxDlg() {
  view_.reset();
  g_signal_handlers_disconnect_by_data(window_, this);
  gtk_widget_destroy(window_);
  g_clear_object(&window_);
  g_clear_pointer(&loop_, g_main_loop_unref);
}

int CBoxDlg::DoModal() {
  if (Closing()) return kDialogNotShown;
  const int width = Size.right - Size.left, height = Size.bottom - Size.top;
  gtk_window_set_default_size(GTK_WINDOW(window_), width, height);
  gtk_widget_set_size_request(window_, width, height);
  if (!view_->CreateInWindow(kDialogViewId, *this)) return kDialogNotShown;
  g_autoptr(WebKitUserStyleSheet) sheet =
      webkit_user_style_sheet_new(kArrowCursor, WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES, WEBKIT_USER_STYLE_LEVEL_USER, nullptr, nullptr);
  webkit_user_content_manager_add_style_sheet(webkit_web_view_get_user_content_manager(view_->WebView()), sheet);
  view_->Navigate(PageAddress);
  CentreOverParent();
  openDialogs.push_back(this);
  hook_ = ShakeHooks::Add();
  gtk_widget_show(window_);
  ShapeRoundedCorners(window_, width, height, kCornerSize, kCornerSize);
  gtk_window_present(GTK_WINDOW(window_));

  loop_ = g_main_loop_new(nullptr, FALSE);
  g_main_loop_run(loop_);
  gtk_widget_hide(window_);
  // The OK path may have removed the hook already; every other path leaves it here.
  if (hook_) ShakeHooks::Remove(*hook_);
  hook_.reset();
  openDialogs.erase(std::find(openDialogs.begin(), openDialogs.end(), this));
  return result_;
}

void CBoxDlg::EndAll() {
  for (auto dialog = openDialogs.rbegin(); dialog != openDialogs.rend(); ++dialog) (*dialog)->End(IDCANCEL);
}

// A dialog ends with the window it stands over: the main window at the root.
bool CBoxDlg::Closing() const {
  const CCustomHtmlView* owner = view_->OpenerViewWindow;
  return owner && owner->HostWindow() && owner->HostWindow()->Closing();
}

GtkWindow* CBoxDlg::Innermost() { return openDialogs.empty() ? nullptr : GTK_WINDOW(openDialogs.back()->window_); }

void CBoxDlg::End(int result) {
  result_ = result;
  if (loop_ && g_main_loop_is_running(loop_)) g_main_loop_quit(loop_);
}

void CBoxDlg::OnOK() {
  if (hook_) {
    const bool removed = ShakeHooks::Remove(*hook_);
    hook_.reset();
    if (!removed) view_->Host().ShowMsgBox(u"1014");
  }
  End(IDOK);
}

void CBoxDlg::CentreOverParent() {
  if (!parent_) return;
  int px = 0, py = 0, pw = 0, ph = 0;
  gtk_window_get_position(parent_, &px, &py);
  gtk_window_get_size(parent_, &pw, &ph);
  const int w = Size.right - Size.left, h = Size.bottom - Size.top;
  // Integer division truncating toward zero, as the layout was always computed.
  gtk_window_move(GTK_WINDOW(window_), (pw - w) / 2 + px, (ph - h) / 2 + py);
}

void CBoxDlg::CaptionButton(const GdkEventButton& event) {
  int x = 0, y = 0;
  gdk_window_get_origin(gtk_widget_get_window(window_), &x, &y);
  if (event.y_root - y < kDragBandRows)
    gtk_window_begin_move_drag(GTK_WINDOW(window_), static_cast<gint>(event.button), static_cast<gint>(event.x_root), static_cast<gint>(event.y_root),
                               event.time);
}

int CBoxDlg::RunPageDialog(const PageDialogRequest& request) {
  CBoxDlg dialog(environment_, messageBox_, services_, request.address, {0, 0, request.width, request.height}, request.message, GTK_WINDOW(window_),
                 view_.get());
  return dialog.DoModal();
}

}  // namespace wendrake

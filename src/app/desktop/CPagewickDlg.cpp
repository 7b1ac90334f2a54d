#include "app/desktop/CPagewickDlg.h"

#include <unistd.h>

#include "app/SessionSequence.h"
#include "app/desktop/ApplicationIcon.h"
#include "app/desktop/TrayIcon.h"
#include "core/ProductSite.h"
#include "core/Text.h"
#include "dialogs/CBoxDlg.h"
#include "dialogs/RoundedCorners.h"

namespace wendrake {
namespace {

constexpr unsigned kMainViewId = 1000;
// The top and bottom bands of the page move the window, as a title bar would.
constexpr int kTopBandEnd = 110;
constexpr int kBottomBandStart = 670;
constexpr int kCornerWidth = 15;
constexpr int kCornerHeight = 10;
constexpr guint kFadeStepMs = 40;
constexpr double kFadeStep = kFadeStepMs / 1000.0;

}  // namespace

CPagewickDlg::CPagewickDlg(WebViewEnvironment& environment, IPlainMessageBox& messageBox, const HostServices& services, SingleInstanceGuard& instance)
    : environment_(environment),
      messageBox_(messageBox),
      services_(services),
      instance_(instance),
      icons_(ApplicationIcons()),
      window_(gtk_window_new(GTK_WINDOW_TOPLEVEL)) {
  g_object_ref_sink(window_);
  gtk_window_set_decorated(GTK_WINDOW(window_), FALSE);
  gtk_window_set_resizable(GTK_WINDOW(window_), FALSE);
  gtk_widget_set_size_request(window_, kMainWidth, kMainHeight);
  gtk_window_set_default_size(GTK_WINDOW(window_), kMainWidth, kMainHeight);
  gtk_window_set_icon_list(GTK_WINDOW(window_), icons_);
  // Closing from the taskbar or the window manager goes to the notification area.
  g_signal_connect(window_, "delete-event", G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer window) -> gboolean {
                     static_cast<CPagewickDlg*>(window)->CloseTopLevel();
                     return TRUE;
                   }),
                   this);
  g_signal_connect(window_, "key-press-event", G_CALLBACK(KeyPress), this);
  instance_.SetMainWindowExists(true);
}

CPagewickDlg::~CPagewickDlg() {
  StopFade();
  view_.reset();
  instance_.SetMainWindowExists(false);
  g_signal_handlers_disconnect_by_data(window_, this);
  if (windowMenu_) gtk_widget_destroy(windowMenu_);
  gtk_widget_destroy(window_);
  g_clear_object(&window_);
  g_clear_pointer(&loop_, g_main_loop_unref);
  g_list_free_full(icons_, g_object_unref);
}

int CPagewickDlg::DoModal() {
  if (!OnInitDialog()) return kMainPageMissing;
  loop_ = g_main_loop_new(nullptr, FALSE);
  if (OnShowWindow()) g_main_loop_run(loop_);
  OnDestroy();
  return result_;
}

bool CPagewickDlg::OnInitDialog() {
  view_ = std::make_unique<CCustomHtmlView>(environment_, messageBox_, services_);
  view_->CreateInWindow(kMainViewId, *this);
  const std::string page = environment_.Install().ModuleRelative(u"..\\UI\\pages\\sc\\main.html").string();
  if (::access(page.c_str(), R_OK) != 0) {
    // Without its main page the launcher has nothing to show: logging in and
    // switching add-ons on would leave the user with an empty window.
    messageBox_.Show(window_, ToUtf16(kMissingMainPage));
    return false;
  }
  view_->Navigate(page);
  // The window exists, hidden, from here on: the login dialog stands over it.
  gtk_widget_realize(window_);
  ShapeRoundedCorners(window_, kMainWidth, kMainHeight, kCornerWidth, kCornerHeight);
  gtk_window_set_title(GTK_WINDOW(window_), kMainTitle);
  return true;
}

// Runs once: coming back from the notification area is no new session. False
// when the run ends without a login (the program is ending, or no login dialog
// could be shown).
bool CPagewickDlg::OnShowWindow() {
  CentreInWorkArea();
  // The login dialog loads beside the main page; a login it delivers early waits
  // for the main page to take it.
  if (!RunLoginSequence(view_->Host()) || ending_) return false;
  AddTrayIcon();
  shown_ = true;
  gtk_widget_show(window_);
  gtk_window_present(GTK_WINDOW(window_));
  return true;
}

// Every way the run ends has ended the open dialogs already (EndModalLoop).
void CPagewickDlg::OnDestroy() {
  gtk_widget_hide(window_);
  RunLogoffSequence(environment_.Install());
  tray_.reset();
}

void CPagewickDlg::CentreInWorkArea() {
  GdkDisplay* display = gtk_widget_get_display(window_);
  GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
  if (!monitor) monitor = gdk_display_get_monitor(display, 0);
  GdkRectangle area{0, 0, kMainWidth, kMainHeight};
  if (monitor) gdk_monitor_get_workarea(monitor, &area);
  const int left = area.x, top = area.y, right = area.x + area.width, bottom = area.y + area.height;
  gtk_window_move(GTK_WINDOW(window_), (left + right) / 2 - kMainWidth / 2, (top + bottom) / 2 - kMainHeight / 2);
}

void CPagewickDlg::AddTrayIcon() {
  TrayIcon::Actions actions{
      .isMinimized = [this] { return IsMinimized(); },
      .showHide = [this] { IsMinimized() ? ShowNormal() : ShowMinimized(); },
      .exit = [this] { EndModalLoop(0); },
  };
  tray_ = std::make_unique<TrayIcon>(icons_, std::string(kMainTitle) + " " + std::string(kProductSite),
                                     environment_.Install().ModuleRelative(u"..\\share\\icons"), std::move(actions));
  // A StatusNotifier panel shows the menu without asking us first: its first item must
  // already say what it will do.
  g_signal_connect(window_, "window-state-event", G_CALLBACK(+[](GtkWidget*, GdkEventWindowState*, gpointer window) -> gboolean {
                     static_cast<CPagewickDlg*>(window)->RefreshTray();
                     return FALSE;
                   }),
                   this);
  for (const char* change : {"show", "hide"})
    g_signal_connect_after(window_, change, G_CALLBACK(+[](GtkWidget*, gpointer window) { static_cast<CPagewickDlg*>(window)->RefreshTray(); }),
                           this);
}

void CPagewickDlg::RefreshTray() {
  if (tray_) tray_->Refresh();
}

void CPagewickDlg::EndModalLoop(int result) {
  if (ending_) return;
  ending_ = true;
  result_ = result;
  // Whatever the run waits for ends with it: a page that does not answer, a
  // message box, the page dialogs.
  environment_.Channel().EndWaits();
  messageBox_.EndAll();
  CBoxDlg::EndAll();
  if (loop_ && g_main_loop_is_running(loop_)) g_main_loop_quit(loop_);
  // Wakes a wait for the main page that would otherwise sleep until its next event.
  g_main_context_wakeup(nullptr);
}

void CPagewickDlg::BringForward(const std::string& activationToken) {
  // Before the login has shown the window, only the login dialog may come forward.
  if (shown_) {
    StopFade();
    gtk_window_deiconify(GTK_WINDOW(window_));
    gtk_widget_show(window_);
    if (!activationToken.empty()) gtk_window_set_startup_id(GTK_WINDOW(window_), activationToken.c_str());
    gtk_window_present(GTK_WINDOW(window_));
  }
  if (GtkWindow* popup = CBoxDlg::Innermost()) gtk_window_present(popup);
}

void CPagewickDlg::CaptionButton(const GdkEventButton& event) {
  int x = 0, y = 0;
  gdk_window_get_origin(gtk_widget_get_window(window_), &x, &y);
  const int clientY = static_cast<int>(event.y_root) - y;
  if (clientY < kTopBandEnd || clientY > kBottomBandStart)
    gtk_window_begin_move_drag(GTK_WINDOW(window_), static_cast<gint>(event.button), static_cast<gint>(event.x_root), static_cast<gint>(event.y_root),
                               event.time);
}

int CPagewickDlg::RunPageDialog(const PageDialogRequest& request) {
  CBoxDlg dialog(environment_, messageBox_, services_, request.address, {0, 0, request.width, request.height}, request.message, GTK_WINDOW(window_),
                 view_.get());
  return dialog.DoModal();
}

void CPagewickDlg::CloseTopLevel() {
  if (fade_ || !gtk_widget_get_visible(window_)) return;
  fade_ = g_timeout_add(
      kFadeStepMs,
      +[](gpointer data) -> gboolean {
        auto* self = static_cast<CPagewickDlg*>(data);
        const double opacity = gtk_widget_get_opacity(self->window_) - kFadeStep;
        if (opacity > 0) {
          gtk_widget_set_opacity(self->window_, opacity);
          return G_SOURCE_CONTINUE;
        }
        self->fade_ = 0;
        gtk_widget_hide(self->window_);
        gtk_widget_set_opacity(self->window_, 1.0);
        return G_SOURCE_REMOVE;
      },
      this);
}

void CPagewickDlg::StopFade() {
  if (!fade_) return;
  g_source_remove(fade_);
  fade_ = 0;
  gtk_widget_set_opacity(window_, 1.0);
}

bool CPagewickDlg::IsMinimized() const {
  GdkWindow* window = gtk_widget_get_window(window_);
  return window && gtk_widget_get_visible(window_) && (gdk_window_get_state(window) & GDK_WINDOW_STATE_ICONIFIED);
}

void CPagewickDlg::ShowNormal() {
  StopFade();
  gtk_window_deiconify(GTK_WINDOW(window_));
  gtk_window_present(GTK_WINDOW(window_));
}

// A window hidden in the notification area is not a minimised one: it comes
// back minimised, and a further click restores it.
void CPagewickDlg::ShowMinimized() {
  StopFade();
  gtk_window_iconify(GTK_WINDOW(window_));
  gtk_widget_show(window_);
}

gboolean CPagewickDlg::KeyPress(GtkWidget*, GdkEventKey* event, gpointer data) {
  auto* self = static_cast<CPagewickDlg*>(data);
  if (event->keyval != GDK_KEY_space || !(event->state & GDK_MOD1_MASK)) {
    // The page takes its keys while it has the focus; only without it do keys
    // reach the window itself.
    return !gtk_window_get_focus(GTK_WINDOW(self->window_)) && self->KeyReachedWindow(event->keyval);
  }
  // The window menu of a captionless window: its only entry is the About entry,
  // which has never opened anything.
  if (!self->windowMenu_) {
    self->windowMenu_ = gtk_menu_new();
    gtk_menu_attach_to_widget(GTK_MENU(self->windowMenu_), self->window_, nullptr);
    gtk_menu_shell_append(GTK_MENU_SHELL(self->windowMenu_), gtk_menu_item_new_with_mnemonic(kAboutEntry));
    gtk_widget_show_all(self->windowMenu_);
  }
  gtk_menu_popup_at_widget(GTK_MENU(self->windowMenu_), self->window_, GDK_GRAVITY_NORTH_WEST, GDK_GRAVITY_NORTH_WEST,
                           reinterpret_cast<GdkEvent*>(event));
  return TRUE;
}

// Enter and Escape that the page did not take end the run, as a dialog's OK and
// Cancel would.
bool CPagewickDlg::KeyReachedWindow(guint key) {
  switch (key) {
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter: EndModalLoop(IDOK); return true;
    case GDK_KEY_Escape: EndModalLoop(IDCANCEL); return true;
    default: return false;
  }
}

}  // namespace wendrake

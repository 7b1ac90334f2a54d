#include "harness/SystemTray.h"

#include <X11/Xatom.h>
#include <gdk/gdkx.h>
#include <gtk/gtkx.h>

#include <string>

#include "harness/TopLevelWindows.h"
#include "harness/Wait.h"

namespace wendrake::programtest {
namespace {

constexpr long kRequestDock = 0;
constexpr int kPanelSize = 32;

}  // namespace

SystemTray::SystemTray() {
  Display* display = TestDisplay();
  const int screen = DefaultScreen(display);
  selection_ = XInternAtom(display, ("_NET_SYSTEM_TRAY_S" + std::to_string(screen)).c_str(), False);
  opcode_ = XInternAtom(display, "_NET_SYSTEM_TRAY_OPCODE", False);
  manager_ = XCreateSimpleWindow(display, RootWindow(display, screen), -1, -1, 1, 1, 0, 0, 0);
  const long horizontal = 0;
  XChangeProperty(display, manager_, XInternAtom(display, "_NET_SYSTEM_TRAY_ORIENTATION", False), XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&horizontal), 1);
  gdk_window_add_filter(nullptr, Filter, this);
  XWindowAttributes root{};
  XGetWindowAttributes(display, RootWindow(display, screen), &root);
  XSelectInput(display, RootWindow(display, screen), root.your_event_mask | SubstructureNotifyMask);
  firstSerial_ = NextRequest(display);
  XSetSelectionOwner(display, selection_, manager_, CurrentTime);
  owned_ = XGetSelectionOwner(display, selection_) == manager_;
  if (owned_) {
    // Icons that already wait for a tray learn of this one from the root.
    XEvent announce{};
    announce.xclient.type = ClientMessage;
    announce.xclient.window = RootWindow(display, screen);
    announce.xclient.message_type = XInternAtom(display, "MANAGER", False);
    announce.xclient.format = 32;
    announce.xclient.data.l[0] = CurrentTime;
    announce.xclient.data.l[1] = static_cast<long>(selection_);
    announce.xclient.data.l[2] = static_cast<long>(manager_);
    XSendEvent(display, RootWindow(display, screen), False, StructureNotifyMask, &announce);
  }
  XSync(display, False);
}

SystemTray::~SystemTray() {
  gdk_window_remove_filter(nullptr, Filter, this);
  if (panel_) gtk_widget_destroy(panel_);
  Display* display = TestDisplay();
  if (owned_) XSetSelectionOwner(display, selection_, None, CurrentTime);
  XDestroyWindow(display, manager_);
  XSync(display, False);
}

GdkFilterReturn SystemTray::Filter(GdkXEvent* xevent, GdkEvent*, gpointer data) {
  auto* tray = static_cast<SystemTray*>(data);
  const XEvent* event = static_cast<XEvent*>(xevent);
  if (event->type == MapNotify && event->xmap.event == DefaultRootWindow(event->xmap.display) && event->xmap.serial >= tray->firstSerial_)
    tray->maps_.push_back(event->xmap.window);
  if (event->type != ClientMessage || event->xclient.window != tray->manager_ || event->xclient.message_type != tray->opcode_ ||
      event->xclient.data.l[1] != kRequestDock)
    return GDK_FILTER_CONTINUE;
  const Window icon = static_cast<Window>(event->xclient.data.l[2]);
  if (tray->onDockRequest) tray->onDockRequest(icon);
  tray->requests_.push_back(icon);
  return GDK_FILTER_REMOVE;
}

bool SystemTray::EmbedLastIcon(double seconds) {
  if (requests_.empty()) return false;
  if (!panel_) {
    panel_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_decorated(GTK_WINDOW(panel_), FALSE);
    GdkWindow* root = gdk_get_default_root_window();
    gtk_window_move(GTK_WINDOW(panel_), gdk_window_get_width(root) - kPanelSize, gdk_window_get_height(root) - kPanelSize);
    socket_ = gtk_socket_new();
    // By default a socket whose plug goes is destroyed with it; this one stays to be asked.
    g_signal_connect(socket_, "plug-removed", G_CALLBACK(+[](GtkSocket*, gpointer) -> gboolean { return TRUE; }), nullptr);
    gtk_widget_set_size_request(socket_, kPanelSize, kPanelSize);
    gtk_container_add(GTK_CONTAINER(panel_), socket_);
    gtk_widget_show_all(panel_);
  }
  gtk_socket_add_id(GTK_SOCKET(socket_), requests_.back());
  return RunUntil([&] { return IconEmbedded(); }, seconds);
}

bool SystemTray::IconEmbedded() const {
  if (!socket_) return false;
  GdkWindow* plug = gtk_socket_get_plug_window(GTK_SOCKET(socket_));
  if (!plug) return false;
  XWindowAttributes attributes{};
  gdk_x11_display_error_trap_push(gdk_display_get_default());
  const bool read = XGetWindowAttributes(TestDisplay(), GDK_WINDOW_XID(plug), &attributes);
  gdk_x11_display_error_trap_pop_ignored(gdk_display_get_default());
  return read && attributes.map_state == IsViewable;
}

std::optional<GdkPoint> SystemTray::IconCentre() const {
  if (!IconEmbedded()) return std::nullopt;
  int x = 0, y = 0;
  gdk_window_get_origin(gtk_widget_get_window(socket_), &x, &y);
  GtkAllocation allocation;
  gtk_widget_get_allocation(socket_, &allocation);
  return GdkPoint{x + allocation.width / 2, y + allocation.height / 2};
}

}  // namespace wendrake::programtest

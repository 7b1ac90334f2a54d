#include "app/desktop/TrayIcon.h"

#include <X11/Xlib.h>
#include <gdk/gdkx.h>

#include "app/desktop/StatusNotifierItem.h"

namespace wendrake {
namespace {

constexpr const char* kItemId = "wendrake";
constexpr const char* kIconName = "wendrake";
constexpr gint kBusCallTimeoutMs = 1000;

// Whether an X11 system tray (XEmbed) runs on the window's screen now.
bool SystemTrayPresent() {
  GdkDisplay* display = gdk_display_get_default();
  if (!GDK_IS_X11_DISPLAY(display)) return false;
  Display* x = gdk_x11_display_get_xdisplay(display);
  const std::string selection = "_NET_SYSTEM_TRAY_S" + std::to_string(gdk_x11_screen_get_screen_number(gdk_screen_get_default()));
  return XGetSelectionOwner(x, XInternAtom(x, selection.c_str(), False)) != None;
}

// The session bus when the desktop's panel takes StatusNotifier items there, else
// null.
GDBusConnection* StatusNotifierBus() {
  g_autoptr(GDBusConnection) bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
  if (!bus) return nullptr;
  g_autoptr(GVariant) reply = g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                                          "NameHasOwner", g_variant_new("(s)", "org.kde.StatusNotifierWatcher"),
                                                          G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, kBusCallTimeoutMs, nullptr, nullptr);
  gboolean present = FALSE;
  if (reply) g_variant_get(reply, "(b)", &present);
  return present ? static_cast<GDBusConnection*>(g_steal_pointer(&bus)) : nullptr;
}

}  // namespace

// GtkStatusIcon is the X11 system-tray protocol that desktops with a tray speak;
// GTK 3 marks it deprecated without a replacement inside GTK.
G_GNUC_BEGIN_IGNORE_DEPRECATIONS

TrayIcon::TrayIcon(GList* icons, const std::string& tip, const std::filesystem::path& iconThemePath, Actions actions)
    : actions_(std::move(actions)), menu_(gtk_menu_new()), showHideItem_(gtk_menu_item_new_with_label(kTrayHideText)) {
  g_object_ref_sink(menu_);
  GtkWidget* exitItem = gtk_menu_item_new_with_label(kTrayExitText);
  gtk_menu_shell_append(GTK_MENU_SHELL(menu_), showHideItem_);
  gtk_menu_shell_append(GTK_MENU_SHELL(menu_), exitItem);
  g_signal_connect(showHideItem_, "activate", G_CALLBACK(+[](GtkMenuItem*, gpointer tray) { static_cast<TrayIcon*>(tray)->actions_.showHide(); }),
                   this);
  g_signal_connect(exitItem, "activate", G_CALLBACK(+[](GtkMenuItem*, gpointer tray) { static_cast<TrayIcon*>(tray)->actions_.exit(); }), this);
  gtk_widget_show_all(menu_);
  Refresh();
  // A status icon also waits for a tray that comes later; an item needs a panel
  // that is there now.
  g_autoptr(GDBusConnection) bus = SystemTrayPresent() ? nullptr : StatusNotifierBus();
  if (bus)
    item_ = std::make_unique<StatusNotifierItem>(bus, StatusNotifierItem::Look{kItemId, tip, kIconName, iconThemePath.string()}, GTK_MENU(menu_),
                                                 [this] { actions_.showHide(); });
  else
    ShowStatusIcon(icons, tip);
}

TrayIcon::~TrayIcon() {
  if (statusIcon_) {
    g_signal_handlers_disconnect_by_data(statusIcon_, this);
    gtk_status_icon_set_visible(statusIcon_, FALSE);
    g_clear_object(&statusIcon_);
  }
  item_.reset();
  gtk_widget_destroy(menu_);
  g_clear_object(&menu_);
}

void TrayIcon::ShowStatusIcon(GList* icons, const std::string& tip) {
  statusIcon_ = gtk_status_icon_new();
  if (icons) gtk_status_icon_set_from_pixbuf(statusIcon_, GDK_PIXBUF(icons->data));
  gtk_status_icon_set_tooltip_text(statusIcon_, tip.c_str());
  gtk_status_icon_set_title(statusIcon_, tip.c_str());
  g_signal_connect(statusIcon_, "button-press-event", G_CALLBACK(IconPressed), this);
  gtk_status_icon_set_visible(statusIcon_, TRUE);
}

// Set only when it changes: a StatusNotifier panel hears of every setting.
void TrayIcon::Refresh() {
  const char* label = actions_.isMinimized() ? kTrayShowText : kTrayHideText;
  if (g_strcmp0(gtk_menu_item_get_label(GTK_MENU_ITEM(showHideItem_)), label) != 0) gtk_menu_item_set_label(GTK_MENU_ITEM(showHideItem_), label);
}

gboolean TrayIcon::IconPressed(GtkStatusIcon*, GdkEventButton* event, gpointer data) {
  auto* tray = static_cast<TrayIcon*>(data);
  // A double click acts twice: on its first press, then on the double click.
  if (event->button == GDK_BUTTON_PRIMARY && (event->type == GDK_BUTTON_PRESS || event->type == GDK_2BUTTON_PRESS)) tray->actions_.showHide();
  if (event->button == GDK_BUTTON_SECONDARY && event->type == GDK_BUTTON_PRESS) tray->PopUpMenu(*event);
  return TRUE;
}

void TrayIcon::PopUpMenu(const GdkEventButton& event) {
  Refresh();
  gtk_menu_popup_at_pointer(GTK_MENU(menu_), reinterpret_cast<const GdkEvent*>(&event));
}

G_GNUC_END_IGNORE_DEPRECATIONS

}  // namespace wendrake

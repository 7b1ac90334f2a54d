#include "app/desktop/TrayIcon.h"

namespace wendrake {

// GtkStatusIcon is the X11 system-tray protocol that desktops with a tray speak;
// GTK 3 marks it deprecated without a replacement inside GTK.
G_GNUC_BEGIN_IGNORE_DEPRECATIONS

TrayIcon::TrayIcon(GList* icons, const std::string& tip, Actions actions)
    : actions_(std::move(actions)), icon_(gtk_status_icon_new()), menu_(gtk_menu_new()), showHideItem_(gtk_menu_item_new_with_label(kTrayHideText)) {
  g_object_ref_sink(menu_);
  if (icons) gtk_status_icon_set_from_pixbuf(icon_, GDK_PIXBUF(icons->data));
  gtk_status_icon_set_tooltip_text(icon_, tip.c_str());
  gtk_status_icon_set_title(icon_, tip.c_str());
  g_signal_connect(icon_, "button-press-event", G_CALLBACK(ButtonPress), this);

  GtkWidget* exitItem = gtk_menu_item_new_with_label(kTrayExitText);
  gtk_menu_shell_append(GTK_MENU_SHELL(menu_), showHideItem_);
  gtk_menu_shell_append(GTK_MENU_SHELL(menu_), exitItem);
  g_signal_connect(showHideItem_, "activate", G_CALLBACK(+[](GtkMenuItem*, gpointer tray) { static_cast<TrayIcon*>(tray)->actions_.showHide(); }), this);
  g_signal_connect(exitItem, "activate", G_CALLBACK(+[](GtkMenuItem*, gpointer tray) { static_cast<TrayIcon*>(tray)->actions_.exit(); }), this);
  gtk_widget_show_all(menu_);
  gtk_status_icon_set_visible(icon_, TRUE);
}

TrayIcon::~TrayIcon() {
  g_signal_handlers_disconnect_by_data(icon_, this);
  gtk_status_icon_set_visible(icon_, FALSE);
  g_object_unref(icon_);
  gtk_widget_destroy(menu_);
  g_object_unref(menu_);
}

gboolean TrayIcon::ButtonPress(GtkStatusIcon*, GdkEventButton* event, gpointer data) {
  auto* tray = static_cast<TrayIcon*>(data);
  // A double click acts twice: on its first press, then on the double click.
  if (event->button == GDK_BUTTON_PRIMARY && (event->type == GDK_BUTTON_PRESS || event->type == GDK_2BUTTON_PRESS)) tray->actions_.showHide();
  if (event->button == GDK_BUTTON_SECONDARY && event->type == GDK_BUTTON_PRESS) tray->PopUpMenu(*event);
  return TRUE;
}

void TrayIcon::PopUpMenu(const GdkEventButton& event) {
  gtk_menu_item_set_label(GTK_MENU_ITEM(showHideItem_), actions_.isMinimized() ? kTrayShowText : kTrayHideText);
  gtk_menu_popup_at_pointer(GTK_MENU(menu_), reinterpret_cast<const GdkEvent*>(&event));
}

G_GNUC_END_IGNORE_DEPRECATIONS

}  // namespace wendrake

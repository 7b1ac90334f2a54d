#pragma once
// A flat GtkMenu offered on the session bus as a com.canonical.dbusmenu object,
// the menu a StatusNotifier panel shows for an item. Entries are the menu's items
// in order (ids from 1); a click from the panel activates the item, and a label
// changed on the item reaches the panel.
#include <gtk/gtk.h>

#include <string>
#include <vector>

namespace wendrake {

class DBusMenu {
 public:
  // Exported at `path` until the object goes.
  DBusMenu(GDBusConnection* bus, const char* path, GtkMenu* menu);
  ~DBusMenu();
  DBusMenu(const DBusMenu&) = delete;
  DBusMenu& operator=(const DBusMenu&) = delete;

 private:
  GVariant* Layout(gint32 id) const;
  GVariant* Properties(gint32 id) const;
  bool Known(gint32 id) const { return id >= 0 && static_cast<size_t>(id) <= items_.size(); }
  void Click(gint32 id) const;
  void LabelChanged(GtkMenuItem* item);
  static void MethodCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method, GVariant* parameters,
                         GDBusMethodInvocation* invocation, gpointer menu);
  static GVariant* GetProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* name, GError** error, gpointer menu);

  GDBusConnection* bus_;
  std::string path_;
  std::vector<GtkMenuItem*> items_;  // id n is items_[n - 1]; 0 is the menu itself
  guint registration_ = 0;
};

}  // namespace wendrake

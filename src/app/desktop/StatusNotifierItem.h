#pragma once
// The icon as a StatusNotifier item, for panels that speak StatusNotifier
// instead of the X11 tray: its properties and menu on the session bus, and a
// registration with the panel's watcher whenever a watcher is there.
#include <gtk/gtk.h>

#include <functional>
#include <memory>
#include <string>

#include "app/desktop/DBusMenu.h"

namespace wendrake {

class StatusNotifierItem {
 public:
  struct Look {
    std::string id;
    std::string title;
    std::string iconName;
    std::string iconThemePath;  // where the panel finds the icon by its name
  };

  // `activate` answers a click on the icon; `menu` is what the panel shows for it.
  StatusNotifierItem(GDBusConnection* bus, Look look, GtkMenu* menu, std::function<void()> activate);
  ~StatusNotifierItem();
  StatusNotifierItem(const StatusNotifierItem&) = delete;
  StatusNotifierItem& operator=(const StatusNotifierItem&) = delete;

 private:
  void Register() const;
  static void MethodCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method, GVariant*,
                         GDBusMethodInvocation* invocation, gpointer item);
  static GVariant* GetProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* name, GError** error, gpointer item);

  GDBusConnection* bus_;
  Look look_;
  std::function<void()> activate_;
  std::unique_ptr<DBusMenu> menu_;
  guint registration_ = 0;
  guint watch_ = 0;
};

}  // namespace wendrake

#pragma once
// The panel's registry of StatusNotifierItems, as a desktop without an X11 tray
// runs it: owns org.kde.StatusNotifierWatcher on a bus, says a host is there to
// show the items, and records each item that registers.
#include <gio/gio.h>

#include <functional>
#include <string>
#include <vector>

namespace wendrake::programtest {

struct RegisteredItem {
  std::string service;  // the item's bus name
  std::string path;  // its object
};

class StatusNotifierWatcher {
 public:
  // Connects to the bus at `address` and takes the watcher's name there.
  explicit StatusNotifierWatcher(const std::string& address);
  ~StatusNotifierWatcher();
  StatusNotifierWatcher(const StatusNotifierWatcher&) = delete;
  StatusNotifierWatcher& operator=(const StatusNotifierWatcher&) = delete;

  // False when the name or the object could not be had; Problem() says why.
  bool Serving() const { return registration_ != 0; }
  const std::string& Problem() const { return problem_; }
  GDBusConnection* Connection() const { return connection_; }

  // Called from the main loop as each item registers, before it is recorded.
  std::function<void(const RegisteredItem&)> onRegister;
  const std::vector<RegisteredItem>& Items() const { return items_; }

 private:
  static void MethodCall(GDBusConnection*, const gchar* sender, const gchar* path, const gchar* interface, const gchar* method, GVariant* parameters,
                         GDBusMethodInvocation* invocation, gpointer watcher);
  static GVariant* GetProperty(GDBusConnection*, const gchar* sender, const gchar* path, const gchar* interface, const gchar* name, GError** error,
                               gpointer watcher);
  void Register(const std::string& sender, const std::string& serviceOrPath);

  GDBusConnection* connection_ = nullptr;
  guint registration_ = 0;
  std::string problem_;
  std::vector<RegisteredItem> items_;
};

}  // namespace wendrake::programtest

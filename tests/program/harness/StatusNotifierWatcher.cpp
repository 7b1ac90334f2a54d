#include "harness/StatusNotifierWatcher.h"

namespace wendrake::programtest {
namespace {

constexpr const char* kName = "org.kde.StatusNotifierWatcher";
constexpr const char* kPath = "/StatusNotifierWatcher";
// Where an item that registers by bus name alone has its object.
constexpr const char* kDefaultItemPath = "/StatusNotifierItem";
constexpr guint32 kPrimaryOwner = 1;

constexpr const char* kInterface = R"(<node>
  <interface name="org.kde.StatusNotifierWatcher">
    <method name="RegisterStatusNotifierItem"><arg name="service" type="s" direction="in"/></method>
    <method name="RegisterStatusNotifierHost"><arg name="service" type="s" direction="in"/></method>
    <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
    <signal name="StatusNotifierItemUnregistered"><arg type="s"/></signal>
    <signal name="StatusNotifierHostRegistered"/>
    <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
    <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
    <property name="ProtocolVersion" type="i" access="read"/>
  </interface>
</node>)";

std::string Named(const RegisteredItem& item) { return item.service + item.path; }

}  // namespace

StatusNotifierWatcher::StatusNotifierWatcher(const std::string& address) {
  GError* error = nullptr;
  connection_ = g_dbus_connection_new_for_address_sync(
      address.c_str(),
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION), nullptr,
      nullptr, &error);
  if (!connection_) {
    problem_ = std::string("cannot connect to the bus: ") + error->message;
    g_error_free(error);
    return;
  }
  GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kInterface, nullptr);
  static const GDBusInterfaceVTable vtable{MethodCall, GetProperty, nullptr, {}};
  registration_ = g_dbus_connection_register_object(connection_, kPath, node->interfaces[0], &vtable, this, nullptr, &error);
  g_dbus_node_info_unref(node);
  if (!registration_) {
    problem_ = std::string("cannot export the watcher: ") + error->message;
    g_error_free(error);
    return;
  }
  // The name is taken before the constructor returns, so a program started next finds it.
  GVariant* reply = g_dbus_connection_call_sync(connection_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
                                                g_variant_new("(su)", kName, G_BUS_NAME_OWNER_FLAGS_DO_NOT_QUEUE), G_VARIANT_TYPE("(u)"),
                                                G_DBUS_CALL_FLAGS_NONE, -1, nullptr, &error);
  guint32 result = 0;
  if (reply) {
    g_variant_get(reply, "(u)", &result);
    g_variant_unref(reply);
  } else {
    problem_ = std::string("cannot ask for the watcher's name: ") + error->message;
    g_error_free(error);
  }
  if (result != kPrimaryOwner) {
    if (problem_.empty()) problem_ = "the watcher's name has another owner";
    g_dbus_connection_unregister_object(connection_, registration_);
    registration_ = 0;
  }
}

StatusNotifierWatcher::~StatusNotifierWatcher() {
  if (registration_) g_dbus_connection_unregister_object(connection_, registration_);
  if (connection_) {
    g_dbus_connection_close_sync(connection_, nullptr, nullptr);
    g_object_unref(connection_);
  }
}

void StatusNotifierWatcher::MethodCall(GDBusConnection*, const gchar* sender, const gchar*, const gchar*, const gchar* method, GVariant* parameters,
                                       GDBusMethodInvocation* invocation, gpointer watcher) {
  const gchar* argument = nullptr;
  g_variant_get(parameters, "(&s)", &argument);
  if (g_str_equal(method, "RegisterStatusNotifierItem")) static_cast<StatusNotifierWatcher*>(watcher)->Register(sender, argument);
  g_dbus_method_invocation_return_value(invocation, nullptr);
}

void StatusNotifierWatcher::Register(const std::string& sender, const std::string& serviceOrPath) {
  // An item names either its object, on the bus name it calls from, or a bus name
  // whose object is at the usual path.
  const RegisteredItem item =
      serviceOrPath.starts_with('/') ? RegisteredItem{sender, serviceOrPath} : RegisteredItem{serviceOrPath, kDefaultItemPath};
  if (onRegister) onRegister(item);
  items_.push_back(item);
  g_dbus_connection_emit_signal(connection_, nullptr, kPath, kName, "StatusNotifierItemRegistered", g_variant_new("(s)", Named(item).c_str()),
                                nullptr);
}

GVariant* StatusNotifierWatcher::GetProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* name, GError** error,
                                             gpointer data) {
  const auto* watcher = static_cast<StatusNotifierWatcher*>(data);
  if (g_str_equal(name, "RegisteredStatusNotifierItems")) {
    GVariantBuilder items;
    g_variant_builder_init(&items, G_VARIANT_TYPE("as"));
    for (const auto& item : watcher->items_) g_variant_builder_add(&items, "s", Named(item).c_str());
    return g_variant_builder_end(&items);
  }
  if (g_str_equal(name, "IsStatusNotifierHostRegistered")) return g_variant_new_boolean(TRUE);
  if (g_str_equal(name, "ProtocolVersion")) return g_variant_new_int32(0);
  g_set_error(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_PROPERTY, "no property %s", name);
  return nullptr;
}

}  // namespace wendrake::programtest

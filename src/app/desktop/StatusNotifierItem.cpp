#include "app/desktop/StatusNotifierItem.h"

namespace wendrake {
namespace {

constexpr const char* kInterface = "org.kde.StatusNotifierItem";
constexpr const char* kItemPath = "/StatusNotifierItem";
constexpr const char* kMenuPath = "/MenuBar";
constexpr const char* kWatcherName = "org.kde.StatusNotifierWatcher";
constexpr const char* kWatcherPath = "/StatusNotifierWatcher";

constexpr const char* kIntrospection = R"xml(<node>
  <interface name="org.kde.StatusNotifierItem">
    <property name="Category" type="s" access="read"/>
    <property name="Id" type="s" access="read"/>
    <property name="Title" type="s" access="read"/>
    <property name="Status" type="s" access="read"/>
    <property name="WindowId" type="i" access="read"/>
    <property name="IconName" type="s" access="read"/>
    <property name="IconThemePath" type="s" access="read"/>
    <property name="ToolTip" type="(sa(iiay)ss)" access="read"/>
    <property name="ItemIsMenu" type="b" access="read"/>
    <property name="Menu" type="o" access="read"/>
    <method name="ContextMenu"><arg name="x" type="i" direction="in"/><arg name="y" type="i" direction="in"/></method>
    <method name="Activate"><arg name="x" type="i" direction="in"/><arg name="y" type="i" direction="in"/></method>
    <method name="SecondaryActivate"><arg name="x" type="i" direction="in"/><arg name="y" type="i" direction="in"/></method>
    <method name="Scroll"><arg name="delta" type="i" direction="in"/><arg name="orientation" type="s" direction="in"/></method>
    <signal name="NewStatus"><arg name="status" type="s"/></signal>
  </interface>
</node>)xml";

GDBusInterfaceInfo* InterfaceInfo() {
  static GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
  return g_dbus_node_info_lookup_interface(node, kInterface);
}

}  // namespace

// The watch is made on the connection we already have, after everything is on
// the bus: the watcher may call us back the moment we register.
StatusNotifierItem::StatusNotifierItem(GDBusConnection* bus, Look look, GtkMenu* menu, std::function<void()> activate)
    : bus_(G_DBUS_CONNECTION(g_object_ref(bus))),
      look_(std::move(look)),
      activate_(std::move(activate)),
      menu_(std::make_unique<DBusMenu>(bus, kMenuPath, menu)) {
  static const GDBusInterfaceVTable vtable{MethodCall, GetProperty, nullptr, {}};
  g_autoptr(GError) error = nullptr;
  registration_ = g_dbus_connection_register_object(bus_, kItemPath, InterfaceInfo(), &vtable, this, nullptr, &error);
  if (!registration_) {
    g_warning("cannot offer the notification-area item: %s", error->message);
    return;
  }
  watch_ = g_bus_watch_name_on_connection(
      bus_, kWatcherName, G_BUS_NAME_WATCHER_FLAGS_NONE,
      +[](GDBusConnection*, const gchar*, const gchar*, gpointer item) { static_cast<StatusNotifierItem*>(item)->Register(); }, nullptr, this,
      nullptr);
}

StatusNotifierItem::~StatusNotifierItem() {
  if (watch_) g_bus_unwatch_name(watch_);
  if (registration_) {
    // The watcher forgets the item only when our connection closes: until then
    // a passive item is one the panel does not show.
    g_dbus_connection_emit_signal(bus_, nullptr, kItemPath, kInterface, "NewStatus", g_variant_new("(s)", "Passive"), nullptr);
    g_dbus_connection_unregister_object(bus_, registration_);
  }
  menu_.reset();
  g_clear_object(&bus_);
}

void StatusNotifierItem::Register() const {
  g_dbus_connection_call(bus_, kWatcherName, kWatcherPath, kWatcherName, "RegisterStatusNotifierItem",
                         g_variant_new("(s)", g_dbus_connection_get_unique_name(bus_)), nullptr, G_DBUS_CALL_FLAGS_NO_AUTO_START, -1, nullptr,
                         nullptr, nullptr);
}

void StatusNotifierItem::MethodCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method, GVariant*,
                                    GDBusMethodInvocation* invocation, gpointer data) {
  g_dbus_method_invocation_return_value(invocation, nullptr);
  // A panel's click (Activate) and middle click (SecondaryActivate) both show or
  // hide, as a left click on the X11 tray's icon does; its menu comes from Menu.
  if (g_str_equal(method, "Activate") || g_str_equal(method, "SecondaryActivate")) static_cast<StatusNotifierItem*>(data)->activate_();
}

GVariant* StatusNotifierItem::GetProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* name, GError** error,
                                          gpointer data) {
  const auto& look = static_cast<StatusNotifierItem*>(data)->look_;
  if (g_str_equal(name, "Category")) return g_variant_new_string("ApplicationStatus");
  if (g_str_equal(name, "Id")) return g_variant_new_string(look.id.c_str());
  if (g_str_equal(name, "Title")) return g_variant_new_string(look.title.c_str());
  if (g_str_equal(name, "Status")) return g_variant_new_string("Active");
  if (g_str_equal(name, "WindowId")) return g_variant_new_int32(0);
  if (g_str_equal(name, "IconName")) return g_variant_new_string(look.iconName.c_str());
  if (g_str_equal(name, "IconThemePath")) return g_variant_new_string(look.iconThemePath.c_str());
  if (g_str_equal(name, "ToolTip"))
    return g_variant_new("(s@a(iiay)ss)", look.iconName.c_str(), g_variant_new_array(G_VARIANT_TYPE("(iiay)"), nullptr, 0), look.title.c_str(), "");
  if (g_str_equal(name, "ItemIsMenu")) return g_variant_new_boolean(FALSE);
  if (g_str_equal(name, "Menu")) return g_variant_new_object_path(kMenuPath);
  g_set_error(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_PROPERTY, "no property %s", name);
  return nullptr;
}

}  // namespace wendrake

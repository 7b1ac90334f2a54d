#include "app/desktop/DBusMenu.h"

#include <algorithm>

namespace wendrake {
namespace {

constexpr const char* kInterface = "com.canonical.dbusmenu";
constexpr guint32 kVersion = 3;
// The entries never change, only their labels, which are announced one by one.
constexpr guint32 kRevision = 1;

constexpr const char* kIntrospection = R"xml(<node>
  <interface name="com.canonical.dbusmenu">
    <method name="GetLayout">
      <arg name="parentId" type="i" direction="in"/>
      <arg name="recursionDepth" type="i" direction="in"/>
      <arg name="propertyNames" type="as" direction="in"/>
      <arg name="revision" type="u" direction="out"/>
      <arg name="layout" type="(ia{sv}av)" direction="out"/>
    </method>
    <method name="GetGroupProperties">
      <arg name="ids" type="ai" direction="in"/>
      <arg name="propertyNames" type="as" direction="in"/>
      <arg name="properties" type="a(ia{sv})" direction="out"/>
    </method>
    <method name="GetProperty">
      <arg name="id" type="i" direction="in"/>
      <arg name="name" type="s" direction="in"/>
      <arg name="value" type="v" direction="out"/>
    </method>
    <method name="Event">
      <arg name="id" type="i" direction="in"/>
      <arg name="eventId" type="s" direction="in"/>
      <arg name="data" type="v" direction="in"/>
      <arg name="timestamp" type="u" direction="in"/>
    </method>
    <method name="EventGroup">
      <arg name="events" type="a(isvu)" direction="in"/>
      <arg name="idErrors" type="ai" direction="out"/>
    </method>
    <method name="AboutToShow">
      <arg name="id" type="i" direction="in"/>
      <arg name="needUpdate" type="b" direction="out"/>
    </method>
    <method name="AboutToShowGroup">
      <arg name="ids" type="ai" direction="in"/>
      <arg name="updatesNeeded" type="ai" direction="out"/>
      <arg name="idErrors" type="ai" direction="out"/>
    </method>
    <signal name="ItemsPropertiesUpdated">
      <arg name="updatedProps" type="a(ia{sv})"/>
      <arg name="removedProps" type="a(ias)"/>
    </signal>
    <signal name="LayoutUpdated">
      <arg name="revision" type="u"/>
      <arg name="parent" type="i"/>
    </signal>
    <property name="Version" type="u" access="read"/>
    <property name="TextDirection" type="s" access="read"/>
    <property name="Status" type="s" access="read"/>
    <property name="IconThemePath" type="as" access="read"/>
  </interface>
</node>)xml";

// In dbusmenu an underscore marks the access key; a plain one is written twice.
std::string MenuLabel(GtkMenuItem* item) {
  const char* label = gtk_menu_item_get_label(item);
  std::string text;
  for (const char* c = label ? label : ""; *c; ++c) {
    text += *c;
    if (*c == '_' && !gtk_menu_item_get_use_underline(item)) text += '_';
  }
  return text;
}

std::vector<gint32> Ids(GVariant* array) {
  std::vector<gint32> ids;
  for (gsize n = 0; n < g_variant_n_children(array); ++n) {
    gint32 id = 0;
    g_variant_get_child(array, n, "i", &id);
    ids.push_back(id);
  }
  return ids;
}

GDBusInterfaceInfo* InterfaceInfo() {
  static GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
  return g_dbus_node_info_lookup_interface(node, kInterface);
}

}  // namespace

DBusMenu::DBusMenu(GDBusConnection* bus, const char* path, GtkMenu* menu) : bus_(G_DBUS_CONNECTION(g_object_ref(bus))), path_(path) {
  g_autoptr(GList) children = gtk_container_get_children(GTK_CONTAINER(menu));
  for (GList* child = children; child; child = child->next) {
    if (!GTK_IS_MENU_ITEM(child->data)) continue;
    auto* item = GTK_MENU_ITEM(child->data);
    items_.push_back(GTK_MENU_ITEM(g_object_ref(item)));
    g_signal_connect(item, "notify::label",
                     G_CALLBACK(+[](GtkMenuItem* changed, GParamSpec*, gpointer self) { static_cast<DBusMenu*>(self)->LabelChanged(changed); }),
                     this);
  }
  static const GDBusInterfaceVTable vtable{MethodCall, GetProperty, nullptr, {}};
  registration_ = g_dbus_connection_register_object(bus_, path_.c_str(), InterfaceInfo(), &vtable, this, nullptr, nullptr);
}

DBusMenu::~DBusMenu() {
  if (registration_) g_dbus_connection_unregister_object(bus_, registration_);
  for (GtkMenuItem* item : items_) {
    g_signal_handlers_disconnect_by_data(item, this);
    g_object_unref(item);
  }
  g_clear_object(&bus_);
}

GVariant* DBusMenu::Properties(gint32 id) const {
  GVariantBuilder properties;
  g_variant_builder_init(&properties, G_VARIANT_TYPE("a{sv}"));
  if (id == 0) {
    g_variant_builder_add(&properties, "{sv}", "children-display", g_variant_new_string("submenu"));
  } else {
    GtkMenuItem* item = items_[static_cast<size_t>(id) - 1];
    g_variant_builder_add(&properties, "{sv}", "label", g_variant_new_string(MenuLabel(item).c_str()));
    g_variant_builder_add(&properties, "{sv}", "enabled", g_variant_new_boolean(gtk_widget_get_sensitive(GTK_WIDGET(item))));
    g_variant_builder_add(&properties, "{sv}", "visible", g_variant_new_boolean(gtk_widget_get_visible(GTK_WIDGET(item))));
  }
  return g_variant_builder_end(&properties);
}

GVariant* DBusMenu::Layout(gint32 id) const {
  GVariantBuilder children;
  g_variant_builder_init(&children, G_VARIANT_TYPE("av"));
  if (id == 0)
    for (size_t child = 1; child <= items_.size(); ++child) g_variant_builder_add(&children, "v", Layout(static_cast<gint32>(child)));
  return g_variant_new("(i@a{sv}av)", id, Properties(id), &children);
}

void DBusMenu::Click(gint32 id) const {
  if (id > 0 && Known(id)) gtk_menu_item_activate(items_[static_cast<size_t>(id) - 1]);
}

void DBusMenu::LabelChanged(GtkMenuItem* item) {
  const auto found = std::find(items_.begin(), items_.end(), item);
  if (found == items_.end()) return;
  const auto id = static_cast<gint32>(found - items_.begin() + 1);
  GVariantBuilder updated;
  g_variant_builder_init(&updated, G_VARIANT_TYPE("a(ia{sv})"));
  g_variant_builder_add(&updated, "(i@a{sv})", id, Properties(id));
  g_dbus_connection_emit_signal(bus_, nullptr, path_.c_str(), kInterface, "ItemsPropertiesUpdated",
                                g_variant_new("(a(ia{sv})@a(ias))", &updated, g_variant_new_array(G_VARIANT_TYPE("(ias)"), nullptr, 0)), nullptr);
}

void DBusMenu::MethodCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method, GVariant* parameters,
                          GDBusMethodInvocation* invocation, gpointer data) {
  auto* self = static_cast<DBusMenu*>(data);
  const auto unknown = [&](gint32 id) {
    g_dbus_method_invocation_return_error(invocation, G_DBUS_ERROR, G_DBUS_ERROR_INVALID_ARGS, "no menu entry %d", id);
  };
  if (g_str_equal(method, "GetLayout")) {
    gint32 parent = 0;
    g_variant_get_child(parameters, 0, "i", &parent);
    if (!self->Known(parent)) return unknown(parent);
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(u@(ia{sv}av))", kRevision, self->Layout(parent)));
  } else if (g_str_equal(method, "GetGroupProperties")) {
    g_autoptr(GVariant) ids = g_variant_get_child_value(parameters, 0);
    GVariantBuilder found;
    g_variant_builder_init(&found, G_VARIANT_TYPE("a(ia{sv})"));
    // No ids asks for every entry.
    std::vector<gint32> wanted = Ids(ids);
    if (wanted.empty())
      for (size_t id = 0; id <= self->items_.size(); ++id) wanted.push_back(static_cast<gint32>(id));
    for (gint32 id : wanted)
      if (self->Known(id)) g_variant_builder_add(&found, "(i@a{sv})", id, self->Properties(id));
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(a(ia{sv}))", &found));
  } else if (g_str_equal(method, "GetProperty")) {
    gint32 id = 0;
    const gchar* name = nullptr;
    g_variant_get(parameters, "(i&s)", &id, &name);
    if (!self->Known(id)) return unknown(id);
    g_autoptr(GVariant) properties = g_variant_ref_sink(self->Properties(id));
    g_autoptr(GVariant) value = g_variant_lookup_value(properties, name, nullptr);
    if (!value)
      return g_dbus_method_invocation_return_error(invocation, G_DBUS_ERROR, G_DBUS_ERROR_INVALID_ARGS, "menu entry %d has no %s", id, name);
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(v)", value));
  } else if (g_str_equal(method, "Event")) {
    gint32 id = 0;
    const gchar* event = nullptr;
    g_variant_get_child(parameters, 0, "i", &id);
    g_variant_get_child(parameters, 1, "&s", &event);
    if (!self->Known(id)) return unknown(id);
    // Answered first: a click may end the program.
    g_dbus_method_invocation_return_value(invocation, nullptr);
    if (g_str_equal(event, "clicked")) self->Click(id);
  } else if (g_str_equal(method, "EventGroup")) {
    g_autoptr(GVariant) events = g_variant_get_child_value(parameters, 0);
    GVariantBuilder errors;
    g_variant_builder_init(&errors, G_VARIANT_TYPE("ai"));
    std::vector<gint32> clicked;
    for (gsize n = 0; n < g_variant_n_children(events); ++n) {
      gint32 id = 0;
      const gchar* event = nullptr;
      g_variant_get_child(events, n, "(i&svu)", &id, &event, nullptr, nullptr);
      if (!self->Known(id))
        g_variant_builder_add(&errors, "i", id);
      else if (g_str_equal(event, "clicked"))
        clicked.push_back(id);
    }
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(ai)", &errors));
    for (gint32 id : clicked) self->Click(id);
  } else if (g_str_equal(method, "AboutToShow")) {
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(b)", FALSE));
  } else if (g_str_equal(method, "AboutToShowGroup")) {
    g_autoptr(GVariant) ids = g_variant_get_child_value(parameters, 0);
    GVariantBuilder errors;
    g_variant_builder_init(&errors, G_VARIANT_TYPE("ai"));
    for (gint32 id : Ids(ids))
      if (!self->Known(id)) g_variant_builder_add(&errors, "i", id);
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(@aiai)", g_variant_new_array(G_VARIANT_TYPE_INT32, nullptr, 0), &errors));
  } else {
    g_dbus_method_invocation_return_error(invocation, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_METHOD, "no method %s", method);
  }
}

GVariant* DBusMenu::GetProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* name, GError** error, gpointer) {
  if (g_str_equal(name, "Version")) return g_variant_new_uint32(kVersion);
  if (g_str_equal(name, "TextDirection")) return g_variant_new_string(gtk_widget_get_default_direction() == GTK_TEXT_DIR_RTL ? "rtl" : "ltr");
  if (g_str_equal(name, "Status")) return g_variant_new_string("normal");
  if (g_str_equal(name, "IconThemePath")) return g_variant_new_strv(nullptr, 0);
  g_set_error(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_PROPERTY, "no property %s", name);
  return nullptr;
}

}  // namespace wendrake

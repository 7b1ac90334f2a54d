#include "harness/StatusNotifierHost.h"

#include <chrono>

#include "harness/Wait.h"

namespace wendrake::programtest {
namespace {

constexpr const char* kItemInterface = "org.kde.StatusNotifierItem";
constexpr const char* kMenuInterface = "com.canonical.dbusmenu";
constexpr gint32 kRootEntry = 0;
constexpr int kCallMilliseconds = 5000;

struct Reply {
  bool done = false;
  GVariant* value = nullptr;
  std::string call;
  std::shared_ptr<std::string> errors;
  ~Reply() {
    if (value) g_variant_unref(value);
  }
};

// Owns one reference to the reply until the call is answered, however long that takes.
void Answered(GObject* connection, GAsyncResult* result, gpointer data) {
  auto* held = static_cast<std::shared_ptr<Reply>*>(data);
  Reply& reply = **held;
  GError* error = nullptr;
  reply.value = g_dbus_connection_call_finish(G_DBUS_CONNECTION(connection), result, &error);
  if (error) {
    *reply.errors += reply.call + ": " + error->message + "\n";
    g_error_free(error);
  }
  reply.done = true;
  delete held;
}

std::shared_ptr<Reply> Send(GDBusConnection* connection, const RegisteredItem& item, const std::string& path, const char* interface,
                            const char* method, GVariant* parameters, const GVariantType* replyType, const std::shared_ptr<std::string>& errors) {
  auto reply = std::make_shared<Reply>();
  reply->call = std::string(interface) + "." + method + " on " + item.service + path;
  reply->errors = errors;
  g_dbus_connection_call(connection, item.service.c_str(), path.c_str(), interface, method, parameters, replyType, G_DBUS_CALL_FLAGS_NO_AUTO_START,
                         kCallMilliseconds, nullptr, Answered, new std::shared_ptr<Reply>(reply));
  return reply;
}

bool Textual(GVariant* value) {
  return g_variant_is_of_type(value, G_VARIANT_TYPE_STRING) || g_variant_is_of_type(value, G_VARIANT_TYPE_OBJECT_PATH);
}

}  // namespace

StatusNotifierHost::StatusNotifierHost(GDBusConnection* connection, RegisteredItem item) : connection_(connection), item_(std::move(item)) {
  subscription_ = g_dbus_connection_signal_subscribe(connection_, item_.service.c_str(), kMenuInterface, "ItemsPropertiesUpdated", nullptr, nullptr,
                                                     G_DBUS_SIGNAL_FLAGS_NONE, PropertiesUpdated, this, nullptr);
}

StatusNotifierHost::~StatusNotifierHost() { g_dbus_connection_signal_unsubscribe(connection_, subscription_); }

void StatusNotifierHost::PropertiesUpdated(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* parameters,
                                           gpointer data) {
  auto* host = static_cast<StatusNotifierHost*>(data);
  if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(a(ia{sv})a(ias))"))) {
    *host->errors_ += std::string("ItemsPropertiesUpdated of type ") + g_variant_get_type_string(parameters) + "\n";
    return;
  }
  GVariantIter* updated = nullptr;
  g_variant_get(parameters, "(a(ia{sv})a(ias))", &updated, nullptr);
  gint32 id = 0;
  GVariant* properties = nullptr;
  while (g_variant_iter_next(updated, "(i@a{sv})", &id, &properties)) {
    const gchar* label = nullptr;
    if (g_variant_lookup(properties, "label", "&s", &label)) host->announced_.emplace_back(id, label);
    g_variant_unref(properties);
  }
  g_variant_iter_free(updated);
}

std::vector<std::string> StatusNotifierHost::AnnouncedLabels(gint32 id) const {
  std::vector<std::string> labels;
  for (const auto& [entry, label] : announced_)
    if (entry == id) labels.push_back(label);
  return labels;
}

void StatusNotifierHost::Activate() {
  if (GVariant* reply = Call(item_.path, kItemInterface, "Activate", g_variant_new("(ii)", 0, 0), G_VARIANT_TYPE_UNIT)) g_variant_unref(reply);
}

GVariant* StatusNotifierHost::Call(const std::string& path, const char* interface, const char* method, GVariant* parameters,
                                   const GVariantType* replyType) {
  const auto reply = Send(connection_, item_, path, interface, method, parameters, replyType, errors_);
  // The bus gives up on the call first, so the answer always comes within this time.
  RunUntil([&] { return reply->done; }, 2.0 * kCallMilliseconds / 1000);
  if (!reply->done) *errors_ += reply->call + ": no answer\n";
  GVariant* value = reply->value;
  reply->value = nullptr;
  return value;
}

std::optional<std::string> StatusNotifierHost::Property(const std::string& name) {
  GVariant* reply =
      Call(item_.path, "org.freedesktop.DBus.Properties", "Get", g_variant_new("(ss)", kItemInterface, name.c_str()), G_VARIANT_TYPE("(v)"));
  if (!reply) return std::nullopt;
  GVariant* value = nullptr;
  g_variant_get(reply, "(v)", &value);
  g_variant_unref(reply);
  std::optional<std::string> result;
  if (Textual(value))
    result = g_variant_get_string(value, nullptr);
  else
    *errors_ += "the item's " + name + " is of type " + g_variant_get_type_string(value) + "\n";
  g_variant_unref(value);
  return result;
}

std::optional<std::string> StatusNotifierHost::MenuPath() {
  const auto path = Property("Menu");
  if (path && !g_variant_is_object_path(path->c_str())) {
    *errors_ += "the item's Menu is no object path: " + *path + "\n";
    return std::nullopt;
  }
  return path;
}

std::optional<std::vector<MenuEntry>> StatusNotifierHost::Menu() {
  const auto path = MenuPath();
  if (!path) return std::nullopt;
  // A panel tells the menu it is about to open, then asks for all of it.
  if (GVariant* update = Call(*path, kMenuInterface, "AboutToShow", g_variant_new("(i)", kRootEntry), G_VARIANT_TYPE("(b)"))) g_variant_unref(update);
  GVariant* reply = Call(*path, kMenuInterface, "GetLayout", g_variant_new("(ii@as)", kRootEntry, -1, g_variant_new_strv(nullptr, 0)),
                         G_VARIANT_TYPE("(u(ia{sv}av))"));
  if (!reply) return std::nullopt;
  GVariant* layout = g_variant_get_child_value(reply, 1);
  GVariant* children = g_variant_get_child_value(layout, 2);
  std::vector<MenuEntry> entries;
  for (gsize n = 0; n < g_variant_n_children(children); ++n) {
    GVariant* boxed = g_variant_get_child_value(children, n);
    GVariant* child = g_variant_get_variant(boxed);
    if (g_variant_is_of_type(child, G_VARIANT_TYPE("(ia{sv}av)"))) {
      MenuEntry entry;
      g_variant_get_child(child, 0, "i", &entry.id);
      GVariant* properties = g_variant_get_child_value(child, 1);
      gboolean visible = TRUE;
      g_variant_lookup(properties, "visible", "b", &visible);
      GVariant* label = g_variant_lookup_value(properties, "label", G_VARIANT_TYPE_STRING);
      if (label) {
        entry.label = g_variant_get_string(label, nullptr);
        g_variant_unref(label);
      }
      g_variant_unref(properties);
      if (visible) entries.push_back(entry);
    } else {
      *errors_ += std::string("a menu entry of type ") + g_variant_get_type_string(child) + "\n";
    }
    g_variant_unref(child);
    g_variant_unref(boxed);
  }
  g_variant_unref(children);
  g_variant_unref(layout);
  g_variant_unref(reply);
  return entries;
}

void StatusNotifierHost::Click(gint32 id) {
  const auto path = MenuPath();
  if (!path) return;
  const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
  Send(connection_, item_, *path, kMenuInterface, "Event", g_variant_new("(isvu)", id, "clicked", g_variant_new_int32(0), static_cast<guint32>(now)),
       nullptr, errors_);
}

}  // namespace wendrake::programtest

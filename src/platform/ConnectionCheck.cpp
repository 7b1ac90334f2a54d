#include "platform/ConnectionCheck.h"

#include <gio/gio.h>

namespace wendrake {
namespace {

// "http://host:port/path", "https://host/", or a bare "host:port".
GSocketConnectable* ParseTarget(const std::string& address) {
  const char* scheme = g_uri_peek_scheme(address.c_str());
  const guint16 defaultPort = scheme && g_str_equal(scheme, "https") ? 443 : 80;
  if (GSocketConnectable* target = g_network_address_parse_uri(address.c_str(), defaultPort, nullptr)) return target;
  return g_network_address_parse(address.c_str(), defaultPort, nullptr);
}

struct Attempt {
  bool done = false;
  bool connected = false;
};

void OnConnected(GObject* client, GAsyncResult* result, gpointer data) {
  auto* attempt = static_cast<Attempt*>(data);
  g_autoptr(GSocketConnection) connection = g_socket_client_connect_finish(G_SOCKET_CLIENT(client), result, nullptr);
  attempt->connected = connection != nullptr;
  attempt->done = true;
}

gboolean CancelAtDeadline(gpointer cancellable) {
  g_cancellable_cancel(G_CANCELLABLE(cancellable));
  return G_SOURCE_REMOVE;
}

}  // namespace

bool ConnectionCheck::CheckConnection() {
  g_autoptr(GSocketConnectable) target = ParseTarget(address_);
  if (!target) return false;

  // A context of our own: the page waits for the answer, and nothing else of the
  // program's runs meanwhile. The deadline covers the name lookup as well.
  g_autoptr(GMainContext) context = g_main_context_new();
  g_main_context_push_thread_default(context);
  g_autoptr(GCancellable) cancellable = g_cancellable_new();
  g_autoptr(GSocketClient) client = g_socket_client_new();
  // A direct attempt: a proxy answering would say nothing about the network.
  g_socket_client_set_enable_proxy(client, FALSE);

  Attempt attempt;
  g_socket_client_connect_async(client, target, cancellable, OnConnected, &attempt);
  g_autoptr(GSource) deadline = g_timeout_source_new(static_cast<guint>(timeout_.count()));
  g_source_set_callback(deadline, CancelAtDeadline, cancellable, nullptr);
  g_source_attach(deadline, context);
  while (!attempt.done) g_main_context_iteration(context, TRUE);
  g_source_destroy(deadline);

  // Let the attempts still under way see that they are no longer wanted.
  g_cancellable_cancel(cancellable);
  while (g_main_context_iteration(context, FALSE)) {
  }
  g_main_context_pop_thread_default(context);
  return attempt.connected;
}

}  // namespace wendrake

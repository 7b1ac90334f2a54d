#include "pagehost/webkit/DataScheme.h"

#include <string>

#include "pagehost/wire/PageAccess.h"
#include "platform/AtomicFile.h"

namespace wendrake {
namespace {

struct Catalogues {
  const Installation& installation;
  std::string uiFolderUri;
};

void Refuse(WebKitURISchemeRequest* request, int code, const char* text) {
  g_autoptr(GError) error = g_error_new_literal(G_IO_ERROR, code, text);
  webkit_uri_scheme_request_finish_error(request, error);
}

void Serve(WebKitURISchemeRequest* request, gpointer data) {
  const auto& catalogues = *static_cast<const Catalogues*>(data);
  WebKitWebView* view = webkit_uri_scheme_request_get_web_view(request);
  const char* page = view ? webkit_web_view_get_uri(view) : nullptr;
  if (!page || !wire::IsPageAllowed(page, catalogues.uiFolderUri, "")) return Refuse(request, G_IO_ERROR_PERMISSION_DENIED, "not for this page");
  const std::string path = webkit_uri_scheme_request_get_path(request);
  std::filesystem::path file;
  if (path == "/update.xml") file = catalogues.installation.ReferenceCatalogPath();
  if (path == "/update_info.xml") file = catalogues.installation.CatalogPath();
  const auto bytes = file.empty() ? std::nullopt : ReadWholeFile(file);
  if (!bytes) return Refuse(request, G_IO_ERROR_NOT_FOUND, "no such catalogue");
  g_autoptr(GBytes) content = g_bytes_new(bytes->data(), bytes->size());
  g_autoptr(GInputStream) stream = g_memory_input_stream_new_from_bytes(content);
  g_autoptr(WebKitURISchemeResponse) response = webkit_uri_scheme_response_new(stream, static_cast<gint64>(bytes->size()));
  webkit_uri_scheme_response_set_content_type(response, "application/xml");
  // The pages are file addresses, whose origin is opaque: they may read it all the same.
  SoupMessageHeaders* headers = soup_message_headers_new(SOUP_MESSAGE_HEADERS_RESPONSE);
  soup_message_headers_append(headers, "Access-Control-Allow-Origin", "*");
  soup_message_headers_append(headers, "Cache-Control", "no-store");
  webkit_uri_scheme_response_set_http_headers(response, headers);
  webkit_uri_scheme_request_finish_with_response(request, response);
}

}  // namespace

void ServeCatalogues(WebKitWebContext* context, const Installation& installation, const std::string& uiFolderUri) {
  webkit_web_context_register_uri_scheme(
      context, kDataScheme, Serve, new Catalogues{installation, uiFolderUri}, +[](gpointer data) { delete static_cast<Catalogues*>(data); });
  WebKitSecurityManager* security = webkit_web_context_get_security_manager(context);
  webkit_security_manager_register_uri_scheme_as_cors_enabled(security, kDataScheme);
  webkit_security_manager_register_uri_scheme_as_secure(security, kDataScheme);
}

}  // namespace wendrake

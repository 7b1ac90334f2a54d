#include "pagehost/webkit/WebViewEnvironment.h"

#include <cstdlib>

#include "core/ProductSite.h"
#include "pagehost/webkit/DataScheme.h"
#include "pagehost/wire/PageAccess.h"

namespace wendrake {
namespace {

std::string FolderUri(const std::filesystem::path& folder) {
  g_autofree gchar* uri = g_filename_to_uri(folder.c_str(), nullptr, nullptr);
  std::string text = uri ? uri : "";
  if (!text.empty() && text.back() != '/') text += '/';
  return text;
}

// The program tests shorten the wait for a page that does not answer.
std::chrono::milliseconds PageCallDeadline() {
  const char* text = std::getenv("WENDRAKE_PAGE_CALL_DEADLINE_MS");
  char* end = nullptr;
  const long milliseconds = text ? std::strtol(text, &end, 10) : 0;
  return text && *end == '\0' && milliseconds > 0 ? std::chrono::milliseconds(milliseconds) : kPageCallDeadline;
}

}  // namespace

WebViewEnvironment::WebViewEnvironment(const Installation& installation, std::filesystem::path extensionFolder, std::filesystem::path diagnosticsLog)
    : installation_(installation),
      extensionFolder_(std::move(extensionFolder)),
      diagnosticsLog_(std::move(diagnosticsLog)),
      uiFolderUri_(FolderUri(installation.Root() / "UI")),
      channel_(PageAccessRule{uiFolderUri_, kProductSite}, PageCallDeadline()),
      context_(webkit_web_context_new()) {
  // Each web process asks for the extension and its start-up data as it starts.
  g_signal_connect(context_, "initialize-web-extensions", G_CALLBACK(+[](WebKitWebContext* context, gpointer data) {
                     auto* self = static_cast<WebViewEnvironment*>(data);
                     webkit_web_context_set_web_extensions_directory(context, self->extensionFolder_.c_str());
                     webkit_web_context_set_web_extensions_initialization_user_data(
                         context, self->channel_.ExtensionInitializationData(self->diagnosticsLog_));
                   }),
                   this);
  ServeCatalogues(context_, installation_, uiFolderUri_);
}

WebViewEnvironment::~WebViewEnvironment() { g_clear_object(&context_); }

bool WebViewEnvironment::ShowsInstallationPage(WebKitWebView* view) const {
  const char* uri = view ? webkit_web_view_get_uri(view) : nullptr;
  return uri && wire::IsPageAllowed(uri, uiFolderUri_, "");
}

}  // namespace wendrake

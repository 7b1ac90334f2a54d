#include "pagehost/wire/PageAccess.h"

#include <memory>
#include <optional>

namespace wendrake::wire {
namespace {

struct GFreeDeleter {
  void operator()(void* p) const { g_free(p); }
};
using GString8 = std::unique_ptr<char, GFreeDeleter>;

// The local path of a file address, with "." and ".." resolved; nothing for other
// addresses, remote hosts or escaped slashes.
std::optional<std::string> LocalPath(std::string_view uri) {
  std::string bare(uri.substr(0, uri.find_first_of("?#")));
  gchar* host = nullptr;
  GString8 path(g_filename_from_uri(bare.c_str(), &host, nullptr));
  GString8 hostOwner(host);
  if (!path || (host && *host && g_ascii_strcasecmp(host, "localhost") != 0)) return std::nullopt;
  GString8 canonical(g_canonicalize_filename(path.get(), "/"));
  return std::string(canonical.get());
}

struct Origin {
  std::string scheme, host;
  int port = -1;
};

std::optional<Origin> OriginOf(std::string_view address) {
  const std::string text(address);
  GUri* uri = g_uri_parse(text.c_str(), G_URI_FLAGS_SCHEME_NORMALIZE, nullptr);
  if (!uri) return std::nullopt;
  std::optional<Origin> origin;
  const char* host = g_uri_get_host(uri);
  if (host && *host) {
    GString8 scheme(g_ascii_strdown(g_uri_get_scheme(uri), -1));
    GString8 lowerHost(g_ascii_strdown(host, -1));
    origin = Origin{scheme.get(), lowerHost.get(), g_uri_get_port(uri)};
  }
  g_uri_unref(uri);
  return origin;
}

}  // namespace

bool IsPageAllowed(std::string_view documentUri, std::string_view uiFolderUri, std::string_view siteOrigin) {
  if (!uiFolderUri.empty()) {
    const auto folder = LocalPath(uiFolderUri);
    const auto document = LocalPath(documentUri);
    if (folder && document) {
      std::string prefix = *folder;
      if (prefix.empty() || prefix.back() != '/') prefix += '/';
      if (document->size() > prefix.size() && document->compare(0, prefix.size(), prefix) == 0) return true;
    }
  }
  if (!siteOrigin.empty()) {
    const auto site = OriginOf(siteOrigin);
    const auto document = OriginOf(documentUri);
    if (site && document && site->scheme == document->scheme && site->host == document->host && site->port == document->port)
      return true;
  }
  return false;
}

GVariant* SettingsVariant(const ExtensionSettings& settings) {
  GVariantBuilder names;
  g_variant_builder_init(&names, G_VARIANT_TYPE_STRING_ARRAY);
  for (const auto& name : settings.methodNames) g_variant_builder_add(&names, "s", name.c_str());
  return g_variant_new("(ssasss)", settings.socketPath.c_str(), settings.secret.c_str(), &names, settings.uiFolderUri.c_str(),
                       settings.siteOrigin.c_str());
}

bool ReadSettings(GVariant* data, ExtensionSettings& out) {
  if (!data || !g_variant_is_of_type(data, G_VARIANT_TYPE("(ssasss)"))) return false;
  const gchar *socketPath = nullptr, *secret = nullptr, *folder = nullptr, *origin = nullptr;
  GVariantIter* names = nullptr;
  g_variant_get(data, "(&s&sas&s&s)", &socketPath, &secret, &names, &folder, &origin);
  out = ExtensionSettings{socketPath, secret, {}, folder, origin};
  const gchar* name = nullptr;
  while (g_variant_iter_next(names, "&s", &name)) out.methodNames.emplace_back(name);
  g_variant_iter_free(names);
  return true;
}

}  // namespace wendrake::wire

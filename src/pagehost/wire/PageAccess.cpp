#include "pagehost/wire/PageAccess.h"

#include <optional>

namespace wendrake::wire {
namespace {

// The local path of a file address, with "." and ".." resolved; nothing for other
// addresses, remote hosts or escaped slashes.
std::optional<std::string> LocalPath(std::string_view uri) {
  std::string bare(uri.substr(0, uri.find_first_of("?#")));
  g_autofree gchar* host = nullptr;
  g_autofree gchar* path = g_filename_from_uri(bare.c_str(), &host, nullptr);
  if (!path || (host && *host && g_ascii_strcasecmp(host, "localhost") != 0)) return std::nullopt;
  g_autofree gchar* canonical = g_canonicalize_filename(path, "/");
  return std::string(canonical);
}

struct Origin {
  std::string scheme, host;
  int port = -1;
};

std::optional<Origin> OriginOf(std::string_view address) {
  const std::string text(address);
  g_autoptr(GUri) uri = g_uri_parse(text.c_str(), G_URI_FLAGS_SCHEME_NORMALIZE, nullptr);
  if (!uri) return std::nullopt;
  const char* host = g_uri_get_host(uri);
  if (!host || !*host) return std::nullopt;
  g_autofree gchar* scheme = g_ascii_strdown(g_uri_get_scheme(uri), -1);
  g_autofree gchar* lowerHost = g_ascii_strdown(host, -1);
  return Origin{scheme, lowerHost, g_uri_get_port(uri)};
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

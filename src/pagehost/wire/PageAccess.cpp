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
    if (site && document && site->scheme == document->scheme && site->host == document->host && site->port == document->port) return true;
  }
  return false;
}

namespace {

constexpr char kSettingsType[] = "(ssasasisss)";

GVariant* NameList(const std::vector<std::string>& names) {
  GVariantBuilder list;
  g_variant_builder_init(&list, G_VARIANT_TYPE_STRING_ARRAY);
  for (const auto& name : names) g_variant_builder_add(&list, "s", name.c_str());
  return g_variant_builder_end(&list);
}

void ReadNames(GVariantIter* names, std::vector<std::string>& out) {
  const gchar* name = nullptr;
  while (g_variant_iter_next(names, "&s", &name)) out.emplace_back(name);
}

}  // namespace

GVariant* SettingsVariant(const ExtensionSettings& settings) {
  return g_variant_new("(ss@as@asisss)", settings.socketPath.c_str(), settings.secret.c_str(), NameList(settings.methodNames),
                       NameList(settings.programMethodNames), settings.programMemberBase, settings.uiFolderUri.c_str(), settings.siteOrigin.c_str(),
                       settings.diagnosticsLog.c_str());
}

bool ReadSettings(GVariant* data, ExtensionSettings& out) {
  if (!data || !g_variant_is_of_type(data, G_VARIANT_TYPE(kSettingsType))) return false;
  const gchar *socketPath = nullptr, *secret = nullptr, *folder = nullptr, *origin = nullptr, *log = nullptr;
  g_autoptr(GVariantIter) names = nullptr;
  g_autoptr(GVariantIter) programNames = nullptr;
  gint32 programBase = 0;
  g_variant_get(data, "(&s&sasasi&s&s&s)", &socketPath, &secret, &names, &programNames, &programBase, &folder, &origin, &log);
  out = ExtensionSettings{socketPath, secret, {}, {}, programBase, folder, origin, log};
  ReadNames(names, out.methodNames);
  ReadNames(programNames, out.programMethodNames);
  return true;
}

}  // namespace wendrake::wire

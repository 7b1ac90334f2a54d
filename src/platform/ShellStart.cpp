#include "platform/ShellStart.h"

#include <gio/gio.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "core/Installation.h"
#include "core/Text.h"

namespace wendrake {
namespace {

template <typename T>
struct GObjectDeleter {
  void operator()(T* object) const { if (object) g_object_unref(object); }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectDeleter<T>>;

bool HasScheme(std::string_view text, std::string_view scheme) {
  return text.size() > scheme.size() && EqualsIgnoreAsciiCase(text.substr(0, scheme.size()), scheme);
}

// GLib's asynchronous spawn runs the program through an intermediate child, so
// it is detached and reaped, and reports a failed exec here.
bool Spawn(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  GError* error = nullptr;
  const bool started = g_spawn_async(nullptr, args.data(), nullptr, G_SPAWN_STDIN_FROM_DEV_NULL, nullptr, nullptr, nullptr, &error);
  if (error) g_error_free(error);
  return started;
}

bool OpenWithDefaultHandler(GAppInfo* handler, const std::string& uri, bool dryRun) {
  if (!handler) return false;
  if (dryRun) return true;
  GList uris{const_cast<char*>(uri.c_str()), nullptr, nullptr};
  GError* error = nullptr;
  const bool started = g_app_info_launch_uris(handler, &uris, nullptr, &error);
  if (error) g_error_free(error);
  return started;
}

bool OpenAddress(const std::string& address, bool dryRun) {
  const std::string scheme = address.substr(0, address.find(':'));
  GObjectPtr<GAppInfo> handler(g_app_info_get_default_for_uri_scheme(scheme.c_str()));
  return OpenWithDefaultHandler(handler.get(), address, dryRun);
}

bool OpenDocument(const std::filesystem::path& path, bool dryRun) {
  GObjectPtr<GFile> file(g_file_new_for_path(path.c_str()));
  GObjectPtr<GFileInfo> info(g_file_query_info(file.get(), G_FILE_ATTRIBUTE_STANDARD_CONTENT_TYPE, G_FILE_QUERY_INFO_NONE, nullptr, nullptr));
  const char* type = info ? g_file_info_get_content_type(info.get()) : nullptr;
  if (!type) return false;
  GObjectPtr<GAppInfo> handler(g_app_info_get_default_for_type(type, FALSE));
  std::unique_ptr<char, decltype(&g_free)> uri(g_file_get_uri(file.get()), g_free);
  return OpenWithDefaultHandler(handler.get(), uri.get(), dryRun);
}

}  // namespace

bool ShellStarter::ShellOpen(std::u16string_view target) {
  const std::string text = ToUtf8(target);
  if (HasScheme(text, "http://") || HasScheme(text, "https://")) return OpenAddress(text, dryRun_);

  const std::filesystem::path path = NativePath(target);
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (error || !std::filesystem::exists(status)) return false;

  if (std::filesystem::is_regular_file(status) && EqualsIgnoreAsciiCase(path.extension().string(), ".exe")) {
    std::unique_ptr<char, decltype(&g_free)> wine(g_find_program_in_path("wine"), g_free);
    if (!wine) return false;
    return dryRun_ || Spawn({wine.get(), path.string()});
  }
  if (std::filesystem::is_regular_file(status) && ::access(path.c_str(), X_OK) == 0) return dryRun_ || Spawn({path.string()});
  return OpenDocument(path, dryRun_);
}

}  // namespace wendrake

#include "platform/ShellStart.h"

#include <gio/gio.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>

#include "core/Installation.h"
#include "core/Text.h"
#include "platform/WinePrefix.h"

namespace wendrake {
namespace {

namespace fs = std::filesystem;

enum class FileKind { WindowsProgram, NativeProgram, Other };

bool HasScheme(std::string_view text, std::string_view scheme) {
  return text.size() > scheme.size() && EqualsIgnoreAsciiCase(text.substr(0, scheme.size()), scheme);
}

FileKind KindOf(const fs::path& file) {
  std::array<char, 4> head{};
  std::ifstream in(file, std::ios::binary);
  in.read(head.data(), head.size());
  const std::string_view start(head.data(), static_cast<size_t>(in.gcount()));
  if (start.starts_with("MZ")) return FileKind::WindowsProgram;
  const bool native = start.starts_with(
                          "\x7f"
                          "ELF") ||
                      start.starts_with("#!");
  return native && ::access(file.c_str(), X_OK) == 0 ? FileKind::NativeProgram : FileKind::Other;
}

// The runner's command line with its program found on PATH; nothing when it
// cannot be parsed.
std::optional<std::vector<std::string>> WineRunner(const std::string& configured) {
  std::vector<std::string> words{"wine"};
  if (!configured.empty()) {
    g_auto(GStrv) argv = nullptr;
    if (!g_shell_parse_argv(configured.c_str(), nullptr, &argv, nullptr)) return std::nullopt;
    words.assign(argv, argv + g_strv_length(argv));
  }
  return words;
}

bool IsRunnable(std::string& program) {
  g_autofree char* found = g_find_program_in_path(program.c_str());
  if (found) program = found;
  return found != nullptr;
}

// GLib's asynchronous spawn runs the program through an intermediate child, so
// it is detached and reaped, and reports a failed exec here.
bool Spawn(const StartReport& start) {
  std::vector<char*> argv;
  for (const auto& word : start.commandLine) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  g_auto(GStrv) environment = g_get_environ();
  if (!start.winePrefix.empty()) environment = g_environ_setenv(environment, "WINEPREFIX", start.winePrefix.c_str(), TRUE);
  return g_spawn_async(start.workingDirectory.c_str(), argv.data(), environment, G_SPAWN_STDIN_FROM_DEV_NULL, nullptr, nullptr, nullptr, nullptr);
}

bool Launch(GAppInfo* handler, const std::string& uri) {
  GList uris{const_cast<char*>(uri.c_str()), nullptr, nullptr};
  return g_app_info_launch_uris(handler, &uris, nullptr, nullptr);
}

}  // namespace

bool ShellStarter::Open(std::u16string_view target, StartReport* report) {
  // The system's calls end a name at its first NUL, so it would start something other than what was asked.
  if (target.empty() || target.find(u'\0') != std::u16string_view::npos || HasLoneSurrogate(target)) return false;
  StartReport start;
  bool runnable = false;
  g_autoptr(GAppInfo) handler = nullptr;
  std::string uri = ToUtf8(target);

  if (HasScheme(uri, "http://") || HasScheme(uri, "https://")) {
    handler = g_app_info_get_default_for_uri_scheme(uri.substr(0, uri.find(':')).c_str());
  } else {
    const fs::path path = fs::absolute(NativePath(target)).lexically_normal();
    std::error_code error;
    const auto status = fs::status(path, error);
    if (error || !fs::exists(status)) return false;
    const FileKind kind = fs::is_regular_file(status) ? KindOf(path) : FileKind::Other;
    if (kind == FileKind::Other) {
      g_autoptr(GFile) file = g_file_new_for_path(path.c_str());
      g_autoptr(GFileInfo) info = g_file_query_info(file, G_FILE_ATTRIBUTE_STANDARD_CONTENT_TYPE, G_FILE_QUERY_INFO_NONE, nullptr, nullptr);
      const char* type = info ? g_file_info_get_content_type(info) : nullptr;
      if (type) handler = g_app_info_get_default_for_type(type, FALSE);
      g_autofree char* fileUri = g_file_get_uri(file);
      uri = fileUri;
    } else {
      // Windows programs, patchers above all, look for their files beside them.
      start.workingDirectory = path.parent_path().string();
      if (kind == FileKind::WindowsProgram) {
        // A configured runner that is missing fails: another Wine would start the
        // game in the wrong build or prefix.
        auto runner = WineRunner(wineCommand_ ? wineCommand_() : std::string());
        if (!runner) return false;
        start.commandLine = std::move(*runner);
        if (const auto prefix = WinePrefixOf(path)) start.winePrefix = prefix->string();
      }
      start.commandLine.push_back(path.string());
      runnable = IsRunnable(start.commandLine[0]);
    }
  }
  if (handler) start.handler = g_app_info_get_id(handler) ? g_app_info_get_id(handler) : g_app_info_get_name(handler);

  const bool started = handler ? dryRun_ || Launch(handler, uri) : runnable && (dryRun_ || Spawn(start));
  if (report) *report = std::move(start);
  return started;
}

}  // namespace wendrake

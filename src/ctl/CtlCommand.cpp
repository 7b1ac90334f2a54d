#include "ctl/CtlCommand.h"

#include <optional>
#include <set>
#include <sstream>

#include <glib.h>

#include "addons/AddOnSnapshots.h"
#include "addons/Leftovers.h"
#include "addons/SnapshotRestore.h"
#include "commands/DataFolder.h"
#include "commands/SettingsStore.h"
#include "core/Text.h"
#include "ctl/JsonText.h"
#include "pagehost/HeadlessHost.h"
#include "pagehost/ScriptBridge.h"
#include "platform/GameSearch.h"

namespace wendrake {
namespace {

constexpr const char* kUsage =
    "usage: wendrakectl [--root DIR] [--no-exec] [--page-functions NAMES] call METHOD [ARG ...]\n"
    "       wendrakectl [--root DIR] [--no-exec] [--page-functions NAMES] call METHOD --json-args JSON-ARRAY\n"
    "       wendrakectl [--root DIR] settings get|set|unset NAME [VALUE]\n"
    "       wendrakectl find-game\n"
    "       wendrakectl [--root DIR] backups list [FOLDER]\n"
    "       wendrakectl [--root DIR] backups restore FOLDER ID\n";

const std::set<std::string> kVerbs = {"call", "settings", "find-game", "backups"};

struct CtlRequest {
  std::optional<std::string> root;
  bool noExec = false;
  std::optional<std::set<std::u16string>> pageFunctions;
  std::string verb;
  std::vector<std::string> words;  // what follows the verb
};

std::set<std::u16string> SplitNames(const std::string& names) {
  std::set<std::u16string> result;
  std::stringstream stream(names);
  for (std::string name; std::getline(stream, name, ',');)
    if (!name.empty()) result.insert(ToUtf16(name));
  return result;
}

// Nothing when the words are off; the reason goes to `err`.
std::optional<CtlRequest> ParseRequest(const std::vector<std::string>& words, std::ostream& err) {
  CtlRequest request;
  size_t i = 0;
  auto value = [&](const std::string& option) -> std::optional<std::string> {
    if (i + 1 >= words.size()) {
      err << "wendrakectl: " << option << " needs a value\n" << kUsage;
      return std::nullopt;
    }
    return words[++i];
  };
  for (; i < words.size() && !kVerbs.contains(words[i]); ++i) {
    if (words[i] == "--root") {
      if (!(request.root = value("--root"))) return std::nullopt;
    } else if (words[i] == "--page-functions") {
      const auto names = value("--page-functions");
      if (!names) return std::nullopt;
      request.pageFunctions = SplitNames(*names);
    } else if (words[i] == "--no-exec") {
      request.noExec = true;
    } else {
      err << "wendrakectl: unknown option " << words[i] << "\n" << kUsage;
      return std::nullopt;
    }
  }
  if (i >= words.size()) {
    err << "wendrakectl: nothing to do\n" << kUsage;
    return std::nullopt;
  }
  request.verb = words[i];
  request.words.assign(words.begin() + static_cast<std::ptrdiff_t>(i + 1), words.end());
  return request;
}

int Usage(std::ostream& err, std::string_view problem) {
  err << "wendrakectl: " << problem << "\n" << kUsage;
  return 2;
}

int RunCall(const CtlRequest& request, const Installation& installation, std::ostream& out, std::ostream& err) {
  if (request.words.empty()) return Usage(err, "call needs a METHOD");
  std::vector<PageValue> arguments;
  const std::vector<std::string> rest(request.words.begin() + 1, request.words.end());
  if (!rest.empty() && rest.front() == "--json-args") {
    const auto values = rest.size() == 2 ? PageValuesFromJson(rest[1]) : std::nullopt;
    if (!values) return Usage(err, "--json-args takes one JSON array");
    arguments = *values;
  } else {
    for (const auto& word : rest) arguments.emplace_back(ToUtf16(word));
  }

  HeadlessHost host(
      {.pageFunctions = request.pageFunctions, .noExec = request.noExec, .wineCommand = [&installation] { return ReadWineCommand(installation); }});
  const PageHost view(installation, host, host, host.Services());
  const InvokeOutcome outcome = ScriptBridge::Call(view, ToUtf16(request.words[0]), arguments);

  if (outcome.code != S_OK) {
    const std::string_view name = HResultName(outcome.code);
    out << "{\"error\": \"" << (name.empty() ? "HRESULT" : name) << "\", \"hresult\": " << outcome.code << "}\n";
    return 3;
  }
  out << "{\"result\": " << JsonResult(outcome.result) << ", \"events\": [";
  for (size_t i = 0; i < host.Events().size(); ++i) out << (i ? ", " : "") << JsonEvent(host.Events()[i]);
  out << "]}\n" << std::flush;
  host.RunPendingWork();
  return 0;
}

// Any value of the settings key, so that a player can set what no page offers,
// such as the Wine runner.
int RunSettings(const CtlRequest& request, const Installation& installation, std::ostream& out, std::ostream& err) {
  const auto& words = request.words;
  const size_t needed = words.empty() ? 0 : words[0] == "set" ? 3 : 2;
  if (!needed || words.size() != needed || (words[0] != "get" && words[0] != "set" && words[0] != "unset"))
    return Usage(err, "settings takes get NAME, set NAME VALUE or unset NAME");
  const std::u16string name = ToUtf16(words[1]);
  CRegistry registry(OpenSettingsKey(installation));
  if (words[0] == "get") {
    std::u16string value;
    if (!registry.Read(name, value)) {
      err << "wendrakectl: " << words[1] << " is not set\n";
      return 1;
    }
    out << ToUtf8(value) << "\n";
    return 0;
  }
  if (!registry.Key.IsOpen()) {
    registry.Key = RegistryKey::LocalMachine(installation.HivePath());
    if (!registry.Create(kSettingsKeyPath)) registry.Key = RegistryKey();
  }
  const bool done = words[0] == "set" ? registry.Key.SetValue(name, ToUtf16(words[2])) : registry.Key.DeleteValue(name);
  if (!done) {
    err << "wendrakectl: cannot " << words[0] << " " << words[1] << " in " << installation.HivePath().string() << "\n";
    return 1;
  }
  return 0;
}

int RunFindGame(const CtlRequest& request, std::ostream& out, std::ostream& err) {
  if (!request.words.empty()) return Usage(err, "find-game takes no arguments");
  const auto found = FindGame(g_get_home_dir());
  for (const auto& path : found) out << path.string() << "\n";
  if (found.empty()) err << "wendrakectl: no " << kPatcherFileName << " found in the usual Wine prefixes\n";
  return found.empty() ? 1 : 0;
}

// ISO 8601 in the local time zone, to the second.
std::string LocalTime(std::int64_t microseconds) {
  g_autoptr(GDateTime) time = g_date_time_new_from_unix_local(microseconds / G_USEC_PER_SEC);
  g_autofree gchar* text = time ? g_date_time_format(time, "%FT%T%:z") : nullptr;
  return text ? text : "";
}

// The snapshots kept of replaced and removed add-ons, and putting one back.
int RunBackups(const CtlRequest& request, const Installation& installation, std::ostream& out, std::ostream& err) {
  const auto& words = request.words;
  const bool list = !words.empty() && words[0] == "list" && words.size() <= 2;
  const bool restore = !words.empty() && words[0] == "restore" && words.size() == 3;
  if (!list && !restore) return Usage(err, "backups takes list [FOLDER] or restore FOLDER ID");
  if (list) {
    for (const Snapshot& snapshot : ListSnapshots(installation))
      if (words.size() == 1 || EqualsIgnoreAsciiCase(snapshot.folderName, words[1]))
        out << snapshot.id << "\t" << snapshot.folderName << "\t" << (snapshot.item ? *snapshot.item->version : "") << "\t"
            << LocalTime(snapshot.taken) << "\n";
    return 0;
  }
  const RestoreResult result = RestoreSnapshot(installation, words[1], words[2]);
  switch (result.outcome) {
    case RestoreOutcome::Restored:
      // The snapshot of what was replaced: restoring it undoes this restore.
      if (result.replacedId) out << *result.replacedId << "\n";
      return 0;
    case RestoreOutcome::NoSuchSnapshot: err << "wendrakectl: no backup " << words[2] << " of " << words[1] << "\n"; return 1;
    case RestoreOutcome::NoAddOnFolder: err << "wendrakectl: the game's add-on folder is unknown; set PluginPath\n"; return 1;
    case RestoreOutcome::Failed: break;
  }
  err << "wendrakectl: cannot restore " << words[1] << " from " << words[2] << "; nothing was changed\n";
  return 1;
}

}  // namespace

int RunWendrakeCtl(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  const auto request = ParseRequest(arguments, err);
  if (!request) return 2;
  const Installation installation = request->root ? Installation(*request->root) : Installation::OfRunningProgram();
  if (!PrepareDataFolder(installation)) {
    err << "wendrakectl: cannot make the data folder " << installation.DataFolder().string() << "\n";
    return 1;
  }
  RemoveLeftovers(installation);
  if (request->verb == "settings") return RunSettings(*request, installation, out, err);
  if (request->verb == "find-game") return RunFindGame(*request, out, err);
  if (request->verb == "backups") return RunBackups(*request, installation, out, err);
  return RunCall(*request, installation, out, err);
}

}  // namespace wendrake

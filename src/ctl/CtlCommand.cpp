#include "ctl/CtlCommand.h"

#include <optional>
#include <set>
#include <sstream>

#include "core/Text.h"
#include "ctl/JsonText.h"
#include "pagehost/HeadlessHost.h"
#include "pagehost/ScriptBridge.h"

namespace wendrake {
namespace {

constexpr const char* kUsage =
    "usage: wendrakectl [--root DIR] [--no-exec] [--page-functions NAMES] call METHOD [ARG ...]\n"
    "       wendrakectl [--root DIR] [--no-exec] [--page-functions NAMES] call METHOD --json-args JSON-ARRAY\n";

struct CtlRequest {
  std::optional<std::string> root;
  bool noExec = false;
  std::optional<std::set<std::u16string>> pageFunctions;
  std::u16string method;
  std::vector<PageValue> arguments;
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
  for (; i < words.size() && words[i] != "call"; ++i) {
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
  if (i + 1 >= words.size()) {
    err << "wendrakectl: " << (i < words.size() ? "call needs a METHOD" : "nothing to do") << "\n" << kUsage;
    return std::nullopt;
  }
  request.method = ToUtf16(words[i + 1]);
  const std::vector<std::string> rest(words.begin() + static_cast<std::ptrdiff_t>(i + 2), words.end());
  if (!rest.empty() && rest.front() == "--json-args") {
    const auto values = rest.size() == 2 ? PageValuesFromJson(rest[1]) : std::nullopt;
    if (!values) {
      err << "wendrakectl: --json-args takes one JSON array\n" << kUsage;
      return std::nullopt;
    }
    request.arguments = *values;
  } else {
    for (const auto& word : rest) request.arguments.emplace_back(ToUtf16(word));
  }
  return request;
}

}  // namespace

int RunWendrakeCtl(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  const auto request = ParseRequest(arguments, err);
  if (!request) return 2;

  const Installation installation = request->root ? Installation(*request->root) : Installation::OfRunningProgram();
  HeadlessHost host({.pageFunctions = request->pageFunctions, .noExec = request->noExec});
  const PageHost view(installation, host, host, host.Services());
  const InvokeOutcome outcome = ScriptBridge::Call(view, request->method, request->arguments);

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

}  // namespace wendrake

#pragma once
// What "open" does on the desktop. What a file is decides how it starts, not its
// name: Windows programs start through Wine in the prefix that holds them, native
// programs start directly, anything else and addresses go to the default handler.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/PageHost.h"

namespace wendrake {

// What a start ran, tried to run, or in a dry run would run, so that a player can
// see why a start failed.
struct StartReport {
  // A program started directly: its command line, working folder and Wine prefix
  // (empty outside any prefix).
  std::vector<std::string> commandLine;
  std::string workingDirectory;
  std::string winePrefix;
  // An address or document: the desktop handler that opens it.
  std::string handler;
};

class ShellStarter : public IShell {
 public:
  // The runner command line for Windows programs, read at every start; empty for
  // `wine` from PATH.
  using WineCommandSource = std::function<std::string()>;

  // A dry run decides success exactly as a real start would, but starts nothing.
  explicit ShellStarter(WineCommandSource wineCommand = {}, bool dryRun = false) : wineCommand_(std::move(wineCommand)), dryRun_(dryRun) {}
  bool ShellOpen(std::u16string_view target) override { return Open(target, nullptr); }
  // Also says what was, or would be, started, as far as it was decided.
  bool Open(std::u16string_view target, StartReport* report);

 private:
  WineCommandSource wineCommand_;
  bool dryRun_;
};

}  // namespace wendrake

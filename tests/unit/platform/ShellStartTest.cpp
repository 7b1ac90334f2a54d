// Real starts of Windows and native programs, with a stand-in for Wine that records
// its arguments, working folder and prefix; and that a dry run decides the same.
#include "platform/ShellStart.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <thread>

#include "core/Text.h"
#include "support/TempInstallation.h"

namespace wendrake {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kRecordingWine =
    "#!/bin/sh\n"
    "{ echo \"runner=$(basename \"$0\") args=$*\"; echo \"dir=$(pwd)\"; echo \"prefix=${WINEPREFIX-none}\"; } > \"$RECORD.part\"\n"
    "mv \"$RECORD.part\" \"$RECORD\"\n";
constexpr std::string_view kRecordingProgram =
    "#!/bin/sh\n{ echo \"native args=$*\"; echo \"dir=$(pwd)\"; } > \"$RECORD.part\"\nmv \"$RECORD.part\" \"$RECORD\"\n";

class ShellStart : public ::testing::Test {
 protected:
  void SetUp() override {
    savedPath = ::getenv("PATH");
    ::unsetenv("WINEPREFIX");
    for (const char* runner : {"tools/wine", "runners/lutris-ge/bin/wine", "runners/umu-run"}) Executable(runner, kRecordingWine);
    // A prefix as game managers make them, with the game a few folders down.
    installation.WriteFile("Games/rift/system.reg", "WINE REGISTRY Version 2\n");
    patcher = installation.WriteFile("Games/rift/drive_c/Program Files/Rift/riftpatchchinese.exe", "MZ\x90");
  }
  void TearDown() override { ::setenv("PATH", savedPath.c_str(), 1); }

  fs::path Executable(const fs::path& relative, std::string_view text) const {
    const fs::path file = installation.WriteFile(relative, text);
    fs::permissions(file, fs::perms::owner_all);
    return file;
  }
  void UseWineFromPath(bool present) const {
    ::setenv("PATH", ((present ? (installation.Root() / "tools:").string() : "") + "/usr/bin:/bin").c_str(), 1);
  }

  // Starts the target for real and gives what the started program recorded.
  std::string StartAndRecord(ShellStarter& shell, const fs::path& target) {
    const fs::path record = installation.Root() / ("record-" + std::to_string(++starts));
    ::setenv("RECORD", record.c_str(), 1);
    if (!shell.ShellOpen(ToUtf16(target.string()))) return "not started";
    for (int i = 0; i < 500 && !fs::exists(record); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return fs::exists(record) ? installation.ReadFile(record.filename()) : "started, nothing recorded";
  }

  testing::TempInstallation installation;
  std::string savedPath;
  fs::path patcher;
  int starts = 0;
};

TEST_F(ShellStart, WindowsProgramsRunThroughWineInTheirPrefixAndFolder) {
  const std::string root = installation.Root().string();
  const fs::path outside = installation.WriteFile("Downloads/setup.exe", "MZ");
  // Wine's file names do not keep case, and what decides is the content, not the name.
  const fs::path renamed = installation.WriteFile("Games/rift/drive_c/RIFT/game.bin", "MZ");
  // A drive_c without the registry beside it is no prefix.
  const fs::path halfPrefix = installation.WriteFile("odd/drive_c/x/tool.exe", "MZ");
  installation.WriteFile("Games/rift/drive_c/inner/system.reg", "");
  installation.WriteFile("Games/rift/drive_c/inner/drive_c/.keep", "");
  const fs::path nested = installation.WriteFile("Games/rift/drive_c/inner/drive_c/n.exe", "MZ");
  struct Case {
    std::string wineCommand;  // as the player configured it
    fs::path target;
    std::string recorded;
  };
  const Case cases[] = {
      {"", patcher, "runner=wine args=" + patcher.string() + "\ndir=" + patcher.parent_path().string() + "\nprefix=" + root + "/Games/rift\n"},
      {"", outside, "runner=wine args=" + outside.string() + "\ndir=" + root + "/Downloads\nprefix=none\n"},
      {"", renamed, "runner=wine args=" + renamed.string() + "\ndir=" + root + "/Games/rift/drive_c/RIFT\nprefix=" + root + "/Games/rift\n"},
      {"", halfPrefix, "runner=wine args=" + halfPrefix.string() + "\ndir=" + root + "/odd/drive_c/x\nprefix=none\n"},
      {"", nested,
       "runner=wine args=" + nested.string() + "\ndir=" + nested.parent_path().string() + "\nprefix=" + root + "/Games/rift/drive_c/inner\n"},
      {"'" + root + "/runners/lutris-ge/bin/wine'", patcher,
       "runner=wine args=" + patcher.string() + "\ndir=" + patcher.parent_path().string() + "\nprefix=" + root + "/Games/rift\n"},
      {root + "/runners/umu-run --no-update \"two words\"", outside,
       "runner=umu-run args=--no-update two words " + outside.string() + "\ndir=" + root + "/Downloads\nprefix=none\n"},
      // A configured runner that is missing never falls back to the Wine on PATH.
      {root + "/runners/missing/wine", patcher, "not started"},
      {"'unbalanced", patcher, "not started"},
  };
  UseWineFromPath(true);
  for (const auto& c : cases) {
    ShellStarter shell([&c] { return c.wineCommand; });
    EXPECT_EQ(StartAndRecord(shell, c.target), c.recorded) << c.target << " with " << c.wineCommand;
  }
}

TEST_F(ShellStart, NativeProgramsStartDirectlyWhateverTheirName) {
  UseWineFromPath(false);
  const fs::path standIn = Executable("Games/native/riftpatchchinese.exe", kRecordingProgram);
  ShellStarter shell;
  EXPECT_EQ(StartAndRecord(shell, standIn), "native args=\ndir=" + standIn.parent_path().string() + "\n");
  // Detached and reaped: the launcher is left with no child to wait for.
  errno = 0;
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
  // A Windows program needs Wine.
  EXPECT_EQ(StartAndRecord(shell, patcher), "not started");
}

TEST_F(ShellStart, ADryRunDecidesAndReportsAsARealStartWithoutStarting) {
  const std::string root = installation.Root().string();
  const fs::path script = Executable("Games/native/riftpatchchinese.exe", kRecordingProgram);
  struct Case {
    fs::path target;
    bool withWine;
    std::string wineCommand;
    bool started;
    StartReport report;
  };
  const std::string prefix = root + "/Games/rift";
  const std::string patcherFolder = patcher.parent_path().string();
  const Case cases[] = {
      {script, true, "", true, {{script.string()}, script.parent_path().string(), "", ""}},
      {patcher, true, "", true, {{root + "/tools/wine", patcher.string()}, patcherFolder, prefix, ""}},
      // Failures still say what they would have run, so the player sees why.
      {patcher, false, "", false, {{"wine", patcher.string()}, patcherFolder, prefix, ""}},
      {patcher, true, "/opt/none/wine -x", false, {{"/opt/none/wine", "-x", patcher.string()}, patcherFolder, prefix, ""}},
      {root + "/Games/missing.exe", true, "", false, {}},
      {"", true, "", false, {}},
      {script.string() + std::string("\0.txt", 5), true, "", false, {}},
  };
  ::setenv("RECORD", (installation.Root() / "record").c_str(), 1);
  for (const auto& c : cases) {
    UseWineFromPath(c.withWine);
    StartReport report;
    EXPECT_EQ(ShellStarter([&c] { return c.wineCommand; }, true).Open(ToUtf16(c.target.string()), &report), c.started) << c.target;
    EXPECT_EQ(report.commandLine, c.report.commandLine) << c.target;
    EXPECT_EQ(report.workingDirectory, c.report.workingDirectory) << c.target;
    EXPECT_EQ(report.winePrefix, c.report.winePrefix) << c.target;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(fs::exists(installation.Root() / "record"));
}

}  // namespace
}  // namespace wendrake

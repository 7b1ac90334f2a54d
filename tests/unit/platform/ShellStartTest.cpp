// Real starts: what "open" starts, and that a dry run decides the same.
#include "platform/ShellStart.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "core/Text.h"
#include "support/TempInstallation.h"

namespace wendrake {
namespace {

namespace fs = std::filesystem;

bool AppearsSoon(const fs::path& file) {
  for (int i = 0; i < 300 && !fs::exists(file); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return fs::exists(file);
}

class ShellStart : public ::testing::Test {
 protected:
  void SetUp() override {
    savedPath = ::getenv("PATH");
    // A stand-in for Wine that records what it was asked to run.
    const fs::path wine = installation.WriteFile("tools/wine", "#!/bin/sh\necho \"$1\" > \"$(dirname \"$0\")/../wine-ran\"\n");
    fs::permissions(wine, fs::perms::owner_all);
    ::setenv("PATH", (wine.parent_path().string() + ":/usr/bin:/bin").c_str(), 1);
  }
  void TearDown() override { ::setenv("PATH", savedPath.c_str(), 1); }

  testing::TempInstallation installation;
  std::string savedPath;
};

TEST_F(ShellStart, StartsNativeProgramsAndWindowsProgramsThroughWine) {
  const fs::path program = installation.WriteFile("game/start", "#!/bin/sh\ntouch \"$(dirname \"$0\")/started\"\n");
  fs::permissions(program, fs::perms::owner_all);
  const fs::path patcher = installation.WriteFile("game/RiftPatchChinese.EXE", "MZ");
  ShellStarter shell;
  EXPECT_TRUE(shell.ShellOpen(ToUtf16(program.string())));
  EXPECT_TRUE(AppearsSoon(installation.Root() / "game/started"));
  EXPECT_TRUE(shell.ShellOpen(ToUtf16(patcher.string())));
  EXPECT_TRUE(AppearsSoon(installation.Root() / "wine-ran"));
  EXPECT_EQ(installation.ReadFile("wine-ran"), patcher.string() + "\n");
}

TEST_F(ShellStart, ADryRunDecidesAsARealStartWithoutStarting) {
  const fs::path program = installation.WriteFile("game/start", "#!/bin/sh\ntouch \"$(dirname \"$0\")/started\"\n");
  fs::permissions(program, fs::perms::owner_all);
  const fs::path patcher = installation.WriteFile("game/riftpatchchinese.exe", "MZ");
  struct Case {
    fs::path target;
    bool withWine;
    bool started;
  };
  const Case cases[] = {
      {program, true, true},
      {patcher, true, true},
      {patcher, false, false},  // a Windows program needs Wine
      {installation.Root() / "game/missing", true, false},
      {installation.Root() / "game/missing.exe", true, false},
      {"", true, false},
  };
  for (const auto& c : cases) {
    ::setenv("PATH", c.withWine ? (installation.Root() / "tools").c_str() : "/nonexistent", 1);
    for (const bool dryRun : {true, false}) {
      if (!dryRun && c.started) continue;  // real starts are shown above
      EXPECT_EQ(ShellStarter(dryRun).ShellOpen(ToUtf16(c.target.string())), c.started) << c.target << (dryRun ? " dry" : "");
    }
  }
  EXPECT_FALSE(fs::exists(installation.Root() / "game/started"));
  EXPECT_FALSE(fs::exists(installation.Root() / "wine-ran"));
}

}  // namespace
}  // namespace wendrake

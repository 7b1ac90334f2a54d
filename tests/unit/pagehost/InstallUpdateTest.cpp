// InstallUpdate, called as a page calls it.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "support/BridgeFixture.h"

namespace wendrake {
namespace {

namespace fs = std::filesystem;

class InstallUpdate : public testing::BridgeFixture {};

TEST_F(InstallUpdate, StartsTheInstallerFromTheTempFolderUnderHome) {
  const fs::path installer = installation.WriteFile("Temp/setup.exe", "MZ");
  // A stand-in for Wine, so that a Windows installer can be started here.
  const fs::path wine = installation.WriteFile("tools/wine", "#!/bin/sh\n");
  fs::permissions(wine, fs::perms::owner_all);
  const std::string root = installation.Root().string();
  struct Case {
    std::optional<std::string> home;
    std::u16string name;
    std::int32_t result;
    std::vector<std::string> events;
  };
  const Case cases[] = {
      {root, u"setup", 0, {"open Temp/setup.exe started"}},
      {root + "/", u"setup", 0, {"open /Temp/setup.exe started"}},  // joined as given: two separators
      {root + "\\", u"setup", 0, {"open /Temp/setup.exe started"}},
      {root, u"", -2, {"open Temp/.exe failed", "msgbox 1016"}},
      {root, u"missing", -2, {"open Temp/missing.exe failed", "msgbox 1016"}},
      {std::nullopt, u"setup", -1, {}},
  };
  const std::string path = ::getenv("PATH");
  ::setenv("PATH", (wine.parent_path().string() + ":" + path).c_str(), 1);
  for (const auto& c : cases) {
    installation.WriteHive(c.home ? std::vector<std::pair<std::string, std::string>>{{"Home", *c.home}}
                                  : std::vector<std::pair<std::string, std::string>>{});
    HeadlessHost headless({.noExec = true});
    const PageHost page(installation.Install(), headless, headless, headless.Services());
    EXPECT_EQ(ScriptBridge::Call(page, u"InstallUpdate", {c.name}).result, MethodResult(c.result));
    EXPECT_EQ(testing::DescribeEvents(headless, root + "/"), c.events) << (c.home ? *c.home : "no Home");
  }
  ::setenv("PATH", path.c_str(), 1);
}

TEST_F(InstallUpdate, AWindowsInstallerNeedsWine) {
  installation.WriteFile("Temp/setup.exe", "MZ");
  installation.WriteHive({{"Home", installation.Root().string()}});
  const std::string path = ::getenv("PATH");
  ::setenv("PATH", (installation.Root() / "no-tools").c_str(), 1);
  EXPECT_EQ(Result(u"InstallUpdate", {std::u16string(u"setup")}), MethodResult(-2));
  ::setenv("PATH", path.c_str(), 1);
  EXPECT_EQ(MessageCodes(), std::vector<std::u16string>{u"1016"});
}

}  // namespace
}  // namespace wendrake

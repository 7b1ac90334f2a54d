// A package chosen on the disk, brought into Temp for UnzipPlugin.
#include "addons/PackageImport.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/TempInstallation.h"

namespace wendrake {
namespace {

namespace fs = std::filesystem;

TEST(PackageImport, CopiesPackagesIntoTempUnderTheirOwnNameOnly) {
  struct Case {
    const char* chosen;
    const char* inTemp;  // nullptr: refused
  };
  const Case cases[] = {
      {"Meter.zip", "Meter.zip"}, {"插件 Meter.ZIP", "插件 Meter.zip"},  // found by UnzipPlugin("插件 Meter")
      {"..\\Meter.zip", nullptr},  // a name UnzipPlugin would take for a path
      {".zip", nullptr},          {"..zip", nullptr},  // UnzipPlugin(".")
      {"notes.txt", nullptr},     {"missing.zip", nullptr},  // not there: nothing to copy
  };
  for (const auto& c : cases) {
    testing::TempInstallation installation;
    const fs::path chosen = installation.Root() / "Downloads" / c.chosen;
    if (std::string(c.chosen) != "missing.zip") installation.WriteFile(fs::path("Downloads") / c.chosen, "PK package bytes");
    const auto copy = ImportPackage(installation.Install(), chosen);
    if (c.inTemp) {
      ASSERT_TRUE(copy) << c.chosen;
      EXPECT_EQ(*copy, installation.Install().TempFolder() / c.inTemp);
      EXPECT_EQ(installation.ReadFile(*copy), "PK package bytes");
    } else {
      EXPECT_FALSE(copy) << c.chosen;
    }
    // Nothing half-made is left, and the chosen file is as it was.
    for (const auto& entry : fs::directory_iterator(installation.Install().TempFolder()))
      EXPECT_TRUE(c.inTemp && entry.path().filename() == c.inTemp) << c.chosen << ": " << entry.path();
    if (fs::exists(chosen)) {
      EXPECT_EQ(installation.ReadFile(chosen), "PK package bytes");
    }
  }
}

TEST(PackageImport, ReplacesAnOlderPackageAndLeavesOneChosenInTempAsItIs) {
  testing::TempInstallation installation;
  const fs::path older = installation.WriteFile("Temp/Meter.zip", "older");
  installation.WriteFile("Downloads/Meter.zip", "newer");
  ASSERT_TRUE(ImportPackage(installation.Install(), installation.Root() / "Downloads/Meter.zip"));
  EXPECT_EQ(installation.ReadFile(older), "newer");
  EXPECT_EQ(ImportPackage(installation.Install(), older), older);
  EXPECT_EQ(installation.ReadFile(older), "newer");
}

}  // namespace
}  // namespace wendrake

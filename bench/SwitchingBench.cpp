// Switches 500 catalogued add-ons off and on again and prints the times. Every
// step re-reads the catalogue, so a pass costs in the square of the catalogue's size.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include "addons/AddOnSwitching.h"
#include "support/TempInstallation.h"

namespace {

using wendrake::Installation;
namespace fs = std::filesystem;

constexpr int kAddOns = 500;
constexpr int kRounds = 3;

double Seconds(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int CountManifests(const fs::path& addOns, const char* name) {
  int count = 0;
  for (int i = 0; i < kAddOns; ++i) count += fs::exists(addOns / ("AddOn" + std::to_string(i)) / name) ? 1 : 0;
  return count;
}

}  // namespace

int main() {
  const wendrake::testing::TempInstallation tree;
  const fs::path addOns = tree.MakeGameFolder() / "Interface" / "AddOns";
  std::string catalogue = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n<Wendrake>\r\n    <plugin>\r\n";
  for (int i = 0; i < kAddOns; ++i) {
    const std::string name = "AddOn" + std::to_string(i);
    catalogue += "        <item pid=\"" + std::to_string(10000 + i) + "\" ver=\"1.0\" PlugName=\"" + name + "\" />\r\n";
    tree.WriteFile(addOns / name / "RiftAddon.toc", "## Title: " + name + "\n");
    tree.WriteFile(addOns / name / "Main.lua", "-- code\n");
  }
  tree.WriteFile("update_info.xml", catalogue + "    </plugin>\r\n</Wendrake>\r\n");
  const Installation& installation = tree.Install();

  std::printf("%d catalogued add-ons, each with a manifest\n", kAddOns);
  for (int round = 1; round <= kRounds; ++round) {
    const double off = Seconds([&] { wendrake::LogofToChangePlugName(installation); });
    const int switchedOff = CountManifests(addOns, "RiftAddon.txt");
    const double on = Seconds([&] { wendrake::LoginToChangePlugName(installation); });
    const int switchedOn = CountManifests(addOns, "RiftAddon.toc");
    std::printf("round %d: logoff %.3f s (%d off), login %.3f s (%d on)\n", round, off, switchedOff, on, switchedOn);
    if (switchedOff != kAddOns || switchedOn != kAddOns) {
      std::fprintf(stderr, "not every add-on was switched\n");
      return 1;
    }
  }
  return 0;
}

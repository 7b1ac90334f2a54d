// Switches 500 and then 5,000 catalogued add-ons off and on again and prints the
// times, median of 3 rounds each: a pass reads the catalogue once, so 5,000 should
// cost about ten times 500, not a hundred.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "addons/AddOnSwitching.h"
#include "support/TempInstallation.h"

namespace {

using wendrake::Installation;
namespace fs = std::filesystem;

constexpr int kRounds = 3;

double Seconds(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int CountManifests(const fs::path& addOns, int addOnCount, const char* name) {
  int count = 0;
  for (int i = 0; i < addOnCount; ++i) count += fs::exists(addOns / ("AddOn" + std::to_string(i)) / name) ? 1 : 0;
  return count;
}

// Median seconds of a logoff and a login pass over that many add-ons.
std::pair<double, double> Measure(int addOnCount) {
  const wendrake::testing::TempInstallation tree;
  const fs::path addOns = tree.MakeGameFolder() / "Interface" / "AddOns";
  std::string catalogue = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n<Wendrake>\r\n    <plugin>\r\n";
  for (int i = 0; i < addOnCount; ++i) {
    const std::string name = "AddOn" + std::to_string(i);
    catalogue += "        <item pid=\"" + std::to_string(10000 + i) + "\" ver=\"1.0\" PlugName=\"" + name + "\" />\r\n";
    tree.WriteFile(addOns / name / "RiftAddon.toc", "## Title: " + name + "\n");
    tree.WriteFile(addOns / name / "Main.lua", "-- code\n");
  }
  tree.WriteFile("update_info.xml", catalogue + "    </plugin>\r\n</Wendrake>\r\n");
  const Installation& installation = tree.Install();
  std::vector<double> offs, ons;
  for (int round = 1; round <= kRounds; ++round) {
    offs.push_back(Seconds([&] { wendrake::LogofToChangePlugName(installation); }));
    const int switchedOff = CountManifests(addOns, addOnCount, "RiftAddon.txt");
    ons.push_back(Seconds([&] { wendrake::LoginToChangePlugName(installation); }));
    const int switchedOn = CountManifests(addOns, addOnCount, "RiftAddon.toc");
    if (switchedOff != addOnCount || switchedOn != addOnCount) std::fprintf(stderr, "not every add-on was switched\n");
  }
  std::ranges::sort(offs);
  std::ranges::sort(ons);
  return {offs[kRounds / 2], ons[kRounds / 2]};
}

}  // namespace

int main() {
  const auto [smallOff, smallOn] = Measure(500);
  const auto [largeOff, largeOn] = Measure(5000);
  std::printf("500 add-ons: logoff %.3f s, login %.3f s\n", smallOff, smallOn);
  std::printf("5,000 add-ons: logoff %.3f s, login %.3f s\n", largeOff, largeOn);
  std::printf("5,000 against 500: logoff %.1f times, login %.1f times (aim: at most 12)\n", largeOff / smallOff, largeOn / smallOn);
  return 0;
}

// GetExistPlugin over catalogues of 1,000 and 5,000 add-ons, every folder present:
// its time should grow with the catalogue, not with its square.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "addons/PluginCatalog.h"
#include "support/TempInstallation.h"

namespace {

double Seconds(int addOns) {
  const wendrake::testing::TempInstallation tree;
  const auto game = tree.MakeGameFolder();
  std::vector<std::string> names;
  for (int i = 0; i < addOns; ++i) {
    names.push_back("AddOn" + std::to_string(i));
    std::filesystem::create_directories(game / "Interface/AddOns" / names.back());
  }
  tree.WriteCatalog(names);
  const wendrake::PluginCatalog catalog(tree.Install());
  const auto start = std::chrono::steady_clock::now();
  const auto listed = catalog.GetExistPlugin();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (static_cast<int>(listed.size()) != addOns) std::fprintf(stderr, "listed %zu of %d\n", listed.size(), addOns);
  return seconds;
}

}  // namespace

int main() {
  const double small = Seconds(1000), large = Seconds(5000);
  std::printf("GetExistPlugin: 1,000 add-ons %.3f s, 5,000 add-ons %.3f s, ratio %.1f (linear: 5)\n", small, large, large / small);
  return 0;
}

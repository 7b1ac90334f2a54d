// Searches a home folder with a dozen Wine prefixes for the patcher and prints the
// time beside a full `find -iname` over the same home, median of 7 each.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/GameSearch.h"
#include "support/TempInstallation.h"

namespace {

namespace fs = std::filesystem;
using wendrake::testing::TempInstallation;

constexpr int kRuns = 7;

double MedianSeconds(const std::function<void()>& work) {
  std::vector<double> times;
  for (int run = 0; run < kRuns; ++run) {
    const auto start = std::chrono::steady_clock::now();
    work();
    times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  std::ranges::sort(times);
  return times[kRuns / 2];
}

// A prefix as Wine makes it: thousands of system files, a few programs, the
// user's folders linking back into the home.
void MakePrefix(const TempInstallation& home, const fs::path& prefix, bool withGame) {
  home.WriteFile(prefix / "system.reg", "WINE REGISTRY Version 2\n");
  for (int i = 0; i < 2000; ++i) home.WriteFile(prefix / "drive_c/windows/system32" / ("lib" + std::to_string(i) + ".dll"), "MZ");
  for (int app = 0; app < 5; ++app)
    for (int i = 0; i < 60; ++i)
      home.WriteFile(prefix / "drive_c/Program Files" / ("App" + std::to_string(app)) / ("data" + std::to_string(i % 6)) / ("f" + std::to_string(i)),
                     "");
  fs::create_directories(home.Root() / prefix / "drive_c/users/player");
  fs::create_directory_symlink(home.Root(), home.Root() / prefix / "drive_c/users/player/Desktop");
  if (withGame) home.WriteFile(prefix / "drive_c/Program Files (x86)/Rift/riftpatchchinese.exe", "MZ");
}

}  // namespace

int main() {
  const TempInstallation home;
  MakePrefix(home, ".wine", false);
  for (const char* name : {"Games/rift", "Games/other", "Games/Heroic/Prefixes/default/Game"})
    MakePrefix(home, name, std::string(name) == "Games/rift");
  for (const char* name : {"a", "b"}) MakePrefix(home, fs::path(".local/share/bottles/bottles") / name, false);
  for (int app = 0; app < 6; ++app) MakePrefix(home, ".local/share/Steam/steamapps/compatdata/" + std::to_string(1000 + app) + "/pfx", false);
  // What a home holds besides the prefixes: the search never goes there.
  for (int i = 0; i < 20000; ++i) home.WriteFile(fs::path("Documents") / std::to_string(i % 100) / ("doc" + std::to_string(i)), "");

  size_t found = 0;
  const double search = MedianSeconds([&] { found = wendrake::FindGame(home.Root()).size(); });
  const std::string find = "find '" + home.Root().string() + "' -iname riftpatchchinese.exe > /dev/null";
  const double full = MedianSeconds([&] { std::system(find.c_str()); });
  std::printf("home with 12 prefixes (%d files each) and 20000 other files\n", 2000 + 300);
  std::printf("FindGame: %.4f s median of %d (%zu found)\n", search, kRuns, found);
  std::printf("find -iname over the whole home: %.4f s median of %d\n", full, kRuns);
  return found == 1 ? 0 : 1;
}

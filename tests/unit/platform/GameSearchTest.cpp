// Finding the patcher in fake home folders laid out as each game manager lays them.
#include "platform/GameSearch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "support/TempInstallation.h"

namespace wendrake {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kRegistry = "WINE REGISTRY Version 2\n";

struct Home {
  testing::TempInstallation folder;

  const fs::path& Path() const { return folder.Root(); }
  // A prefix with the patcher at `game` below drive_c (none when empty).
  void Prefix(const fs::path& prefix, const fs::path& game = {}) const {
    folder.WriteFile(prefix / "system.reg", kRegistry);
    fs::create_directories(Path() / prefix / "drive_c/windows/system32");
    if (!game.empty()) folder.WriteFile(prefix / "drive_c" / game, "MZ");
  }
  std::vector<std::string> Found(const GameSearchLimits& limits = {}) const {
    std::vector<std::string> relative;
    for (const auto& path : FindGame(Path(), limits)) relative.push_back(path.lexically_relative(Path()).string());
    return relative;
  }
};

constexpr const char* kGame = "Program Files (x86)/Rift/riftpatchchinese.exe";

TEST(GameSearch, FindsThePatcherInEachGameManagersPrefixes) {
  struct Case {
    const char* layout;
    void (*make)(const Home&);
    std::vector<std::string> found;
  };
  const Case cases[] = {
      {"the default prefix", [](const Home& h) { h.Prefix(".wine", kGame); }, {".wine/drive_c/Program Files (x86)/Rift/riftpatchchinese.exe"}},
      {"a prefix under ~/Games, name in capitals",
       [](const Home& h) { h.Prefix("Games/rift", "Rift/RiftPatchChinese.EXE"); },
       {"Games/rift/drive_c/Rift/RiftPatchChinese.EXE"}},
      {"Heroic's default prefixes",
       [](const Home& h) { h.Prefix("Games/Heroic/Prefixes/default/Rift", "Rift/riftpatchchinese.exe"); },
       {"Games/Heroic/Prefixes/default/Rift/drive_c/Rift/riftpatchchinese.exe"}},
      {"a prefix named in Lutris's game configuration",
       [](const Home& h) {
         h.Prefix("elsewhere/rift", "Rift/riftpatchchinese.exe");
         h.folder.WriteFile(".config/lutris/games/rift-1700000000.yml",
                            "game:\n  exe: drive_c/Rift/riftpatchchinese.exe\n  prefix: " + (h.Path() / "elsewhere/rift").string() + "\nwine: {}\n");
       },
       {"elsewhere/rift/drive_c/Rift/riftpatchchinese.exe"}},
      {"a prefix named in Heroic's game configuration",
       [](const Home& h) {
         h.Prefix("heroic-prefix", "Rift/riftpatchchinese.exe");
         h.folder.WriteFile(".config/heroic/GamesConfig/Rift.json",
                            R"({"Rift": {"winePrefix": ")" + (h.Path() / "heroic-prefix").string() + R"(", "wineVersion": {}}})");
       },
       {"heroic-prefix/drive_c/Rift/riftpatchchinese.exe"}},
      {"Bottles, native and Flatpak",
       [](const Home& h) {
         h.Prefix(".local/share/bottles/bottles/Rift", "Rift/riftpatchchinese.exe");
         h.Prefix(".var/app/com.usebottles.bottles/data/bottles/bottles/Games", "Rift/riftpatchchinese.exe");
       },
       {".local/share/bottles/bottles/Rift/drive_c/Rift/riftpatchchinese.exe",
        ".var/app/com.usebottles.bottles/data/bottles/bottles/Games/drive_c/Rift/riftpatchchinese.exe"}},
      {"Proton's compatdata, also in a second Steam library",
       [](const Home& h) {
         h.Prefix(".local/share/Steam/steamapps/compatdata/2101/pfx", kGame);
         h.Prefix("SteamLibrary/steamapps/compatdata/2102/pfx", "Rift/riftpatchchinese.exe");
         h.folder.WriteFile(".local/share/Steam/steamapps/libraryfolders.vdf",
                            "\"libraryfolders\"\n{\n\t\"1\"\n\t{\n\t\t\"path\"\t\t\"" + (h.Path() / "SteamLibrary").string() + "\"\n\t}\n}\n");
       },
       {".local/share/Steam/steamapps/compatdata/2101/pfx/drive_c/Program Files (x86)/Rift/riftpatchchinese.exe",
        "SteamLibrary/steamapps/compatdata/2102/pfx/drive_c/Rift/riftpatchchinese.exe"}},
      {"a prefix without the game, and a game outside any prefix",
       [](const Home& h) {
         h.Prefix(".wine");
         h.folder.WriteFile("Games/loose/riftpatchchinese.exe", "MZ");
       },
       {}},
      {"too deep below drive_c", [](const Home& h) { h.Prefix(".wine", "a/b/c/d/e/riftpatchchinese.exe"); }, {}},
      {"a folder named like the patcher",
       [](const Home& h) {
         h.Prefix(".wine");
         fs::create_directories(h.Path() / ".wine/drive_c/riftpatchchinese.exe");
       },
       {}},
      {"link loops and links out of the prefix",
       [](const Home& h) {
         h.Prefix(".wine", kGame);
         fs::create_directory_symlink(h.Path() / ".wine/drive_c", h.Path() / ".wine/drive_c/loop");
         fs::create_directories(h.Path() / ".wine/drive_c/users/player");
         fs::create_directory_symlink(h.Path(), h.Path() / ".wine/drive_c/users/player/Desktop");
         // The same prefix reached twice is searched once.
         fs::create_directory_symlink(h.Path() / ".wine", h.Path() / ".steam");
       },
       {".wine/drive_c/Program Files (x86)/Rift/riftpatchchinese.exe"}},
      {"an unreadable folder beside the game",
       [](const Home& h) {
         h.Prefix(".wine", kGame);
         fs::create_directories(h.Path() / ".wine/drive_c/locked/inner");
         fs::permissions(h.Path() / ".wine/drive_c/locked", fs::perms::none);
       },
       {".wine/drive_c/Program Files (x86)/Rift/riftpatchchinese.exe"}},
  };
  for (const auto& c : cases) {
    Home home;
    c.make(home);
    // The order is the next test's business.
    auto found = home.Found();
    std::ranges::sort(found);
    EXPECT_EQ(found, c.found) << c.layout;
    std::error_code ignored;
    fs::permissions(home.Path() / ".wine/drive_c/locked", fs::perms::owner_all, ignored);
  }
}

TEST(GameSearch, TheMostRecentlyUsedPrefixComesFirst) {
  Home home;
  home.Prefix(".wine", kGame);
  home.Prefix("Games/rift", kGame);
  home.Prefix("Games/old", kGame);
  const auto now = fs::file_time_type::clock::now();
  fs::last_write_time(home.Path() / ".wine/system.reg", now - std::chrono::hours(24));
  fs::last_write_time(home.Path() / "Games/rift/system.reg", now);
  fs::last_write_time(home.Path() / "Games/old/system.reg", now - std::chrono::hours(24 * 30));
  const std::string game = std::string("/drive_c/") + kGame;
  EXPECT_EQ(home.Found(), (std::vector<std::string>{"Games/rift" + game, ".wine" + game, "Games/old" + game}));
}

TEST(GameSearch, StopsAtItsEntryBudget) {
  Home home;
  home.Prefix(".wine", kGame);
  for (int i = 0; i < 50; ++i) home.folder.WriteFile(".wine/drive_c/file" + std::to_string(i), "");
  EXPECT_EQ(home.Found({.maxEntries = 20}), std::vector<std::string>{});
  EXPECT_EQ(home.Found().size(), 1u);
}

}  // namespace
}  // namespace wendrake

#include "platform/GameSearch.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>

#include <nlohmann/json.hpp>

#include "core/Text.h"
#include "platform/WinePrefix.h"

namespace wendrake {
namespace {

namespace fs = std::filesystem;

// Where game managers keep prefixes or name them, relative to the home folder.
// Flatpak installations keep the same layout under ~/.var/app/<id>.
constexpr const char* kBottlesFolders[] = {".local/share/bottles/bottles", ".var/app/com.usebottles.bottles/data/bottles/bottles"};
constexpr const char* kLutrisGameConfigs[] = {".config/lutris/games", ".var/app/net.lutris.Lutris/config/lutris/games"};
constexpr const char* kHeroicGameConfigs[] = {".config/heroic/GamesConfig", ".var/app/com.heroicgameslauncher.hgl/config/heroic/GamesConfig"};
constexpr const char* kSteamRoots[] = {".steam/steam", ".local/share/Steam", ".var/app/com.valvesoftware.Steam/.local/share/Steam"};

std::string ReadText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class Search {
 public:
  Search(const fs::path& home, const GameSearchLimits& limits) : home_(home), limits_(limits) {}

  std::vector<fs::path> Run() {
    AddPrefix(home_ / ".wine");
    FindPrefixesUnder(home_ / "Games", limits_.prefixDepth);
    for (const char* folder : kBottlesFolders) ForEachEntry(home_ / folder, [&](const fs::directory_entry& entry) { AddPrefix(entry.path()); });
    for (const char* folder : kLutrisGameConfigs) ForEachFile(home_ / folder, ".yml", [&](const std::string& text) { AddLutrisPrefixes(text); });
    for (const char* folder : kHeroicGameConfigs) ForEachFile(home_ / folder, ".json", [&](const std::string& text) { AddHeroicPrefixes(text); });
    for (const char* root : kSteamRoots) AddSteamPrefixes(home_ / root);

    for (const auto& [prefix, lastUsed] : prefixes_) SearchFolder(prefix / "drive_c", limits_.driveDepth, lastUsed);
    std::ranges::sort(found_, [](const Found& a, const Found& b) { return a.lastUsed != b.lastUsed ? a.lastUsed > b.lastUsed : a.path < b.path; });
    std::vector<fs::path> paths;
    for (const auto& found : found_) paths.push_back(found.path);
    return paths;
  }

 private:
  struct Found {
    fs::path path;
    fs::file_time_type lastUsed;
  };

  // Visits the folder's entries while the entry budget lasts; an unreadable folder
  // has none.
  template <typename Visit>
  void ForEachEntry(const fs::path& folder, Visit visit) {
    std::error_code error;
    for (fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, error), end; !error && it != end; it.increment(error)) {
      if (++entries_ > limits_.maxEntries) return;
      visit(*it);
    }
  }

  template <typename Read>
  void ForEachFile(const fs::path& folder, std::string_view extension, Read read) {
    ForEachEntry(folder, [&](const fs::directory_entry& entry) {
      std::error_code error;
      if (entry.path().extension() == extension && entry.is_regular_file(error)) read(ReadText(entry.path()));
    });
  }

  static bool IsRealFolder(const fs::directory_entry& entry) {
    std::error_code error;
    return entry.is_directory(error) && !entry.is_symlink(error);
  }

  // Wine touches the prefix's registry whenever it runs there, so its time tells
  // which prefix the player used last.
  void AddPrefix(const fs::path& folder) {
    if (!IsWinePrefix(folder)) return;
    std::error_code error;
    const fs::path canonical = fs::canonical(folder, error);
    if (error) return;
    const auto lastUsed = fs::last_write_time(canonical / "system.reg", error);
    prefixes_.emplace(canonical, error ? fs::file_time_type::min() : lastUsed);
  }

  void FindPrefixesUnder(const fs::path& folder, int depth) {
    if (IsWinePrefix(folder)) {
      AddPrefix(folder);
      return;
    }
    if (depth <= 0) return;
    ForEachEntry(folder, [&](const fs::directory_entry& entry) {
      if (IsRealFolder(entry)) FindPrefixesUnder(entry.path(), depth - 1);
    });
  }

  fs::path FromConfig(std::string path) const {
    if (path.starts_with("~/")) return home_ / path.substr(2);
    return path;
  }

  // Lutris keeps each game's prefix as a "prefix:" line of its YAML configuration.
  void AddLutrisPrefixes(const std::string& text) {
    static const std::regex kPrefixLine(R"(^\s*prefix:\s*['"]?([^'"\r\n]+?)['"]?\s*$)", std::regex::multiline);
    for (std::sregex_iterator it(text.begin(), text.end(), kPrefixLine), end; it != end; ++it) AddPrefix(FromConfig((*it)[1]));
  }

  // Heroic keeps one JSON object per game, with its "winePrefix".
  void AddHeroicPrefixes(const std::string& text) {
    const auto config = nlohmann::json::parse(text, nullptr, false);
    if (!config.is_object()) return;
    for (const auto& game : config)
      if (game.is_object() && game.contains("winePrefix") && game["winePrefix"].is_string())
        AddPrefix(FromConfig(game["winePrefix"].get<std::string>()));
  }

  // Proton keeps a prefix per game in compatdata/<app id>/pfx of every Steam library.
  void AddSteamPrefixes(const fs::path& root) {
    std::vector<fs::path> libraries{root};
    static const std::regex kPathLine(R"re("path"\s+"([^"]+)")re");
    const std::string folders = ReadText(root / "steamapps/libraryfolders.vdf");
    for (std::sregex_iterator it(folders.begin(), folders.end(), kPathLine), end; it != end; ++it) libraries.emplace_back((*it)[1].str());
    for (const auto& library : libraries)
      ForEachEntry(library / "steamapps/compatdata", [&](const fs::directory_entry& entry) { AddPrefix(entry.path() / "pfx"); });
  }

  // Windows' own folder is large and never holds the game.
  void SearchFolder(const fs::path& folder, int depth, fs::file_time_type lastUsed) {
    ForEachEntry(folder, [&](const fs::directory_entry& entry) {
      const std::string name = entry.path().filename().string();
      std::error_code error;
      if (IsRealFolder(entry)) {
        if (depth > 0 && !EqualsIgnoreAsciiCase(name, "windows")) SearchFolder(entry.path(), depth - 1, lastUsed);
      } else if (EqualsIgnoreAsciiCase(name, kPatcherFileName) && entry.is_regular_file(error)) {
        found_.push_back({entry.path(), lastUsed});
      }
    });
  }

  fs::path home_;
  GameSearchLimits limits_;
  std::size_t entries_ = 0;
  std::map<fs::path, fs::file_time_type> prefixes_;
  std::vector<Found> found_;
};

}  // namespace

std::vector<fs::path> FindGame(const fs::path& home, const GameSearchLimits& limits) { return Search(home, limits).Run(); }

}  // namespace wendrake

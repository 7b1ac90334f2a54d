#pragma once
// Finding the game's patcher in the Wine prefixes a player is likely to have: the
// default one, those game managers make (Lutris, Bottles, Heroic, Steam's Proton)
// and those made by hand under ~/Games.
#include <cstddef>
#include <filesystem>
#include <string_view>
#include <vector>

namespace wendrake {

inline constexpr std::string_view kPatcherFileName = "riftpatchchinese.exe";

struct GameSearchLimits {
  // Folders below a prefix's drive_c that are looked into.
  int driveDepth = 4;
  // Folders below ~/Games and similar roots looked into for prefixes.
  int prefixDepth = 4;
  // Directory entries read in all; past it the search stops with what it has.
  std::size_t maxEntries = 200000;
};

// Full paths of the patchers found (file names compared without regard to case, as
// Wine compares them), the most recently used prefix first. Symbolic links to
// folders are never followed and unreadable folders are passed over.
std::vector<std::filesystem::path> FindGame(const std::filesystem::path& home, const GameSearchLimits& limits = {});

}  // namespace wendrake

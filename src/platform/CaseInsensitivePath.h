#pragma once
// The game runs under Wine, which finds names without regard to case, so
// "Interface/Addons" and "interface/addons" are the same folder to it.
#include <filesystem>

namespace wendrake {

// Resolves each component of `relative` below `base`: the exact name when it
// exists, else an existing entry whose name differs only in ASCII case (the
// smallest such name, so the choice is stable), else the name as given; once a
// component is missing, the rest is appended as given.
std::filesystem::path ResolveWithoutCase(const std::filesystem::path& base, const std::filesystem::path& relative);

}  // namespace wendrake

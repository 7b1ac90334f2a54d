#include "platform/CaseInsensitivePath.h"

#include <optional>
#include <string>

#include "core/Text.h"

namespace wendrake {
namespace {

std::optional<std::string> FindEntryWithoutCase(const std::filesystem::path& folder, const std::string& name) {
  std::error_code error;
  std::optional<std::string> best;
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    std::string candidate = it->path().filename().string();
    if (EqualsIgnoreAsciiCase(candidate, name) && (!best || candidate < *best)) best = std::move(candidate);
  }
  return best;
}

}  // namespace

std::filesystem::path ResolveWithoutCase(const std::filesystem::path& base, const std::filesystem::path& relative) {
  std::filesystem::path resolved = base;
  bool searching = true;
  for (const auto& component : relative) {
    const std::string name = component.string();
    if (name.empty()) continue;
    std::error_code error;
    if (searching && name != "." && name != ".." && !std::filesystem::exists(std::filesystem::symlink_status(resolved / name, error))) {
      if (const auto match = FindEntryWithoutCase(resolved, name)) {
        resolved /= *match;
        continue;
      }
      searching = false;
    }
    resolved /= name;
  }
  return resolved;
}

}  // namespace wendrake

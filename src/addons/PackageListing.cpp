#include "addons/PackageListing.h"

#include <utility>

#include "addons/ConfinedFolder.h"

namespace wendrake {

std::optional<PackageListing> ListPackage(ZipArchive& archive, std::size_t count, const PackageLimits& limits) {
  if (count > limits.maxEntries) return std::nullopt;
  PackageListing listing;
  for (std::size_t i = 0; i < count; ++i) {
    std::optional<ZipEntryInfo> entry = archive.Entry(i);
    if (!entry || entry->encrypted) return std::nullopt;
    if (entry->isLink) continue;
    std::optional<std::vector<std::string>> parts = PartsBelow(entry->name);
    if (!parts || parts->empty()) continue;
    if (!entry->isFolder) {
      if (entry->size > limits.maxBytes - listing.bytes) return std::nullopt;
      listing.bytes += entry->size;
    }
    listing.entries.push_back({i, std::move(*entry), std::move(*parts)});
  }
  return listing;
}

}  // namespace wendrake

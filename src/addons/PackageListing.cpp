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
      listing.bytes += entry->size;
      if (listing.bytes > limits.maxBytes) return std::nullopt;
    }
    listing.entries.push_back({i, std::move(*parts), entry->isFolder});
  }
  return listing;
}

}  // namespace wendrake

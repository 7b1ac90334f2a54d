// A catalogue that loads, once saved, loads again to the same items.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "addons/CatalogDocument.h"

namespace {

bool SameItem(const wendrake::CatalogItem& a, const wendrake::CatalogItem& b) {
  return a.pid == b.pid && a.version == b.version && a.folderName == b.folderName;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using wendrake::CatalogDocument;
  const auto loaded = CatalogDocument::Parse(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!loaded) return 0;
  const std::string saved = loaded->Serialize();
  const auto reloaded = CatalogDocument::Parse(saved);
  if (!reloaded) std::abort();
  const auto before = loaded->Items(), after = reloaded->Items();
  if (before.size() != after.size() || !std::equal(before.begin(), before.end(), after.begin(), SameItem)) std::abort();
  if (reloaded->HadByteOrderMark() != loaded->HadByteOrderMark()) std::abort();
  return 0;
}

#pragma once
// UnzipPlugin: installs an add-on package, Temp/<name>.zip, into the game's
// add-on folder and tells the page through "UnzipFinished".
#include <cstdint>
#include <string_view>

#include "core/PageHost.h"

namespace wendrake {

// 1 installed and page told; -2 no add-on folder, or the package did not open or
// cannot be installed whole ("1004"); -3 its entry list is unreadable ("1005");
// -4 installed but the page could not be told ("1006"). All or nothing: a
// damaged, truncated or encrypted package, one over the size limits or the free
// space, or one that cannot be written where it must go changes nothing and stays
// in Temp. Entries that would land outside the add-on folder (absolute names,
// drive letters, ".." parts, links) are passed over.
std::int32_t UnzipPlugin(const PageHost& view, std::u16string_view tag, std::u16string_view packageName);

}  // namespace wendrake

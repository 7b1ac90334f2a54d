#pragma once
// The snapshot methods installation pages call on window.wendrake.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/PageHost.h"

namespace wendrake {

// The snapshots of the add-on folder `folderName` (without regard to ASCII case),
// or of every add-on when it is empty, newest first, six texts each: id, folder name,
// time taken (milliseconds since 1970, UTC), "1" or "0" for whether it has a
// catalogue item, then that item's pid and version (empty without one).
std::vector<std::u16string> GetSnapshots(const PageHost& view, std::u16string_view folderName);

// Results of RestoreSnapshot.
inline constexpr std::int32_t kRestored = 1;
inline constexpr std::int32_t kNoSuchSnapshot = 0;
inline constexpr std::int32_t kNoAddOnFolder = -1;
inline constexpr std::int32_t kNotRestored = -2;  // nothing was changed

// Puts the add-on folder back as the snapshot `id` of it kept it, with its item.
std::int32_t RestoreSnapshot(const PageHost& view, std::u16string_view folderName, std::u16string_view id);

}  // namespace wendrake

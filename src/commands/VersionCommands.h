#pragma once
// Page methods for the program's version, its updates and the chosen skin.
#include <cstdint>
#include <string>
#include <string_view>

#include "core/PageHost.h"

namespace wendrake {

std::u16string GetLocalProgVer(const PageHost& view);
// 0 started, -1 no installation folder known, -2 the installer did not start.
std::int32_t InstallUpdate(const PageHost& view, std::u16string_view name);
// Stores a skin whose leading number is 1 to 3; answers the skin stored before.
std::u16string ChangeSkin(const PageHost& view, std::u16string_view skin);

// The leading decimal number of a text as the C run-time reads it: blanks
// skipped, an optional sign, the digits that follow; 0 when there are none.
std::int32_t LeadingNumber(std::u16string_view text);

}  // namespace wendrake

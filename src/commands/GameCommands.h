#pragma once
// Page methods for the game's location and its start.
#include <cstdint>
#include <string_view>

#include "core/PageHost.h"

namespace wendrake {

// 1 when a game location is stored, else 0; the file itself is not looked for.
std::int32_t IsExistGamePath(const PageHost& view);
void RunGame(const PageHost& view);
void SelectGamePath(const PageHost& view, std::int32_t mode);
void SelectGameOK(const PageHost& view, std::u16string_view path, std::int32_t mode);
void ExecuteGame(const PageHost& view);

}  // namespace wendrake

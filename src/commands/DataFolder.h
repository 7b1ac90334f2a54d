#pragma once
// The data folder of an installation that keeps its data apart from the program:
// made on the first start from the defaults the program ships, never overwritten.
#include "core/Installation.h"

namespace wendrake {

// Adds what is missing: the settings hive (its Home the data folder), the
// catalogues and Temp. Nothing to do for a tree that keeps its data beside the
// program. False when the folder cannot be made.
bool PrepareDataFolder(const Installation& installation);

}  // namespace wendrake

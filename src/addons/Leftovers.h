#pragma once
// What a kill leaves behind: a half-made installation, snapshot or restore, a
// half-written save, a half-copied package. Removed at start-up (a restore
// undone, what an update replaced kept as its snapshot) by whichever of the
// launcher and wendrakectl starts, never touching the work of a process still running.
#include "core/Installation.h"

namespace wendrake {

void RemoveLeftovers(const Installation& installation);

}  // namespace wendrake

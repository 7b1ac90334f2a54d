#pragma once
// Pointer input through the X server, as a user's mouse makes it.
#include <gtk/gtk.h>

namespace wendrake::testing {

// Presses button 1 at (x, y) of the window, drags by (dx, dy) in a few motions and
// releases, running the main loop in between.
void DragInWindow(GtkWidget* window, int x, int y, int dx, int dy);

}  // namespace wendrake::testing

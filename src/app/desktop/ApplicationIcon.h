#pragma once
// The application icon, built into the program: window, taskbar and tray.
#include <gdk-pixbuf/gdk-pixbuf.h>

namespace wendrake {

// Every size of the icon, largest first; the caller frees the list and its items.
GList* ApplicationIcons();

}  // namespace wendrake

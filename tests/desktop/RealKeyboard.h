#pragma once
// Typing through the X server, as a user's keyboard does: with no window manager
// the keys go to the window under the pointer.
#include <gtk/gtk.h>

#include <string>

namespace wendrake::testing {

// Puts the pointer over the window, then types the text (ASCII) key by key.
void TypeInto(GtkWidget* window, const std::string& text);
// Presses the key, with Control held when asked.
void PressInto(GtkWidget* window, unsigned int keysym, bool control = false);

}  // namespace wendrake::testing

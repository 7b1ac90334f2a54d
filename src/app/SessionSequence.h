#pragma once
// What the main window runs around its life: the login before it is first shown
// and the switch-off when it ends. Both only ever call the page methods' own
// operations on the main window's page host.
#include "core/PageHost.h"

namespace wendrake {

// Asks for a login until one is delivered, then switches the catalogued add-ons
// on. False, with nothing switched, when no login dialog could be shown (the
// program is ending): asking again could never succeed.
bool RunLoginSequence(const PageHost& mainPage);

// Switches the catalogued add-ons off. A manifest that cannot be renamed ends the
// pass, as it ends a page's call, but never the program.
void RunLogoffSequence(const Installation& installation);

}  // namespace wendrake

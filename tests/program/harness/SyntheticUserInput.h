#pragma once
// Mouse and keyboard input through the XTest extension: the X server delivers it
// as if a user had pressed, so it goes wherever grabs and the pointer send it.
#include <X11/Xlib.h>

#include <string>

namespace wendrake::programtest {

bool XTestAvailable();
// Moves the pointer there: with no window manager, the keyboard goes to the
// window under it.
void MovePointer(int x, int y);
// Moves the pointer there, then presses and releases the button.
void Click(int x, int y, unsigned int button);
void PressKey(KeySym key);
// Presses the key with Control held.
void PressControlKey(KeySym key);
// Types ASCII text key by key, with Shift where a character needs it, at the
// pace of a quick typist.
void TypeText(const std::string& text);
// True when some client holds the keyboard grabbed (an open pop-up menu does).
bool KeyboardGrabbedElsewhere();

}  // namespace wendrake::programtest

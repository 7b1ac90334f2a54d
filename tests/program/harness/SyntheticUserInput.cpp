#include "harness/SyntheticUserInput.h"

#include <X11/XKBlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include "harness/TopLevelWindows.h"
#include "harness/Wait.h"

namespace wendrake::programtest {

bool XTestAvailable() {
  int event = 0, error = 0, major = 0, minor = 0;
  return XTestQueryExtension(TestDisplay(), &event, &error, &major, &minor);
}

void MovePointer(int x, int y) {
  Display* display = TestDisplay();
  XTestFakeMotionEvent(display, DefaultScreen(display), x, y, CurrentTime);
  XSync(display, False);
}

void Click(int x, int y, unsigned int button) {
  Display* display = TestDisplay();
  MovePointer(x, y);
  XTestFakeButtonEvent(display, button, True, CurrentTime);
  XTestFakeButtonEvent(display, button, False, CurrentTime);
  XSync(display, False);
}

void PressKey(KeySym key) {
  Display* display = TestDisplay();
  const KeyCode code = XKeysymToKeycode(display, key);
  XTestFakeKeyEvent(display, code, True, CurrentTime);
  XTestFakeKeyEvent(display, code, False, CurrentTime);
  XSync(display, False);
}

namespace {

void Stroke(KeySym key, KeySym modifier) {
  Display* display = TestDisplay();
  const KeyCode code = XKeysymToKeycode(display, key), held = modifier ? XKeysymToKeycode(display, modifier) : 0;
  if (held) XTestFakeKeyEvent(display, held, True, CurrentTime);
  XTestFakeKeyEvent(display, code, True, CurrentTime);
  XTestFakeKeyEvent(display, code, False, CurrentTime);
  if (held) XTestFakeKeyEvent(display, held, False, CurrentTime);
  XSync(display, False);
  RunUntil([] { return false; }, 0.05);
}

}  // namespace

void PressControlKey(KeySym key) { Stroke(key, XK_Control_L); }

void TypeText(const std::string& text) {
  Display* display = TestDisplay();
  for (const char c : text) {
    const KeySym key = c == ' ' ? XK_space : static_cast<KeySym>(static_cast<unsigned char>(c));
    const KeyCode code = XKeysymToKeycode(display, key);
    // A character on its key's second level needs Shift.
    const bool shifted = XkbKeycodeToKeysym(display, code, 0, 0) != key && XkbKeycodeToKeysym(display, code, 0, 1) == key;
    Stroke(key, shifted ? XK_Shift_L : 0);
  }
}

bool KeyboardGrabbedElsewhere() {
  Display* display = TestDisplay();
  const int result = XGrabKeyboard(display, DefaultRootWindow(display), False, GrabModeAsync, GrabModeAsync, CurrentTime);
  if (result == GrabSuccess) XUngrabKeyboard(display, CurrentTime);
  XSync(display, False);
  return result == AlreadyGrabbed;
}

}  // namespace wendrake::programtest

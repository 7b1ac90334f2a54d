#include "harness/SyntheticUserInput.h"

#include <X11/extensions/XTest.h>

#include "harness/TopLevelWindows.h"

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

bool KeyboardGrabbedElsewhere() {
  Display* display = TestDisplay();
  const int result = XGrabKeyboard(display, DefaultRootWindow(display), False, GrabModeAsync, GrabModeAsync, CurrentTime);
  if (result == GrabSuccess) XUngrabKeyboard(display, CurrentTime);
  XSync(display, False);
  return result == AlreadyGrabbed;
}

}  // namespace wendrake::programtest

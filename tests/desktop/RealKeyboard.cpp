#include "RealKeyboard.h"

// After the fixture: Xlib's macros would otherwise rename what GoogleTest declares.
#include "DesktopFixture.h"

#include <X11/XKBlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <gdk/gdkx.h>

namespace wendrake::testing {
namespace {

Display* XDisplayOf(GtkWidget* window) { return gdk_x11_display_get_xdisplay(gtk_widget_get_display(window)); }

void PointAt(GtkWidget* window) {
  int x = 0, y = 0;
  gdk_window_get_origin(gtk_widget_get_window(window), &x, &y);
  XTestFakeMotionEvent(XDisplayOf(window), -1, x + gtk_widget_get_allocated_width(window) / 2, y + gtk_widget_get_allocated_height(window) / 2, 0);
}

void Stroke(Display* display, KeySym keysym, bool control) {
  const KeyCode code = XKeysymToKeycode(display, keysym);
  // A keysym on the key's second level needs Shift.
  const bool shift = XkbKeycodeToKeysym(display, code, 0, 0) != keysym && XkbKeycodeToKeysym(display, code, 0, 1) == keysym;
  const KeyCode shiftCode = XKeysymToKeycode(display, XK_Shift_L), controlCode = XKeysymToKeycode(display, XK_Control_L);
  if (control) XTestFakeKeyEvent(display, controlCode, True, 0);
  if (shift) XTestFakeKeyEvent(display, shiftCode, True, 0);
  XTestFakeKeyEvent(display, code, True, 0);
  XTestFakeKeyEvent(display, code, False, 0);
  if (shift) XTestFakeKeyEvent(display, shiftCode, False, 0);
  if (control) XTestFakeKeyEvent(display, controlCode, False, 0);
  XFlush(display);
  // The chooser completes names as they are typed, as slowly as people type.
  RunUntil([] { return false; }, 0.05);
}

}  // namespace

void TypeInto(GtkWidget* window, const std::string& text) {
  PointAt(window);
  for (const char c : text) Stroke(XDisplayOf(window), c == ' ' ? XK_space : static_cast<KeySym>(static_cast<unsigned char>(c)), false);
}

void PressInto(GtkWidget* window, unsigned int keysym, bool control) {
  PointAt(window);
  Stroke(XDisplayOf(window), keysym, control);
}

}  // namespace wendrake::testing

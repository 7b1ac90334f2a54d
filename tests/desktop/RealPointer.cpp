#include "RealPointer.h"

// After the fixture: Xlib's macros would otherwise rename what GoogleTest declares.
#include "DesktopFixture.h"

#include <X11/extensions/XTest.h>
#include <gdk/gdkx.h>

namespace wendrake::testing {
namespace {

void Pump(double seconds) {
  RunUntil([] { return false; }, seconds);
}

}  // namespace

void DragInWindow(GtkWidget* window, int x, int y, int dx, int dy) {
  Display* display = gdk_x11_display_get_xdisplay(gtk_widget_get_display(window));
  int originX = 0, originY = 0;
  gdk_window_get_origin(gtk_widget_get_window(window), &originX, &originY);
  const int startX = originX + x, startY = originY + y;
  XTestFakeMotionEvent(display, -1, startX, startY, 0);
  XTestFakeButtonEvent(display, 1, True, 0);
  XFlush(display);
  Pump(0.2);
  constexpr int kSteps = 4;
  for (int step = 1; step <= kSteps; ++step) {
    XTestFakeMotionEvent(display, -1, startX + dx * step / kSteps, startY + dy * step / kSteps, 0);
    XFlush(display);
    Pump(0.05);
  }
  XTestFakeButtonEvent(display, 1, False, 0);
  XFlush(display);
  Pump(0.2);
}

}  // namespace wendrake::testing

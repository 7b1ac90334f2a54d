#include "harness/DeclaredWorkArea.h"

#include <X11/Xatom.h>

#include "harness/TopLevelWindows.h"

namespace wendrake::programtest {
namespace {

Atom Intern(const char* name) { return XInternAtom(TestDisplay(), name, False); }

void SetCardinals(Window window, const char* property, Atom type, const long* values, int count) {
  XChangeProperty(TestDisplay(), window, Intern(property), type, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(values), count);
}

constexpr const char* kRootProperties[] = {"_NET_SUPPORTING_WM_CHECK", "_NET_SUPPORTED", "_NET_WORKAREA", "_NET_NUMBER_OF_DESKTOPS",
                                           "_NET_CURRENT_DESKTOP"};

}  // namespace

DeclaredWorkArea::DeclaredWorkArea(const WorkArea& area) : Area(area) {
  Display* display = TestDisplay();
  const Window root = DefaultRootWindow(display);
  check_ = XCreateSimpleWindow(display, root, -1, -1, 1, 1, 0, 0, 0);
  const long check = static_cast<long>(check_);
  SetCardinals(check_, "_NET_SUPPORTING_WM_CHECK", XA_WINDOW, &check, 1);
  SetCardinals(root, "_NET_SUPPORTING_WM_CHECK", XA_WINDOW, &check, 1);
  // Only the work area: everything else goes on as without a window manager.
  const long supported = static_cast<long>(Intern("_NET_WORKAREA"));
  SetCardinals(root, "_NET_SUPPORTED", XA_ATOM, &supported, 1);
  const long desktops = 1, current = 0;
  SetCardinals(root, "_NET_NUMBER_OF_DESKTOPS", XA_CARDINAL, &desktops, 1);
  SetCardinals(root, "_NET_CURRENT_DESKTOP", XA_CARDINAL, &current, 1);
  const long workArea[] = {area.left, area.top, area.right - area.left, area.bottom - area.top};
  SetCardinals(root, "_NET_WORKAREA", XA_CARDINAL, workArea, 4);
  XSync(display, False);
}

DeclaredWorkArea::~DeclaredWorkArea() {
  Display* display = TestDisplay();
  for (const char* property : kRootProperties) XDeleteProperty(display, DefaultRootWindow(display), Intern(property));
  XDestroyWindow(display, check_);
  XSync(display, False);
}

}  // namespace wendrake::programtest

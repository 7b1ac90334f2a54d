#pragma once
// A work area smaller than the screen, declared on the root window as a window
// manager declares it (EWMH _NET_WORKAREA, announced in _NET_SUPPORTED behind a
// _NET_SUPPORTING_WM_CHECK window), so "centred in the work area" and "centred on
// the screen" put a window in different places.
#include <X11/Xlib.h>

namespace wendrake::programtest {

struct WorkArea {
  int left;
  int top;
  int right;
  int bottom;
};

class DeclaredWorkArea {
 public:
  explicit DeclaredWorkArea(const WorkArea& area);
  // Takes the declaration off the root again.
  ~DeclaredWorkArea();
  DeclaredWorkArea(const DeclaredWorkArea&) = delete;
  DeclaredWorkArea& operator=(const DeclaredWorkArea&) = delete;

  const WorkArea Area;

 private:
  Window check_ = 0;
};

}  // namespace wendrake::programtest

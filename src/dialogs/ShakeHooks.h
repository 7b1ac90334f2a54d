#pragma once
// The shake on presses beside an open page dialog. A left press on a window of this
// program that an open modal dialog blocks moves the active modal window through a
// few random offsets and back, then goes on to GTK as usual (GTK drops it).
//
// Each open page dialog registers its own hook and removes its own; one GDK event
// handler serves them all while at least one is registered, so a press shakes once.
#include <cstddef>

namespace wendrake {

class ShakeHooks {
 public:
  using Id = unsigned;

  static Id Add();
  // False when that hook is not registered (any more).
  static bool Remove(Id hook);
  static std::size_t Count();
};

}  // namespace wendrake

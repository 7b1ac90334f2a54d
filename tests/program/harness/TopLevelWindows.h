#pragma once
// The top-level windows on the test's display as the X server has them: without a
// window manager they are the root's children, their stacking order is the
// order XQueryTree gives, and their position is their place on the screen.
#include <X11/Xlib.h>
#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace wendrake::programtest {

struct TopLevel {
  Window id = 0;
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool mapped = false;
  bool overrideRedirect = false;
  bool undecorated = false;  // asks for no decorations (_MOTIF_WM_HINTS)
  std::string title;
  Window transientFor = 0;
  pid_t pid = 0;  // _NET_WM_PID
};

Display* TestDisplay();

// The root's children, lowest in the stack first.
std::vector<TopLevel> TopLevels();
// Those that `pid` made and a window manager would manage (no pop-up menus).
std::vector<TopLevel> ManagedTopLevelsOf(pid_t pid);
// Its shown pop-ups (menus, tooltips): override-redirect windows.
std::vector<TopLevel> ShownPopUpsOf(pid_t pid);
std::optional<TopLevel> FindTopLevel(const std::vector<TopLevel>& windows, Window id);
// The one window of this size, or none when there is none or more than one.
std::optional<TopLevel> OneOfSize(const std::vector<TopLevel>& windows, int width, int height);
// Position in the stack (0 lowest), or -1.
int StackPosition(const std::vector<TopLevel>& windows, Window id);

// The top-level window holding the input focus, or None.
Window FocusedTopLevel();

// What a window manager's close button sends (WM_DELETE_WINDOW).
void AskToClose(Window window);

std::string Describe(const TopLevel& window);
std::string Describe(const std::vector<TopLevel>& windows);

// A plain window of the test's own, mapped over the whole screen (and so above
// every window there is now).
class CoveringWindow {
 public:
  CoveringWindow();
  ~CoveringWindow();
  CoveringWindow(const CoveringWindow&) = delete;
  CoveringWindow& operator=(const CoveringWindow&) = delete;
  Window Id() const { return window_; }

 private:
  Window window_;
};

}  // namespace wendrake::programtest

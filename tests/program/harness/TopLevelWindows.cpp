#include "harness/TopLevelWindows.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <gdk/gdkx.h>

#include <sstream>

namespace wendrake::programtest {
namespace {

constexpr long kMwmHintsDecorations = 1L << 1;

// Windows come and go while they are read: errors for vanished ones are expected.
class ErrorTrap {
 public:
  ErrorTrap() { gdk_x11_display_error_trap_push(gdk_display_get_default()); }
  ~ErrorTrap() { gdk_x11_display_error_trap_pop_ignored(gdk_display_get_default()); }
};

std::optional<std::vector<unsigned long>> Cardinals(Window window, const char* property, Atom type) {
  Atom actualType = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(TestDisplay(), window, XInternAtom(TestDisplay(), property, False), 0, 64, False, type, &actualType, &format, &count, &after,
                         &data) != Success ||
      !data)
    return std::nullopt;
  std::vector<unsigned long> values;
  if (format == 32)
    for (unsigned long i = 0; i < count; ++i) values.push_back(reinterpret_cast<unsigned long*>(data)[i]);
  XFree(data);
  return values;
}

std::string Title(Window window) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::string title;
  if (XGetWindowProperty(TestDisplay(), window, XInternAtom(TestDisplay(), "_NET_WM_NAME", False), 0, 1024, False,
                         XInternAtom(TestDisplay(), "UTF8_STRING", False), &type, &format, &count, &after, &data) == Success &&
      data) {
    title.assign(reinterpret_cast<char*>(data), count);
    XFree(data);
    return title;
  }
  char* name = nullptr;
  if (XFetchName(TestDisplay(), window, &name) && name) {
    title = name;
    XFree(name);
  }
  return title;
}

std::optional<TopLevel> Read(Window id) {
  XWindowAttributes attributes{};
  if (!XGetWindowAttributes(TestDisplay(), id, &attributes)) return std::nullopt;
  TopLevel window;
  window.id = id;
  window.x = attributes.x;
  window.y = attributes.y;
  window.width = attributes.width;
  window.height = attributes.height;
  window.mapped = attributes.map_state != IsUnmapped;
  window.overrideRedirect = attributes.override_redirect;
  window.title = Title(id);
  Window transientFor = None;
  if (XGetTransientForHint(TestDisplay(), id, &transientFor)) window.transientFor = transientFor;
  if (auto pid = Cardinals(id, "_NET_WM_PID", XA_CARDINAL); pid && !pid->empty()) window.pid = static_cast<pid_t>((*pid)[0]);
  const Atom motif = XInternAtom(TestDisplay(), "_MOTIF_WM_HINTS", False);
  if (auto hints = Cardinals(id, "_MOTIF_WM_HINTS", motif); hints && hints->size() >= 3)
    window.undecorated = ((*hints)[0] & kMwmHintsDecorations) && (*hints)[2] == 0;
  return window;
}

}  // namespace

Display* TestDisplay() { return gdk_x11_get_default_xdisplay(); }

std::vector<TopLevel> TopLevels() {
  ErrorTrap trap;
  Window root = 0, parent = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  std::vector<TopLevel> windows;
  if (!XQueryTree(TestDisplay(), DefaultRootWindow(TestDisplay()), &root, &parent, &children, &count)) return windows;
  for (unsigned int i = 0; i < count; ++i)
    if (auto window = Read(children[i])) windows.push_back(*window);
  if (children) XFree(children);
  return windows;
}

std::vector<TopLevel> ManagedTopLevelsOf(pid_t pid) {
  std::vector<TopLevel> windows;
  for (const auto& window : TopLevels())
    if (window.pid == pid && !window.overrideRedirect) windows.push_back(window);
  return windows;
}

std::vector<TopLevel> ShownPopUpsOf(pid_t pid) {
  std::vector<TopLevel> windows;
  for (const auto& window : TopLevels())
    if (window.pid == pid && window.overrideRedirect && window.mapped) windows.push_back(window);
  return windows;
}

std::optional<TopLevel> FindTopLevel(const std::vector<TopLevel>& windows, Window id) {
  for (const auto& window : windows)
    if (window.id == id) return window;
  return std::nullopt;
}

std::optional<TopLevel> OneOfSize(const std::vector<TopLevel>& windows, int width, int height) {
  std::optional<TopLevel> found;
  for (const auto& window : windows) {
    if (window.width != width || window.height != height) continue;
    if (found) return std::nullopt;
    found = window;
  }
  return found;
}

int StackPosition(const std::vector<TopLevel>& windows, Window id) {
  for (size_t i = 0; i < windows.size(); ++i)
    if (windows[i].id == id) return static_cast<int>(i);
  return -1;
}

Window FocusedTopLevel() {
  ErrorTrap trap;
  Display* display = TestDisplay();
  Window focus = None;
  int revertTo = 0;
  XGetInputFocus(display, &focus, &revertTo);
  const Window rootWindow = DefaultRootWindow(display);
  if (focus == None || focus == PointerRoot || focus == rootWindow) return None;
  for (;;) {
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, focus, &root, &parent, &children, &count)) return None;
    if (children) XFree(children);
    if (parent == rootWindow) return focus;
    focus = parent;
  }
}

void AskToClose(Window window) {
  Display* display = TestDisplay();
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, window, False, NoEventMask, &event);
  XSync(display, False);
}

std::string Describe(const TopLevel& window) {
  std::ostringstream text;
  text << "0x" << std::hex << window.id << std::dec << " \"" << window.title << "\" " << window.width << "x" << window.height << "+" << window.x
       << "+" << window.y << (window.mapped ? " mapped" : " unmapped") << (window.overrideRedirect ? " override-redirect" : "")
       << (window.undecorated ? " undecorated" : "") << " pid " << window.pid;
  if (window.transientFor) text << " transient-for 0x" << std::hex << window.transientFor;
  return text.str();
}

std::string Describe(const std::vector<TopLevel>& windows) {
  std::string text;
  for (const auto& window : windows) text += "\n  " + Describe(window);
  return text.empty() ? " (none)" : text;
}

CoveringWindow::CoveringWindow() {
  Display* display = TestDisplay();
  const int screen = DefaultScreen(display);
  window_ = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, DisplayWidth(display, screen), DisplayHeight(display, screen), 0,
                                BlackPixel(display, screen), BlackPixel(display, screen));
  XMapRaised(display, window_);
  XSync(display, False);
}

CoveringWindow::~CoveringWindow() {
  XDestroyWindow(TestDisplay(), window_);
  XSync(TestDisplay(), False);
}

}  // namespace wendrake::programtest

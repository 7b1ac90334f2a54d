#include "MoveRecorder.h"

#include <X11/Xlib.h>

namespace wendrake::testing {

MoveRecorder::MoveRecorder(GtkWindow* window) : window_(gtk_widget_get_window(GTK_WIDGET(window))) { gdk_window_add_filter(window_, Filter, this); }

MoveRecorder::~MoveRecorder() { gdk_window_remove_filter(window_, Filter, this); }

std::vector<Point> MoveRecorder::Moves(Point from) const {
  std::vector<Point> moves;
  for (const Point& point : seen_)
    if (!(point == (moves.empty() ? from : moves.back()))) moves.push_back(point);
  return moves;
}

GdkFilterReturn MoveRecorder::Filter(GdkXEvent* native, GdkEvent*, gpointer recorder) {
  // A toplevel without a window manager's frame is a child of the root window, so
  // the notified position is on the screen.
  const auto* event = static_cast<const XEvent*>(native);
  if (event->type == ConfigureNotify) static_cast<MoveRecorder*>(recorder)->seen_.push_back({event->xconfigure.x, event->xconfigure.y});
  return GDK_FILTER_CONTINUE;
}

}  // namespace wendrake::testing

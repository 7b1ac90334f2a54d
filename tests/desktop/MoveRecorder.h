#pragma once
// The positions the X server reported for a toplevel as it moved, in order. GDK's
// own configure events carry the position at the time GDK reads them, so the
// server's notifications are read before GDK translates them.
#include <gtk/gtk.h>

#include <ostream>
#include <vector>

namespace wendrake::testing {

struct Point {
  int x = 0;
  int y = 0;
  bool operator==(const Point&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Point& point) { return out << "(" << point.x << ", " << point.y << ")"; }

class MoveRecorder {
 public:
  explicit MoveRecorder(GtkWindow* window);
  ~MoveRecorder();
  MoveRecorder(const MoveRecorder&) = delete;
  MoveRecorder& operator=(const MoveRecorder&) = delete;

  // The positions, leaving out notifications that repeat the position before them.
  std::vector<Point> Moves(Point from) const;
  void Clear() { seen_.clear(); }

 private:
  static GdkFilterReturn Filter(GdkXEvent* native, GdkEvent*, gpointer recorder);

  GdkWindow* window_;
  std::vector<Point> seen_;
};

}  // namespace wendrake::testing

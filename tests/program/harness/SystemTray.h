#pragma once
// A notification area of the test's own: it owns the screen's system-tray
// selection, takes dock requests and embeds the icon in a GtkSocket (XEmbed), as a
// desktop's panel does. Made before the program starts, it is the tray the
// program's status icon finds.
#include <X11/Xlib.h>
#include <gtk/gtk.h>

#include <functional>
#include <optional>
#include <vector>

namespace wendrake::programtest {

class SystemTray {
 public:
  SystemTray();
  ~SystemTray();
  SystemTray(const SystemTray&) = delete;
  SystemTray& operator=(const SystemTray&) = delete;

  // False when another client holds the selection.
  bool Owned() const { return owned_; }
  // Called from the main loop as each request arrives, before it is recorded.
  std::function<void(Window icon)> onDockRequest;
  const std::vector<Window>& DockRequests() const { return requests_; }
  // The top-level windows mapped so far, in the server's order. The X server reports
  // maps and dock requests to the tray in the order it served them, so inside
  // onDockRequest this holds exactly the windows mapped before that request.
  const std::vector<Window>& MapsSeen() const { return maps_; }

  // Embeds the icon of the last dock request and waits until it is shown.
  bool EmbedLastIcon(double seconds = 20);
  bool IconEmbedded() const;
  // The middle of the embedded icon, in screen coordinates.
  std::optional<GdkPoint> IconCentre() const;

 private:
  static GdkFilterReturn Filter(GdkXEvent* xevent, GdkEvent*, gpointer tray);

  Window manager_ = 0;
  Atom selection_ = 0;
  Atom opcode_ = 0;
  bool owned_ = false;
  std::vector<Window> requests_;
  std::vector<Window> maps_;
  // Maps the server reported before the tray existed are other programs' past:
  // window ids are reused once their client has gone.
  unsigned long firstSerial_ = 0;
  GtkWidget* panel_ = nullptr;
  GtkWidget* socket_ = nullptr;
};

}  // namespace wendrake::programtest

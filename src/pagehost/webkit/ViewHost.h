#pragma once
// The window that holds a view on the desktop: the main window or a page dialog.
#include <gtk/gtk.h>

#include <string>

#include "core/PageHost.h"

namespace wendrake {

class IViewHost : public IHostWindow {
 public:
  // The GTK container the view is created in.
  virtual GtkWidget* Widget() = 0;
  // The message code of a message box page dialog; empty for every other window.
  virtual std::u16string DialogMessage() const { return {}; }
  // A left press in the page whose pointer has left the drag threshold with the
  // button held (its time is the drag's), offered to the top-level owner, which
  // decides whether it starts a window drag. The page gets the press all the same.
  virtual void CaptionButton(const GdkEventButton& event) = 0;
  // True once the window is ending with the program: no dialog opens over it then.
  virtual bool Closing() const { return false; }
};

}  // namespace wendrake

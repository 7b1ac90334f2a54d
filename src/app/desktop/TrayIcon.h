#pragma once
// The notification-area icon of the main window and its menu.
#include <gtk/gtk.h>

#include <functional>
#include <string>

namespace wendrake {

inline constexpr const char* kTrayShowText = "显示";
inline constexpr const char* kTrayHideText = "隐藏";
inline constexpr const char* kTrayExitText = "退出";

class TrayIcon {
 public:
  struct Actions {
    std::function<bool()> isMinimized;
    // A left press or double click on the icon, and the menu's first item.
    std::function<void()> showHide;
    std::function<void()> exit;  // the menu's second item
  };

  // The icon stands in the notification area until the object goes.
  TrayIcon(GList* icons, const std::string& tip, Actions actions);
  ~TrayIcon();
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;

 private:
  static gboolean ButtonPress(GtkStatusIcon*, GdkEventButton* event, gpointer tray);
  void PopUpMenu(const GdkEventButton& event);

  Actions actions_;
  GtkStatusIcon* icon_;
  GtkWidget* menu_;
  GtkWidget* showHideItem_;
};

}  // namespace wendrake

#pragma once
// The notification-area icon of the main window and its menu. Desktops with an
// X11 system tray get a status icon there; desktops whose panel speaks
// StatusNotifier instead (and no X11 tray) get an item with the same menu.
#include <gtk/gtk.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace wendrake {

class StatusNotifierItem;

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

  // The icon stands in the notification area until the object goes. `iconThemePath`
  // holds the icon as a named file, for the StatusNotifier item.
  TrayIcon(GList* icons, const std::string& tip, const std::filesystem::path& iconThemePath, Actions actions);
  ~TrayIcon();
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;

  // The window's state changed: the menu's first item says what it will do. An
  // item's menu is shown by the panel, with no word to us beforehand.
  void Refresh();

 private:
  void ShowStatusIcon(GList* icons, const std::string& tip);
  static gboolean IconPressed(GtkStatusIcon*, GdkEventButton* event, gpointer tray);
  void PopUpMenu(const GdkEventButton& event);

  Actions actions_;
  GtkWidget* menu_;
  GtkWidget* showHideItem_;
  GtkStatusIcon* statusIcon_ = nullptr;
  std::unique_ptr<StatusNotifierItem> item_;
};

}  // namespace wendrake

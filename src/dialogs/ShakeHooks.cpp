#include "dialogs/ShakeHooks.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace wendrake {
namespace {

constexpr int kShakeMoves = 5;
constexpr int kShakeRange = 20;  // offsets -10..9
constexpr gulong kShakePauseMicroseconds = 5000;

std::vector<ShakeHooks::Id> hooks;
ShakeHooks::Id lastId = 0;

// The modal window that holds GTK's grab over the press's window, when the press is
// a left press that grab blocks; null otherwise.
GtkWindow* BlockingModalWindow(const GdkEvent* event) {
  if (event->type != GDK_BUTTON_PRESS || event->button.button != GDK_BUTTON_PRIMARY) return nullptr;
  GtkWidget* target = gtk_get_event_widget(const_cast<GdkEvent*>(event));
  if (!target) return nullptr;
  GtkWidget* toplevel = gtk_widget_get_toplevel(target);
  if (!GTK_IS_WINDOW(toplevel)) return nullptr;
  GtkWidget* grab = gtk_window_group_get_current_grab(gtk_window_get_group(GTK_WINDOW(toplevel)));
  if (!grab) return nullptr;
  GtkWidget* modal = gtk_widget_get_toplevel(grab);
  return modal != toplevel && GTK_IS_WINDOW(modal) ? GTK_WINDOW(modal) : nullptr;
}

void Shake(GtkWindow* window) {
  GdkDisplay* display = gtk_widget_get_display(GTK_WIDGET(window));
  int x = 0, y = 0;
  gtk_window_get_position(window, &x, &y);
  for (int move = 0; move < kShakeMoves; ++move) {
    const int dx = std::rand() % kShakeRange - kShakeRange / 2;
    const int dy = std::rand() % kShakeRange - kShakeRange / 2;
    // A mapped window moves at once; no waiting for it to be drawn again.
    gtk_window_move(window, x + dx, y + dy);
    gdk_display_flush(display);
    g_usleep(kShakePauseMicroseconds);
  }
  gtk_window_move(window, x, y);
  gdk_display_flush(display);
}

void HandleEvent(GdkEvent* event, gpointer) {
  if (GtkWindow* modal = BlockingModalWindow(event)) Shake(modal);
  gtk_main_do_event(event);
}

// What GTK installs for itself.
void GtkHandling(GdkEvent* event, gpointer) { gtk_main_do_event(event); }

}  // namespace

ShakeHooks::Id ShakeHooks::Add() {
  if (hooks.empty()) gdk_event_handler_set(HandleEvent, nullptr, nullptr);
  hooks.push_back(++lastId);
  return lastId;
}

bool ShakeHooks::Remove(Id hook) {
  const auto found = std::find(hooks.begin(), hooks.end(), hook);
  if (found == hooks.end()) return false;
  hooks.erase(found);
  if (hooks.empty()) gdk_event_handler_set(GtkHandling, nullptr, nullptr);
  return true;
}

std::size_t ShakeHooks::Count() { return hooks.size(); }

}  // namespace wendrake

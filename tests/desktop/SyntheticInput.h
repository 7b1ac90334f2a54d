#pragma once
// Key and button events delivered to a widget as GTK delivers the window's input.
#include <gtk/gtk.h>

namespace wendrake::testing {

inline GdkDevice* Device(bool keyboard) {
  GdkSeat* seat = gdk_display_get_default_seat(gdk_display_get_default());
  return keyboard ? gdk_seat_get_keyboard(seat) : gdk_seat_get_pointer(seat);
}

// An event on the widget's window, as the window system would have sent it.
inline GdkEvent* NewEvent(GtkWidget* widget, GdkEventType type) {
  GdkEvent* event = gdk_event_new(type);
  event->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(widget)));
  event->any.send_event = TRUE;
  return event;
}

inline void Deliver(GtkWidget* widget, GdkEvent* event) {
  gtk_widget_event(widget, event);
  gdk_event_free(event);
}

// Delivers a key press and its release to the view as the window would.
inline void SendKey(GtkWidget* widget, guint keyval, guint state = 0) {
  for (GdkEventType type : {GDK_KEY_PRESS, GDK_KEY_RELEASE}) {
    GdkEvent* event = NewEvent(widget, type);
    event->key.state = state;
    event->key.keyval = keyval;
    GdkKeymapKey* keys = nullptr;
    gint count = 0;
    if (gdk_keymap_get_entries_for_keyval(gdk_keymap_get_for_display(gdk_display_get_default()), keyval, &keys, &count) && count > 0) {
      event->key.hardware_keycode = static_cast<guint16>(keys[0].keycode);
      event->key.group = static_cast<guint8>(keys[0].group);
    }
    g_free(keys);
    gdk_event_set_device(event, Device(true));
    Deliver(widget, event);
  }
}

// A button event on the widget's window at (x, y) of that window.
inline GdkEvent* NewButtonEvent(GtkWidget* widget, GdkEventType type, guint button, double x, double y) {
  GdkEvent* event = NewEvent(widget, type);
  event->button.button = button;
  event->button.x = x;
  event->button.y = y;
  int originX = 0, originY = 0;
  gdk_window_get_origin(gtk_widget_get_window(widget), &originX, &originY);
  event->button.x_root = originX + x;
  event->button.y_root = originY + y;
  gdk_event_set_device(event, Device(false));
  gdk_event_set_source_device(event, Device(false));
  return event;
}

inline void SendButton(GtkWidget* widget, guint button, double x, double y) {
  for (GdkEventType type : {GDK_BUTTON_PRESS, GDK_BUTTON_RELEASE}) Deliver(widget, NewButtonEvent(widget, type, button, x, y));
}

// The pointer moved to (x, y) of the widget's window with these buttons held.
inline void SendMotion(GtkWidget* widget, double x, double y, guint state) {
  GdkEvent* event = NewEvent(widget, GDK_MOTION_NOTIFY);
  event->motion.x = x;
  event->motion.y = y;
  int originX = 0, originY = 0;
  gdk_window_get_origin(gtk_widget_get_window(widget), &originX, &originY);
  event->motion.x_root = originX + x;
  event->motion.y_root = originY + y;
  event->motion.state = state;
  gdk_event_set_device(event, Device(false));
  gdk_event_set_source_device(event, Device(false));
  Deliver(widget, event);
}

// A button event put on GDK's queue, so it reaches GTK through the program's own
// event handling, as the window system's events do.
inline void PutButton(GtkWidget* widget, GdkEventType type, guint button, double x, double y) {
  GdkEvent* event = NewButtonEvent(widget, type, button, x, y);
  gdk_event_put(event);
  gdk_event_free(event);
}

}  // namespace wendrake::testing

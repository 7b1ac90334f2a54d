// What reaches a page from the keyboard and the mouse, with events as GTK delivers them.
#include <gtest/gtest.h>

#include "DesktopFixture.h"

namespace wendrake {
namespace {

using testing::PageWithScript;
using testing::RunUntil;
using Lines = std::vector<std::string>;

GdkDevice* Device(bool keyboard) {
  GdkSeat* seat = gdk_display_get_default_seat(gdk_display_get_default());
  return keyboard ? gdk_seat_get_keyboard(seat) : gdk_seat_get_pointer(seat);
}

// Delivers a key press and its release to the view as the window would.
void SendKey(GtkWidget* widget, guint keyval, guint state = 0) {
  for (GdkEventType type : {GDK_KEY_PRESS, GDK_KEY_RELEASE}) {
    GdkEvent* event = gdk_event_new(type);
    event->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(widget)));
    event->key.send_event = TRUE;
    event->key.time = GDK_CURRENT_TIME;
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
    gtk_widget_event(widget, event);
    gdk_event_free(event);
  }
}

void SendButton(GtkWidget* widget, guint button, double x, double y) {
  for (GdkEventType type : {GDK_BUTTON_PRESS, GDK_BUTTON_RELEASE}) {
    GdkEvent* event = gdk_event_new(type);
    event->button.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(widget)));
    event->button.send_event = TRUE;
    event->button.time = GDK_CURRENT_TIME;
    event->button.button = button;
    event->button.x = x;
    event->button.y = y;
    int originX = 0, originY = 0;
    gdk_window_get_origin(gtk_widget_get_window(widget), &originX, &originY);
    event->button.x_root = originX + x;
    event->button.y_root = originY + y;
    gdk_event_set_device(event, Device(false));
    gtk_widget_event(widget, event);
    gdk_event_free(event);
  }
}

class InputFilter : public testing::DesktopFixture {
 protected:
  // A page with a focused text field that records every key and press it sees.
  CCustomHtmlView& OpenRecordingPage() {
    const std::string script = R"(
      var seen = [];
      function KeyPressed(key) { window.external.ShowMsgBox('KeyPressed ' + key); }
      var field = document.getElementById('field');
      field.focus();
      document.addEventListener('keydown', function (e) { seen.push('key ' + e.key); });
      document.addEventListener('mousedown', function (e) { seen.push('press ' + e.button); });
      function Report() { window.external.ShowMsgBox(seen.join(',') + ' field=' + field.value); seen = []; })";
    auto& view = OpenPage("input.html", PageWithScript(script, "<input id='field' style='width:300px;height:40px'>"));
    EXPECT_TRUE(WaitForEvent(WindowOf(view), "dialog ready"));
    gtk_widget_grab_focus(GTK_WIDGET(view.WebView()));
    WindowOf(view).events.clear();
    return view;
  }
  std::string Report(CCustomHtmlView& view) {
    // A round trip through the page after the input, so everything sent has arrived.
    EXPECT_TRUE(view.RefreshDocument());
    auto& events = WindowOf(view).events;
    const size_t before = events.size();
    EXPECT_TRUE(view.CallPageScript(u"Report", std::vector<std::u16string>{}));
    EXPECT_TRUE(RunUntil([&] { return events.size() > before; }));
    return events.empty() ? "" : events.back();
  }
};

TEST_F(InputFilter, EnterAndEscapeGoToKeyPressedAndNotToThePage) {
  auto& view = OpenRecordingPage();
  GtkWidget* widget = GTK_WIDGET(view.WebView());
  SendKey(widget, GDK_KEY_Return);
  SendKey(widget, GDK_KEY_KP_Enter);
  SendKey(widget, GDK_KEY_Escape);
  EXPECT_EQ(WindowOf(view).events, (Lines{"dialog KeyPressed VK_RETURN", "dialog KeyPressed VK_RETURN", "dialog KeyPressed VK_ESCAPE"}));
  WindowOf(view).events.clear();
  SendKey(widget, GDK_KEY_a);
  ASSERT_TRUE(RunUntil([&] { return Report(view) == "dialog key a field=a"; }));
}

TEST_F(InputFilter, BrowserShortcutsAreSwallowed) {
  auto& view = OpenRecordingPage();
  GtkWidget* widget = GTK_WIDGET(view.WebView());
  for (guint key : {GDK_KEY_f, GDK_KEY_N, GDK_KEY_o, GDK_KEY_p, GDK_KEY_F1, GDK_KEY_KP_6, GDK_KEY_KP_Decimal, GDK_KEY_KP_Divide})
    SendKey(widget, key, GDK_CONTROL_MASK);
  SendKey(widget, GDK_KEY_F5);
  SendKey(widget, GDK_KEY_b);  // an ordinary key still arrives
  EXPECT_TRUE(RunUntil([&] { return Report(view) == "dialog key b field=b"; }));
}

TEST_F(InputFilter, OnlyLeftPressesReachThePageAndTheyAskTheOwnerToDrag) {
  auto& view = OpenRecordingPage();
  GtkWidget* widget = GTK_WIDGET(view.WebView());
  SendButton(widget, 3, 50, 150);
  SendButton(widget, 2, 50, 150);
  SendButton(widget, 1, 50, 150);
  int x = 0, y = 0;
  gdk_window_get_origin(gtk_widget_get_window(widget), &x, &y);
  const std::string at = std::to_string(x + 50) + "," + std::to_string(y + 150);
  EXPECT_EQ(WindowOf(view).events, (Lines{"drag-press " + at, "drag-release " + at}));
  WindowOf(view).events.clear();
  EXPECT_TRUE(RunUntil([&] { return Report(view) == "dialog press 0 field="; }));
}

}  // namespace
}  // namespace wendrake

// What reaches a page from the keyboard and the mouse, with events as GTK delivers them.
#include <gtest/gtest.h>

#include "DesktopFixture.h"
#include "SyntheticInput.h"

namespace wendrake {
namespace {

using testing::Deliver;
using testing::NewButtonEvent;
using testing::PageWithScript;
using testing::RunUntil;
using testing::SendButton;
using testing::SendKey;
using testing::SendMotion;
using Lines = std::vector<std::string>;

class InputFilter : public testing::DesktopFixture {
 protected:
  // A page with a focused text field that records every key and press it sees.
  CCustomHtmlView& OpenRecordingPage() {
    const std::string script = R"(
      var seen = [];
      function KeyPressed(key) { window.external.ShowMsgBox('KeyPressed ' + key + ' field=' + field.value); }
      var field = document.getElementById('field');
      field.focus();
      document.addEventListener('keydown', function (e) { seen.push('key ' + e.key); });
      document.addEventListener('mousedown', function (e) { seen.push('press ' + e.button); });
      function Report() { window.external.ShowMsgBox(seen.join(',') + ' field=' + field.value); seen = []; }
      function Press(button) { document.body.dispatchEvent(new MouseEvent('mousedown', {button: Number(button), bubbles: true})); })";
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
  auto& events = WindowOf(view).events;
  EXPECT_TRUE(RunUntil([&] { return events.size() >= 3; }, 5));
  EXPECT_EQ(events, (Lines{"dialog KeyPressed VK_RETURN field=", "dialog KeyPressed VK_RETURN field=", "dialog KeyPressed VK_ESCAPE field="}));
  events.clear();
  SendKey(widget, GDK_KEY_a);
  std::string report;
  EXPECT_TRUE(RunUntil([&] { return (report = Report(view)) == "dialog key a field=a"; }, 5)) << report;
}

// Enter typed right after text: KeyPressed sees the text whole.
TEST_F(InputFilter, KeyPressedComesAfterTheKeysTypedBeforeIt) {
  auto& view = OpenRecordingPage();
  GtkWidget* widget = GTK_WIDGET(view.WebView());
  auto& events = WindowOf(view).events;
  std::string field;
  for (int round = 0; round < 10; ++round) {
    SCOPED_TRACE(round);
    for (guint key : {GDK_KEY_a, GDK_KEY_b, GDK_KEY_c, GDK_KEY_Return, GDK_KEY_d, GDK_KEY_Escape}) SendKey(widget, key);
    ASSERT_TRUE(RunUntil([&] { return events.size() >= 2; }, 5)) << events.size();
    const std::string beforeEnter = field + "abc";
    field = beforeEnter + "d";
    EXPECT_EQ(events, (Lines{"dialog KeyPressed VK_RETURN field=" + beforeEnter, "dialog KeyPressed VK_ESCAPE field=" + field}));
    events.clear();
  }
}

TEST_F(InputFilter, BrowserShortcutsAreSwallowed) {
  auto& view = OpenRecordingPage();
  GtkWidget* widget = GTK_WIDGET(view.WebView());
  for (guint key : {GDK_KEY_f, GDK_KEY_N, GDK_KEY_o, GDK_KEY_p, GDK_KEY_F1, GDK_KEY_KP_6, GDK_KEY_KP_Decimal, GDK_KEY_KP_Divide})
    SendKey(widget, key, GDK_CONTROL_MASK);
  SendKey(widget, GDK_KEY_F5);
  SendKey(widget, GDK_KEY_b);  // an ordinary key still arrives
  std::string report;
  EXPECT_TRUE(RunUntil([&] { return (report = Report(view)) == "dialog key b field=b"; }, 5)) << report;
}

// A left press asks the owner to drag once the pointer leaves the drag threshold
// with the button held, from where it went down; a click, or a move with the
// button up, stays the page's.
TEST_F(InputFilter, OnlyLeftPressesReachThePageAndADraggingOneAsksTheOwnerToDrag) {
  auto& view = OpenRecordingPage();
  GtkWidget* widget = GTK_WIDGET(view.WebView());
  SendButton(widget, 3, 50, 150);
  SendButton(widget, 2, 50, 150);
  SendButton(widget, 1, 50, 150);
  SendMotion(widget, 90, 190, 0);
  EXPECT_EQ(WindowOf(view).events, Lines{}) << "a click is not a drag";
  Deliver(widget, NewButtonEvent(widget, GDK_BUTTON_PRESS, 1, 50, 150));
  SendMotion(widget, 52, 151, GDK_BUTTON1_MASK);
  EXPECT_EQ(WindowOf(view).events, Lines{}) << "within the drag threshold";
  SendMotion(widget, 70, 160, GDK_BUTTON1_MASK);
  SendMotion(widget, 90, 170, GDK_BUTTON1_MASK);
  Deliver(widget, NewButtonEvent(widget, GDK_BUTTON_RELEASE, 1, 90, 170));
  int x = 0, y = 0;
  gdk_window_get_origin(gtk_widget_get_window(widget), &x, &y);
  EXPECT_EQ(WindowOf(view).events, Lines{"drag " + std::to_string(x + 50) + "," + std::to_string(y + 150)});
  // The page's side of the same rule, with presses as the page's own events.
  ASSERT_TRUE(view.RefreshDocument());
  for (const std::u16string button : {u"2", u"1", u"0"}) EXPECT_TRUE(view.CallPageScript(u"Press", button));
  WindowOf(view).events.clear();
  EXPECT_EQ(Report(view), "dialog press 0 field=");
}

}  // namespace
}  // namespace wendrake

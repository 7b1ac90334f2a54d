// The page host on real WebKit views: calls both ways, refusals, the host's answers.
#include <gtest/gtest.h>

#include "DesktopFixture.h"
#include "SyntheticInput.h"
#include "core/ProductSite.h"
#include "pagehost/ScriptBridge.h"

namespace wendrake {
namespace {

using testing::PageWithScript;
using testing::RunUntil;
using Lines = std::vector<std::string>;

class PageHostView : public testing::DesktopFixture {};

TEST_F(PageHostView, CallPageScriptPassesArgumentsInOrder) {
  auto& view = OpenPage("order.html", PageWithScript("function Join(a, b) { window.external.ShowMsgBox(a + '|' + b); return 7; }"));
  ASSERT_TRUE(WaitForEvent(WindowOf(view), "dialog ready"));
  ASSERT_TRUE(view.RefreshDocument());
  EXPECT_TRUE(view.CallPageScript(u"Join", u"A", u"B"));
  EXPECT_TRUE(view.CallPageScript(u"Join", std::vector<std::u16string>{u"玩家", u""}));
  EXPECT_EQ(WindowOf(view).events, (Lines{"dialog ready", "dialog A|B", "dialog 玩家|"}));
  EXPECT_TRUE(messages.texts.empty());
}

TEST_F(PageHostView, FailedPageCallsAreShownInAMessageBox) {
  auto& view = OpenPage("fail.html", PageWithScript("function Throws() { throw new Error('no'); } var NotAFunction = 3;"));
  EXPECT_FALSE(view.RefreshDocument()) << "no document yet";
  EXPECT_FALSE(view.CallPageScript(u"Throws", std::vector<std::u16string>{})) << "a document never captured";
  ASSERT_TRUE(WaitForEvent(WindowOf(view), "dialog ready"));
  ASSERT_TRUE(view.RefreshDocument());
  EXPECT_FALSE(view.CallPageScript(u"Missing", u"x"));
  EXPECT_FALSE(view.CallPageScript(u"Throws", u"x"));
  EXPECT_FALSE(view.CallPageScript(u"NotAFunction", u"x"));
  EXPECT_EQ(messages.texts, (Lines{"函数GetJScrip调用失败！", "未知名称。\r\n", "发生意外。\r\n", "未知名称。\r\n"}));
}

// The page's web process ends while the program waits for the page: the call
// fails as any failed page call does, and the page comes back in a new process.
TEST_F(PageHostView, APageWhoseWebProcessEndsDuringACallFailsItAndComesBack) {
  auto& view = OpenPage("ends.html", PageWithScript("function Hang() { window.external.ShowMsgBox('hanging'); for (;;) {} }"
                                                    " function Ping() { window.external.ShowMsgBox('pinged'); }"));
  ASSERT_TRUE(WaitForEvent(WindowOf(view), "dialog ready"));
  ASSERT_TRUE(view.RefreshDocument());
  struct Ending {
    CCustomHtmlView* view;
    testing::TestWindow* window;
    bool done = false;
  } ending{&view, &WindowOf(view)};
  // Once the page hangs, its process goes.
  const guint watch = g_timeout_add(
      10,
      +[](gpointer data) -> gboolean {
        auto* e = static_cast<Ending*>(data);
        const auto& events = e->window->events;
        if (std::find(events.begin(), events.end(), "dialog hanging") == events.end()) return G_SOURCE_CONTINUE;
        webkit_web_view_terminate_web_process(e->view->WebView());
        e->done = true;
        return G_SOURCE_REMOVE;
      },
      &ending);
  EXPECT_FALSE(view.CallPageScript(u"Hang", std::vector<std::u16string>{}));
  EXPECT_EQ(messages.texts, Lines{"函数GetJScrip调用失败！"});
  ASSERT_TRUE(RunUntil([&] { return std::count(WindowOf(view).events.begin(), WindowOf(view).events.end(), "dialog ready") == 2; }))
      << "the page did not come back";
  ASSERT_TRUE(view.RefreshDocument());
  EXPECT_TRUE(view.CallPageScript(u"Ping", std::vector<std::u16string>{}));
  EXPECT_EQ(WindowOf(view).events, (Lines{"dialog ready", "dialog hanging", "dialog ready", "dialog pinged"}));
  if (!ending.done) g_source_remove(watch);
}

TEST_F(PageHostView, PageCallsReachTheirHandlersWithoutRegardToCase) {
  auto& view = OpenPage("close.html", PageWithScript("window.external.closewindow(); window.external.MINIMIZE(); window.external.Close();"));
  ASSERT_TRUE(WaitForEvent(WindowOf(view), "dialog ready"));
  EXPECT_EQ(WindowOf(view).events, (Lines{"close", "minimize", "close", "dialog ready"}));
}

TEST_F(PageHostView, RefusalsAreErrorsThePageCatchesAndNoHandlerRuns) {
  const std::string script = R"(
    function numberOf(call) { try { call(); return 'ran'; } catch (e) { return String(e.number); } }
    window.external.ShowMsgBox([
      numberOf(function () { window.external.NoSuchMethod(); }),
      numberOf(function () { window.external.GetPluginCount(1); }),
      numberOf(function () { window.external.SelectGamePath(); }),
      numberOf(function () { window.external.SelectGamePath('abc'); }),
      numberOf(function () { window.external.SelectGamePath(1e10); }),
      numberOf(function () { window.external.ChangeSkin(null); })
    ].join(','));)";
  auto& view = OpenPage("refusals.html", PageWithScript(script));
  ASSERT_TRUE(WaitForEvent(WindowOf(view), "dialog ready"));
  EXPECT_EQ(WindowOf(view).events, (Lines{"dialog -2147352570,-2147352562,-2147352561,-2147352571,-2147352566,-2147352571", "dialog ready"}))
      << "no game path dialog: the refused handlers did not run";
}

TEST_F(PageHostView, AHandlerMayCallBackIntoTheWaitingPage) {
  // DeliverUserInfo on the main page calls its SetUserInfo, which calls in again.
  const std::string script = R"(
    function SetUserInfo(user, image) { window.external.ShowMsgBox('hello ' + user + ' ' + window.external.GetLocalProgVer()); }
    window.external.DeliverUserInfo('player', 'face.png');
    window.external.ShowMsgBox('after');)";
  installation.WriteHive({{"Version", "2.0"}});
  auto& view = OpenPage("reentry.html", PageWithScript(script));
  ASSERT_TRUE(WaitForEvent(WindowOf(view), "dialog ready"));
  EXPECT_EQ(WindowOf(view).events, (Lines{"dialog hello player 2.0", "end-dialog 1", "dialog after", "dialog ready"}));
}

TEST_F(PageHostView, AnOpenedDialogPageCallsIntoItsOpenersPage) {
  auto& opener = OpenPage("main.html", PageWithScript("function SetUserInfo(user, image) { window.external.ShowMsgBox('user ' + user); }"));
  ASSERT_TRUE(WaitForEvent(WindowOf(opener), "dialog ready"));
  auto& dialog = OpenPage("login.html", PageWithScript("window.external.DeliverUserInfo('player', 'face.png');"), &opener);
  ASSERT_TRUE(WaitForEvent(WindowOf(dialog), "dialog ready"));
  EXPECT_EQ(WindowOf(opener).events, (Lines{"dialog ready", "dialog user player"}));
  EXPECT_EQ(WindowOf(dialog).events, (Lines{"end-dialog 1", "dialog ready"}));
}

TEST_F(PageHostView, TheAddOnListWorksAsAVBArray) {
  const auto game = installation.MakeGameFolder();
  std::filesystem::create_directories(game / "Interface/AddOns/Alpha");
  std::filesystem::create_directories(game / "Interface/AddOns/Beta");
  installation.WriteFile(
      "update_info.xml",
      "<Wendrake><plugin><item pid=\"1\" ver=\"1.0\" PlugName=\"Alpha\"/><item pid=\"2\" ver=\"2.0\" PlugName=\"Beta\"/></plugin></Wendrake>");
  const std::string script = R"(
    var list = new VBArray(window.external.GetExistPlugin());
    window.external.ShowMsgBox(list.toArray().join(',') + ' ' + list.lbound() + '-' + list.ubound() + ' ' + list.getItem(1));)";
  auto& view = OpenPage("list.html", PageWithScript(script));
  ASSERT_TRUE(WaitForEvent(WindowOf(view), "dialog ready"));
  EXPECT_EQ(WindowOf(view).events, (Lines{"dialog 1_1.0,2_2.0 0-1 2_2.0", "dialog ready"}));
}

TEST_F(PageHostView, PagesOfOtherOriginsGetNoExternalObject) {
  windows.push_back(std::make_unique<testing::TestWindow>());
  views.push_back(std::make_unique<CCustomHtmlView>(environment, messages, services));
  CCustomHtmlView& view = *views.back();
  ASSERT_TRUE(view.CreateInWindow(1000, *windows.back()));
  webkit_web_view_load_html(
      view.WebView(),
      "<html><body><script>document.title = window.external && window.external.ShowMsgBox ? 'bridge' : 'none';</script></body></html>",
      "https://example.org/");
  ASSERT_TRUE(RunUntil([&] {
    const char* title = webkit_web_view_get_title(view.WebView());
    return title && *title;
  }));
  EXPECT_STREQ(webkit_web_view_get_title(view.WebView()), "none");
  EXPECT_TRUE(windows.back()->events.empty());
}

// The product's site gets window.external but never window.wendrake, even from a
// web process that would call its members anyway.
TEST_F(PageHostView, TheSitesPagesCannotReachTheProgramObject) {
  installation.WriteCatalog({"Alpha"});
  windows.push_back(std::make_unique<testing::TestWindow>());
  views.push_back(std::make_unique<CCustomHtmlView>(environment, messages, services));
  CCustomHtmlView& view = *views.back();
  ASSERT_TRUE(view.CreateInWindow(1000, *windows.back()));
  webkit_web_view_load_html(view.WebView(),
                            "<html><body><script>document.title = typeof window.external + ' ' + typeof window.wendrake;</script></body></html>",
                            (std::string(kProductSite) + "/news/").c_str());
  ASSERT_TRUE(RunUntil([&] {
    const char* title = webkit_web_view_get_title(view.WebView());
    return title && *title;
  }));
  EXPECT_STREQ(webkit_web_view_get_title(view.WebView()), "object undefined");
  const InvokeOutcome outcome = view.OnPageCall(kProgramMemberBase + 1, {std::u16string()});
  EXPECT_EQ(outcome.code, DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(view.OnPageCall(ScriptBridge::GetIDOfName(u"GetPluginCount"), {}).code, S_OK) << "window.external still works";
}

TEST_F(PageHostView, ANewWindowOpensTheLastClickedLinkThroughTheShell) {
  const std::string body = R"(<a id="secure" target="_blank" href="https://example.org/news"><span id="inner">news</span></a>
    <a id="local" href="other.html">local</a><p id="plain">text</p>)";
  const std::string script = R"(
    function Click(id) { document.getElementById(id).click(); }
    function OpenWindow() { window.open('about:blank'); })";
  auto& view = OpenPage("links.html", PageWithScript(script, body));
  // Clicks count once the document has completed.
  ASSERT_TRUE(RunUntil([&] { return view.ClickSink.IsConnected(); }));
  ASSERT_TRUE(view.RefreshDocument());
  EXPECT_TRUE(view.CallPageScript(u"Click", u"inner"));  // inside the link: the link's address
  ASSERT_TRUE(RunUntil([&] { return shell.opened.size() == 1; }));
  EXPECT_EQ(shell.opened, Lines{"https://example.org/news"});
  EXPECT_EQ(view.ClickSink.LastLink, u"https://example.org/news");
  // A click outside any link keeps the last link, which a script's window then reopens.
  EXPECT_TRUE(view.CallPageScript(u"Click", u"plain"));
  EXPECT_TRUE(view.CallPageScript(u"OpenWindow", std::vector<std::u16string>{}));
  ASSERT_TRUE(RunUntil([&] { return shell.opened.size() == 2; }));
  EXPECT_EQ(shell.opened.back(), "https://example.org/news");
}

TEST_F(PageHostView, AMessagePageIsGivenItsCodeWhenItsDocumentCompletes) {
  struct Case {
    std::string script;
    Lines events;
    Lines messages;
  };
  const Case cases[] = {
      {"function InitMsgBox(code) { window.external.ShowMsgBox('shows ' + code); }", {"dialog ready", "dialog shows 1010"}, {}},
      {"", {"dialog ready", "dialog 1007"}, {"未知名称。\r\n"}},
  };
  for (const auto& c : cases) {
    windows.push_back(std::make_unique<testing::TestWindow>());
    windows.back()->message = u"1010";
    views.push_back(std::make_unique<CCustomHtmlView>(environment, messages, services));
    ASSERT_TRUE(views.back()->CreateInWindow(1179, *windows.back()));
    messages.texts.clear();
    views.back()->Navigate(installation.WriteFile("UI/pages/sc/error.html", PageWithScript(c.script)).string());
    ASSERT_TRUE(RunUntil([&] { return windows.back()->events.size() == 2; }));
    EXPECT_EQ(windows.back()->events, c.events);
    EXPECT_EQ(messages.texts, c.messages);
  }
}

class MenuRecordingView : public CCustomHtmlView {
 public:
  using CCustomHtmlView::CCustomHtmlView;
  HRESULT ShowContextMenu(int kind) override {
    const HRESULT answer = CCustomHtmlView::ShowContextMenu(kind);
    asked.emplace_back(kind, answer);
    return answer;
  }
  std::vector<std::pair<int, HRESULT>> asked;
};

TEST_F(PageHostView, OnlyATextSelectionGetsAContextMenu) {
  windows.push_back(std::make_unique<testing::TestWindow>());
  MenuRecordingView view(environment, messages, services);
  ASSERT_TRUE(view.CreateInWindow(1000, *windows.back()));
  const std::string body = "<style>body { margin: 0 }</style><p id='text' style='margin:0;font-size:40px'>Selected text</p>";
  const std::string script = "function Select() { document.getSelection().selectAllChildren(document.getElementById('text')); }";
  view.Navigate(installation.WriteFile("UI/pages/sc/menu.html", PageWithScript(script, body)).string());
  ASSERT_TRUE(WaitForEvent(*windows.back(), "dialog ready"));
  GtkWidget* widget = GTK_WIDGET(view.WebView());
  testing::SendButton(widget, 3, 20, 250);
  ASSERT_TRUE(RunUntil([&] { return view.asked.size() == 1; }));
  ASSERT_TRUE(view.RefreshDocument());
  ASSERT_TRUE(view.CallPageScript(u"Select", std::vector<std::u16string>{}));
  testing::SendButton(widget, 3, 30, 20);
  ASSERT_TRUE(RunUntil([&] { return view.asked.size() == 2; }));
  EXPECT_EQ(view.asked, (std::vector<std::pair<int, HRESULT>>{{kMenuDefault, S_OK}, {kMenuTextSelect, S_FALSE}}));
  for (const auto& [kind, answer] : std::vector<std::pair<int, HRESULT>>{{kMenuImage, S_OK}, {kMenuControl, S_OK}, {kMenuAnchor, S_OK}})
    EXPECT_EQ(view.ShowContextMenu(kind), answer) << kind;
}

}  // namespace
}  // namespace wendrake

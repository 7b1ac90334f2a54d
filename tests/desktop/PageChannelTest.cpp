// window.external and native-to-page calls through real WebKit views, their web
// processes and the page channel's sockets.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <limits>
#include <memory>
#include <stdexcept>
#include <thread>

#include "core/Text.h"
#include "desktop/SyntheticInput.h"
#include "desktop/support/PageHarness.h"
#include "pagehost/ScriptBridge.h"
#include "pagehost/wire/PageAccess.h"
#include "pagehost/wire/PageWire.h"

namespace wendrake {
namespace {

using pagetest::PageHarness;
using pagetest::RecordingEndpoint;
using pagetest::RunUntil;
using pagetest::TestView;

std::int32_t Id(std::u16string_view name) { return ScriptBridge::GetIDOfName(name); }

// A small test page: its body, then its script.
std::string Page(const std::string& script, const std::string& body = "") {
  return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body>" + body + "<script>" + script + "</script></body></html>";
}

class PageChannelTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { harness_ = new PageHarness(); }
  static void TearDownTestSuite() {
    delete harness_;
    harness_ = nullptr;
  }

  // A view attached to endpoint (by default the test's own) showing the page.
  std::unique_ptr<TestView> Open(const std::string& html, const std::string& address = "", RecordingEndpoint* to = nullptr) {
    auto view = std::make_unique<TestView>(*harness_, to ? to : &endpoint);
    EXPECT_TRUE(view->Load(html, address.empty() ? harness_->UiPage("test.html") : address)) << address;
    return view;
  }

  PageChannel& Channel() { return harness_->Channel(); }

  static PageHarness* harness_;
  RecordingEndpoint endpoint;
};
PageHarness* PageChannelTest::harness_ = nullptr;

TEST_F(PageChannelTest, ArgumentsReachTheEndpointTyped) {
  struct Case {
    const char* script;
    PageValue expected;
  };
  const Case cases[] = {
      {"7", std::int32_t{7}},
      {"-2147483648", std::numeric_limits<std::int32_t>::min()},
      {"2147483647", std::numeric_limits<std::int32_t>::max()},
      {"2147483648", 2147483648.0},
      {"-2147483649", -2147483649.0},
      {"1.5", 1.5},
      {"Infinity", std::numeric_limits<double>::infinity()},
      {"true", true},
      {"false", false},
      {"null", Null{}},
      {"undefined", Undefined{}},
      {"'text'", std::u16string(u"text")},
      {"''", std::u16string()},
      {"'\\u4e2d\\u6587 \\ud83d\\ude00'", std::u16string(u"中文 😀")},
      {"'a\\u0000b'", std::u16string(u"a\0b", 3)},
      {"'\\ud800'", std::u16string(u"\ufffd")},
      {"({ toString() { return 'obj'; } })", ObjectValue{u"obj"}},
      {"[1, 'two']", ObjectValue{u"1,two"}},
  };
  auto view = Open(Page(""));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    endpoint.calls.clear();
    ASSERT_EQ(view->Evaluate(std::string("window.external.SelectGameOK(") + c.script + "); 'ok'"), "ok");
    ASSERT_EQ(endpoint.calls.size(), 1u);
    EXPECT_EQ(endpoint.calls[0].memberId, Id(u"SelectGameOK"));
    EXPECT_EQ(endpoint.calls[0].arguments, std::vector<PageValue>{c.expected});
  }

  endpoint.calls.clear();
  ASSERT_EQ(view->Evaluate("window.external.AddPlugin('a', 2, true); window.external.CloseWindow(); 'ok'"), "ok");
  ASSERT_EQ(endpoint.calls.size(), 2u);
  EXPECT_EQ(endpoint.calls[0].arguments, (std::vector<PageValue>{std::u16string(u"a"), std::int32_t{2}, true}));
  EXPECT_TRUE(endpoint.calls[1].arguments.empty());
}

TEST_F(PageChannelTest, ResultsReachThePageTyped) {
  struct Case {
    MethodResult result;
    const char* expected;
  };
  const Case cases[] = {
      {std::monostate{}, "undefined undefined"},
      {std::int32_t{42}, "number 42"},
      {std::int32_t{-2147483647 - 1}, "number -2147483648"},
      {true, "boolean true"},
      {false, "boolean false"},
      {std::u16string(u"h\u00e9llo \u4e2d"), "string \"h\u00e9llo \u4e2d\""},
      {std::u16string(u"a\0b", 3), "string \"a\\u0000b\""},
      {std::vector<std::u16string>{u"x", u"y z"}, "object array [\"x\",\"y z\"]"},
      {std::vector<std::u16string>{}, "object array []"},
  };
  auto view = Open(Page(""));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    endpoint.onCall = [&](std::int32_t, const std::vector<PageValue>&) { return InvokeOutcome{S_OK, c.result}; };
    EXPECT_EQ(view->Evaluate("(() => { const r = window.external.GetExistPlugin();"
                             " return typeof r + (Array.isArray(r) ? ' array ' : ' ') + JSON.stringify(r); })()"),
              c.expected);
  }
}

TEST_F(PageChannelTest, MemberNamesIgnoreCase) {
  struct Case {
    const char* name;
    std::u16string_view member;
  };
  const Case cases[] = {
      {"CloseWindow", u"CloseWindow"},
      {"closewindow", u"CloseWindow"},
      {"CLOSEWINDOW", u"CloseWindow"},
      {"cLoSeWiNdOw", u"CloseWindow"},
      {"close", u"Close"},
      {"getplugincount", u"GetPluginCount"},
      {"OPENLINKNEWWINDOW", u"OpenLinkNewWindow"},
  };
  auto view = Open(Page(""));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    endpoint.calls.clear();
    EXPECT_EQ(view->Evaluate(std::string("window.external.") + c.name + "(); String('" + c.name + "' in window.external)"), "true");
    ASSERT_EQ(endpoint.calls.size(), 1u);
    EXPECT_EQ(endpoint.calls[0].memberId, Id(c.member));
  }
}

TEST_F(PageChannelTest, UnknownNameThrowsWithoutReachingTheEndpoint) {
  auto view = Open(Page(""));
  // "\u212A" (Kelvin sign) lowers to "k" in Unicode, not in the table's ASCII rule.
  for (const char* name : {"NoSuchMethod", "CloseWindowX", "Chec\\u212ANetConnect", "toString"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(
        view->Evaluate(std::string("try { window.external['") + name + "'](); 'no error' } catch (e) { (e instanceof Error) + ' ' + e.number }"),
        "true -2147352570");
    EXPECT_EQ(view->Evaluate(std::string("String('") + name + "' in window.external)"), "false");
  }
  EXPECT_TRUE(endpoint.calls.empty());
}

TEST_F(PageChannelTest, RefusalsAreThrownAsErrorsCarryingTheHResult) {
  const HRESULT codes[] = {DISP_E_TYPEMISMATCH, DISP_E_OVERFLOW, DISP_E_BADPARAMCOUNT, DISP_E_PARAMNOTOPTIONAL, DISP_E_EXCEPTION,
                           DISP_E_NONAMEDARGS,  E_FAIL};
  auto view = Open(Page(""));
  for (const HRESULT code : codes) {
    SCOPED_TRACE(code);
    endpoint.onCall = [&](std::int32_t, const std::vector<PageValue>&) { return InvokeOutcome{code, std::int32_t{1}}; };
    EXPECT_EQ(view->Evaluate("try { window.external.SelectGamePath(); 'no error' }"
                             " catch (e) { (e instanceof Error) + ' ' + e.number + ' ' + (e.description === e.message) }"),
              "true " + std::to_string(code) + " true");
  }
  // A handler that fails in an unplanned way must still answer the page.
  endpoint.onCall = [](std::int32_t, const std::vector<PageValue>&) -> InvokeOutcome { throw std::runtime_error("handler failed"); };
  EXPECT_EQ(view->Evaluate("try { window.external.GetPluginCount(); 'no error' } catch (e) { String(e.number) }"), std::to_string(DISP_E_EXCEPTION));
}

TEST_F(PageChannelTest, AnArgumentWithoutTextThrowsItsOwnError) {
  auto view = Open(Page(""));
  EXPECT_EQ(view->Evaluate("try { window.external.IsExistPlugin({ toString() { throw new Error('no text'); } }); 'no error' }"
                           " catch (e) { e.message }"),
            "no text");
  EXPECT_TRUE(endpoint.calls.empty());
  // Neither that error nor a refusal lingers to break the next call.
  endpoint.onCall = [](std::int32_t, const std::vector<PageValue>&) { return InvokeOutcome{DISP_E_TYPEMISMATCH, {}}; };
  EXPECT_EQ(view->Evaluate("try { window.external.SelectGamePath('x'); } catch (e) {} 'ok'"), "ok");
  endpoint.onCall = nullptr;
  EXPECT_EQ(view->Evaluate("window.external.IsExistPlugin('after'); 'ok'"), "ok");
  ASSERT_EQ(endpoint.calls.size(), 2u);
  EXPECT_EQ(endpoint.calls[1].arguments, std::vector<PageValue>{std::u16string(u"after")});
}

constexpr const char* kFunctions = R"JS(
  window.got = null;
  function Record() { window.got = JSON.stringify(Array.from(arguments)); }
  function Thrower() { throw new Error('boom'); }
  var NotAFunction = 5;
  window.log = [];
  function Inner(x) { log.push('inner ' + x); log.push('count ' + window.external.GetPluginCount()); }
)JS";

TEST_F(PageChannelTest, PageFunctionsGetTheirArgumentsInOrder) {
  auto view = Open(Page(kFunctions));
  EXPECT_EQ(Channel().CallPageFunction(view->PageId(), u"Record", {u"first", u"\u4e8c", u"", u"a\"b"}), S_OK);
  EXPECT_EQ(view->Evaluate("window.got"), R"(["first","二","","a\"b"])");
  EXPECT_EQ(Channel().CallPageFunction(view->PageId(), u"Record", {}), S_OK);
  EXPECT_EQ(view->Evaluate("window.got"), "[]");
}

TEST_F(PageChannelTest, PageFunctionFailuresHaveTheirHResults) {
  struct Case {
    std::u16string_view function;
    HRESULT expected;
  };
  const Case cases[] = {
      {u"Missing", DISP_E_UNKNOWNNAME},
      {u"NotAFunction", DISP_E_UNKNOWNNAME},
      {u"Thrower", DISP_E_EXCEPTION},
      {u"Record", S_OK},
  };
  auto view = Open(Page(kFunctions));
  for (const Case& c : cases) {
    SCOPED_TRACE(ToUtf8(c.function));
    EXPECT_EQ(Channel().CallPageFunction(view->PageId(), std::u16string(c.function), {u"x"}), c.expected);
  }
  EXPECT_EQ(Channel().CallPageFunction(0xFFFFFFF0u, u"Record", {}), E_FAIL) << "a page that never connected";
}

TEST_F(PageChannelTest, HandlerCallsBackIntoTheWaitingPage) {
  auto view = Open(Page(kFunctions));
  HRESULT inner = E_FAIL, thrower = S_OK;
  endpoint.onCall = [&](std::int32_t member, const std::vector<PageValue>&) -> InvokeOutcome {
    if (member == Id(u"GetPluginCount")) return {S_OK, std::int32_t{5}};
    inner = Channel().CallPageFunction(view->PageId(), u"Inner", {u"x"});
    // A page function that throws while the page waits must not disturb the wait.
    thrower = Channel().CallPageFunction(view->PageId(), u"Thrower", {});
    return {S_OK, std::int32_t{7}};
  };
  EXPECT_EQ(view->Evaluate("log.push('outer ' + window.external.UserLogin()); log.join(',')"), "inner x,count 5,outer 7");
  EXPECT_EQ(inner, S_OK);
  EXPECT_EQ(thrower, DISP_E_EXCEPTION);
}

TEST_F(PageChannelTest, IdlePageIsReachedAndMayCallBack) {
  auto view = Open(Page(kFunctions));
  endpoint.onCall = [](std::int32_t, const std::vector<PageValue>&) { return InvokeOutcome{S_OK, std::int32_t{9}}; };
  // Nothing runs the main loop here: the page's web process must serve the call
  // from its own loop.
  EXPECT_EQ(Channel().CallPageFunction(view->PageId(), u"Inner", {u"idle"}), S_OK);
  ASSERT_EQ(endpoint.calls.size(), 1u);
  EXPECT_EQ(endpoint.calls[0].memberId, Id(u"GetPluginCount"));
  EXPECT_EQ(view->Evaluate("log.join(',')"), "inner idle,count 9");
}

// A page's call opens a second view whose page calls native code, which calls a
// function of the first page while that page still waits in its call.
TEST_F(PageChannelTest, SecondPageCallsInWhileTheFirstWaits) {
  auto opener =
      Open(Page("function SetUserInfo(user, picture) {"
                "  window.info = user + '/' + picture + '/' + window.external.GetPluginCount(); }"));
  RecordingEndpoint dialogEndpoint;
  HRESULT delivered = E_FAIL;
  bool done = false;
  dialogEndpoint.onCall = [&](std::int32_t member, const std::vector<PageValue>& arguments) -> InvokeOutcome {
    if (member == Id(u"DeliverUserInfo") && arguments.size() == 2) {
      delivered = Channel().CallPageFunction(opener->PageId(), u"SetUserInfo",
                                             {std::get<std::u16string>(arguments[0]), std::get<std::u16string>(arguments[1])});
      done = true;
    }
    return {};
  };
  endpoint.onCall = [&](std::int32_t member, const std::vector<PageValue>&) -> InvokeOutcome {
    if (member == Id(u"GetPluginCount")) return {S_OK, std::int32_t{3}};
    auto dialog = std::make_unique<TestView>(*harness_, &dialogEndpoint);
    EXPECT_NE(dialog->PageId(), opener->PageId());
    dialog->Load(Page("window.external.DeliverUserInfo('ann', 'pic.png');"), harness_->UiPage("login.html"));
    EXPECT_TRUE(RunUntil([&] { return done; }));
    return {};
  };
  EXPECT_EQ(opener->Evaluate("window.external.UserLogin(); window.info"), "ann/pic.png/3");
  EXPECT_EQ(delivered, S_OK);
}

// The page is busy when the native call comes, then waits on the UI process for an
// alert, which only the UI's main loop answers: the native call must keep that
// loop running rather than block.
TEST_F(PageChannelTest, ANativeCallWaitsWithoutBlockingWebKitsOwnMessages) {
  auto view = Open(Page("function Ping() { window.pinged = true; }"));
  int alerts = 0;
  g_signal_connect(view->View(), "script-dialog", G_CALLBACK(+[](WebKitWebView*, WebKitScriptDialog*, gpointer data) -> gboolean {
                     ++*static_cast<int*>(data);
                     return TRUE;
                   }),
                   &alerts);
  struct Ping {
    PageChannel* channel;
    std::uint64_t page;
    HRESULT result = E_FAIL;
    bool done = false;
  } ping{&Channel(), view->PageId()};
  endpoint.onCall = [&](std::int32_t, const std::vector<PageValue>&) {
    // Sent once the page's script runs on past this call.
    g_idle_add(
        +[](gpointer data) -> gboolean {
          auto* p = static_cast<Ping*>(data);
          p->result = p->channel->CallPageFunction(p->page, u"Ping", {});
          p->done = true;
          return G_SOURCE_REMOVE;
        },
        &ping);
    return InvokeOutcome{};
  };
  EXPECT_EQ(view->Evaluate("window.external.CloseWindow();"
                           " const start = Date.now(); while (Date.now() - start < 300) {}"
                           " alert('busy'); 'done'"),
            "done");
  EXPECT_TRUE(RunUntil([&] { return ping.done; }));
  EXPECT_EQ(ping.result, S_OK);
  EXPECT_EQ(alerts, 1);
  EXPECT_EQ(view->Evaluate("String(window.pinged)"), "true");
}

// The page calls the program and, before the program has read that call, the
// program calls the page: the page's function calls the program in turn, and the
// reply to the first call comes while the second waits.
TEST_F(PageChannelTest, AReplyThatCrossesARequestReachesItsCall) {
  auto view = Open(Page("function Inner() { window.innerGot = window.external.GetPluginCount(); }"));
  endpoint.onCall = [](std::int32_t member, const std::vector<PageValue>&) {
    return InvokeOutcome{S_OK, std::int32_t{member == Id(u"GetPluginCount") ? 5 : 7}};
  };
  for (int round = 0; round < 5; ++round) {
    SCOPED_TRACE(round);
    endpoint.calls.clear();
    ASSERT_EQ(view->Evaluate("window.outerGot = window.innerGot = null;"
                             " setTimeout(() => { window.outerGot = window.external.CloseWindow(); }, 0); 'ok'"),
              "ok");
    // Without the main loop the program reads nothing meanwhile: the page's call
    // waits unread when the program's own goes out.
    g_usleep(300 * 1000);
    EXPECT_EQ(Channel().CallPageFunction(view->PageId(), u"Inner", {}), S_OK);
    EXPECT_EQ(view->Evaluate("window.outerGot + ' ' + window.innerGot"), "7 5");
    ASSERT_EQ(endpoint.calls.size(), 2u);
    EXPECT_EQ(endpoint.calls[0].memberId, Id(u"CloseWindow"));
    EXPECT_EQ(endpoint.calls[1].memberId, Id(u"GetPluginCount"));
  }
}

// Enter and Escape typed in the page go to the program, never to the page's own
// listeners; the page's script may still make such events of its own.
TEST_F(PageChannelTest, EnterAndEscapeTypedInThePageGoToTheProgram) {
  auto view = Open(Page("window.seen = []; addEventListener('keydown', (e) => seen.push(e.key), true);"));
  ASSERT_EQ(view->Evaluate("dispatchEvent(new KeyboardEvent('keydown', { key: 'Enter' })); 'ok'"), "ok");
  gtk_widget_grab_focus(GTK_WIDGET(view->View()));
  for (guint key : {GDK_KEY_Return, GDK_KEY_x, GDK_KEY_KP_Enter, GDK_KEY_Escape}) testing::SendKey(GTK_WIDGET(view->View()), key);
  ASSERT_TRUE(RunUntil([&] { return endpoint.keys.size() >= 3; }));
  EXPECT_EQ(endpoint.keys, (std::vector<std::u16string>{u"VK_RETURN", u"VK_RETURN", u"VK_ESCAPE"}));
  EXPECT_EQ(view->Evaluate("seen.join(',')"), "Enter,x");
}

TEST_F(PageChannelTest, VBArrayWrapsListResults) {
  auto view = Open(Page(""));
  endpoint.onCall = [](std::int32_t, const std::vector<PageValue>&) { return InvokeOutcome{S_OK, std::vector<std::u16string>{u"a", u"b", u"c"}}; };
  EXPECT_EQ(view->Evaluate(R"JS((() => {
      const v = new VBArray(window.external.GetExistPlugin());
      const threw = (f) => { try { f(); return false; } catch (e) { return e instanceof RangeError; } };
      return JSON.stringify([v.toArray(), v.getItem(1), v.lbound(), v.ubound(), v.ubound(1), v.dimensions(),
                             threw(() => v.getItem(3)), threw(() => v.getItem(-1)), threw(() => v.ubound(2))]);
    })())JS"),
            R"([["a","b","c"],"b",0,2,2,1,true,true,true])");
  endpoint.onCall = [](std::int32_t, const std::vector<PageValue>&) { return InvokeOutcome{S_OK, std::vector<std::u16string>{}}; };
  EXPECT_EQ(view->Evaluate("(() => { const v = new VBArray(window.external.GetExistPlugin());"
                           " return JSON.stringify([v.toArray(), v.lbound(), v.ubound()]); })()"),
            "[[],0,-1]");
}

TEST_F(PageChannelTest, LinkClicksAreRecordedByTheLinkWalk) {
  const std::string body = R"(
    <a id="secure" href="https://example.org/x"><span id="inSecure">t</span></a>
    <a id="local" href="other.html">local</a>
    <a id="plain" href="http://example.net/">p</a>
    <a id="mail" href="mailto:someone@http.example">m</a>
    <a id="bare">no address</a>
    <p id="outside">o</p>)";
  const std::string script = R"JS(
    // The parser never nests anchors, so the nested ones are built here.
    const outer = document.createElement('a');
    outer.href = 'https://outer.example/';
    for (const [id, href] of [['innerLocal', 'inner.html'], ['innerWeb', 'http://inner.example/']]) {
      const inner = document.createElement('a');
      inner.id = id;
      inner.href = href;
      inner.textContent = id;
      outer.appendChild(inner);
    }
    document.body.appendChild(outer);
    window.seenPrevented = [];
    window.addEventListener('click', (e) => { seenPrevented.push(e.defaultPrevented); e.preventDefault(); });
  )JS";
  struct Case {
    const char* id;
    const char* recorded;  // nullptr: nothing recorded
  };
  const Case cases[] = {
      {"inSecure", "https://example.org/x"},
      {"local", nullptr},
      {"plain", "http://example.net/"},
      {"mail", "mailto:someone@http.example"},
      {"bare", nullptr},
      {"outside", nullptr},
      {"innerLocal", "https://outer.example/"},
      {"innerWeb", "http://inner.example/"},
  };
  auto view = Open(Page(script, body));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    endpoint.links.clear();
    // The call after the click travels behind the recorded link on the same socket.
    ASSERT_EQ(view->Evaluate(std::string("document.getElementById('") + c.id + "').click(); window.external.CloseWindow(); 'ok'"), "ok");
    if (c.recorded) {
      EXPECT_EQ(endpoint.links, std::vector<std::u16string>{ToUtf16(c.recorded)});
    } else {
      EXPECT_TRUE(endpoint.links.empty());
    }
  }
  endpoint.links.clear();
  ASSERT_EQ(view->Evaluate("document.getElementById('plain').dispatchEvent(new MouseEvent('click', { bubbles: true }));"
                           " window.external.CloseWindow(); 'ok'"),
            "ok");
  EXPECT_EQ(endpoint.links, std::vector<std::u16string>{u"http://example.net/"});
  EXPECT_EQ(view->Evaluate("String(seenPrevented.length > 0 && seenPrevented.every((p) => !p))"), "true") << "clicks are never cancelled";
}

// The view opens the recorded link when WebKit asks it for a new window, so the
// link must be recorded before that request, which the same click makes.
TEST_F(PageChannelTest, AClickedLinkIsRecordedBeforeItsNewWindowIsAskedFor) {
  auto view = Open(Page("", "<a id=\"out\" target=\"_blank\" href=\"https://example.org/new\">new</a>"));
  webkit_settings_set_javascript_can_open_windows_automatically(webkit_web_view_get_settings(view->View()), TRUE);
  struct Seen {
    RecordingEndpoint* endpoint;
    std::vector<std::u16string> linksAtRequest;
    bool requested = false;
  } seen{&endpoint};
  g_signal_connect(view->View(), "create", G_CALLBACK(+[](WebKitWebView*, WebKitNavigationAction*, gpointer data) -> GtkWidget* {
                     auto* s = static_cast<Seen*>(data);
                     s->linksAtRequest = s->endpoint->links;
                     s->requested = true;
                     return nullptr;
                   }),
                   &seen);
  for (int click = 0; click < 5; ++click) {
    SCOPED_TRACE(click);
    endpoint.links.clear();
    seen.requested = false;
    ASSERT_EQ(view->Evaluate("document.getElementById('out').click(); 'ok'"), "ok");
    ASSERT_TRUE(RunUntil([&] { return seen.requested; }));
    EXPECT_EQ(seen.linksAtRequest, std::vector<std::u16string>{u"https://example.org/new"});
  }
}

TEST_F(PageChannelTest, OnlyPagesOfTheInstallationAndTheSiteGetTheBridge) {
  const std::string probe = Page(
      "window.reached = (() => { try { window.external.GetPluginCount(); return 'called'; }"
      " catch (e) { return 'refused'; } })();");
  struct Case {
    std::string address;
    bool bridged;
    bool programObject;  // window.wendrake: the installation's own pages alone
  };
  const Case cases[] = {
      {harness_->UiPage("main.html"), true, true},
      {std::string(PageHarness::kSiteOrigin) + "/news/index.html", true, false},
      {"https://example.org/", false, false},
      {"https://www.lumifold.com.example.org/", false, false},
      {"http://www.lumifold.com/", false, false},
      {PageHarness::FileUri(harness_->Root() + "/Other/page.html"), false, false},
      {PageHarness::FileUri(harness_->Root() + "/UIx/page.html"), false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    endpoint.calls.clear();
    auto view = Open(probe, c.address);
    EXPECT_EQ(view->Evaluate("typeof window.wendrake"), c.programObject ? "object" : "undefined");
    if (c.bridged) {
      EXPECT_EQ(view->Evaluate("typeof window.external + ' ' + typeof VBArray + ' ' + window.reached"), "object function called");
      EXPECT_EQ(endpoint.calls.size(), 1u);
    } else {
      EXPECT_EQ(view->Evaluate("typeof window.external + ' ' + typeof VBArray + ' ' + window.reached"), "undefined undefined refused");
      EXPECT_TRUE(endpoint.calls.empty());
    }
  }
}

// Navigating to another site may move the page to a new web process, which then
// connects again under the same page id.
TEST_F(PageChannelTest, NavigationKeepsTheBridgeOfTheView) {
  const std::string page = harness_->WriteUiPage("navigate.html", Page("function Ping() { window.pinged = true; }"));
  auto view = std::make_unique<TestView>(*harness_, &endpoint);
  endpoint.onCall = [](std::int32_t, const std::vector<PageValue>&) { return InvokeOutcome{S_OK, std::int32_t{1}}; };
  for (const std::string& address : {page, std::string(PageHarness::kOtherScheme) + "://elsewhere/", page}) {
    SCOPED_TRACE(address);
    ASSERT_TRUE(view->Navigate(address));
    const bool bridged = address == page;
    EXPECT_EQ(view->Evaluate("typeof window.external"), bridged ? "object" : "undefined");
    if (bridged) {
      EXPECT_EQ(view->Evaluate("String(window.external.GetPluginCount())"), "1");
      EXPECT_EQ(Channel().CallPageFunction(view->PageId(), u"Ping", {}), S_OK);
      EXPECT_EQ(view->Evaluate("String(window.pinged)"), "true");
    } else {
      EXPECT_EQ(Channel().CallPageFunction(view->PageId(), u"Ping", {}), DISP_E_UNKNOWNNAME) << "native code never reaches another site";
    }
  }
}

TEST_F(PageChannelTest, APageWhoseWebProcessEndedConnectsAgain) {
  const std::string page = harness_->WriteUiPage("again.html", Page(""));
  auto view = std::make_unique<TestView>(*harness_, &endpoint);
  ASSERT_TRUE(view->Navigate(page));
  webkit_web_view_terminate_web_process(view->View());
  EXPECT_TRUE(RunUntil([&] { return !Channel().IsConnected(view->PageId()); }));
  EXPECT_EQ(Channel().CallPageFunction(view->PageId(), u"Anything", {}), E_FAIL);
  ASSERT_TRUE(view->Navigate(page));
  EXPECT_EQ(view->Evaluate("window.external.CloseWindow(); 'ok'"), "ok");
  EXPECT_EQ(endpoint.calls.size(), 1u);
}

// A page that takes longer than the deadline fails its call, and answering late
// costs it nothing: its connection and its bridge stay.
TEST(PageCallDeadline, APageThatAnswersTooLateFailsTheCallAndStaysConnected) {
  PageHarness harness(std::chrono::milliseconds(1000));
  RecordingEndpoint endpoint;
  TestView view(harness, &endpoint);
  ASSERT_TRUE(view.Load(Page("function Slow(ms) { const end = Date.now() + Number(ms); while (Date.now() < end) {} window.slowDone = true; }"
                             " function Ping() { window.pinged = true; }"),
                        harness.UiPage("slow.html")));
  EXPECT_EQ(harness.Channel().CallPageFunction(view.PageId(), u"Slow", {u"3000"}), E_FAIL);
  ASSERT_EQ(view.Evaluate("String(window.slowDone)"), "true");
  EXPECT_TRUE(harness.Channel().IsConnected(view.PageId()));
  EXPECT_EQ(harness.Channel().CallPageFunction(view.PageId(), u"Ping", {}), S_OK);
  EXPECT_EQ(view.Evaluate("window.external.CloseWindow(); String(window.pinged)"), "true");
  EXPECT_EQ(endpoint.calls.size(), 1u);
}

// The program ends while it waits for a page whose script never returns.
TEST(PageCallDeadline, EndingTheWaitsEndsACallIntoAHungPageAndEveryLaterOne) {
  PageHarness harness(std::chrono::hours(1));
  RecordingEndpoint endpoint, otherEndpoint;
  TestView hung(harness, &endpoint), other(harness, &otherEndpoint);
  ASSERT_TRUE(hung.Load(Page("function Hang() { window.external.CloseWindow(); for (;;) {} }"), harness.UiPage("hung.html")));
  ASSERT_TRUE(other.Load(Page("function Ping() { window.pinged = true; }"), harness.UiPage("other.html")));
  // The page's last call before it hangs: the program begins to end.
  endpoint.onCall = [&](std::int32_t, const std::vector<PageValue>&) {
    g_idle_add(
        +[](gpointer channel) -> gboolean {
          static_cast<PageChannel*>(channel)->EndWaits();
          return G_SOURCE_REMOVE;
        },
        &harness.Channel());
    return InvokeOutcome{};
  };
  EXPECT_EQ(harness.Channel().CallPageFunction(hung.PageId(), u"Hang", {}), E_FAIL);
  EXPECT_EQ(endpoint.calls.size(), 1u);
  EXPECT_EQ(harness.Channel().CallPageFunction(other.PageId(), u"Ping", {}), E_FAIL);
  EXPECT_EQ(other.Evaluate("String(window.pinged)"), "undefined");
}

// window.wendrake calls its own member IDs through the same channel; its snapshot
// list arrives as objects, and it cannot be replaced or added to.
TEST_F(PageChannelTest, TheProgramObjectCallsItsOwnMembers) {
  endpoint.onCall = [](std::int32_t id, const std::vector<PageValue>&) -> InvokeOutcome {
    if (id == kProgramMemberBase + 1)
      return {S_OK, std::vector<std::u16string>{u"s2", u"Alpha", u"1700000000000", u"1", u"1719", u"2.0", u"s1", u"Beta", u"1600000000000", u"0", u"",
                                                u""}};
    if (id == kProgramMemberBase + 2) return {S_OK, std::int32_t{1}};
    return {DISP_E_MEMBERNOTFOUND, {}};
  };
  auto view = Open(Page(""));
  EXPECT_EQ(view->Evaluate("JSON.stringify(window.wendrake.GetSnapshots('alpha'))"),
            R"([{"id":"s2","folder":"Alpha","taken":1700000000000,"pid":"1719","version":"2.0"},)"
            R"({"id":"s1","folder":"Beta","taken":1600000000000,"pid":null,"version":null}])");
  EXPECT_EQ(view->Evaluate("String(window.wendrake.RestoreSnapshot('Alpha', 's2'))"), "1");
  EXPECT_EQ(view->Evaluate("window.wendrake = 1; window.wendrake.Extra = 2; delete window.wendrake.GetSnapshots;"
                           " typeof window.wendrake + ' ' + typeof window.wendrake.Extra + ' ' + typeof window.wendrake.GetSnapshots"),
            "object undefined function");
  EXPECT_EQ(view->Evaluate("(() => { try { return typeof window.external.GetSnapshots; } catch (e) { return String(e.number); } })()"),
            std::to_string(DISP_E_UNKNOWNNAME))
      << "window.external stays as it is";
  ASSERT_EQ(endpoint.calls.size(), 2u);
  EXPECT_EQ(endpoint.calls[0].memberId, kProgramMemberBase + 1);
  EXPECT_EQ(endpoint.calls[0].arguments, std::vector<PageValue>{std::u16string(u"alpha")});
  EXPECT_EQ(endpoint.calls[1].memberId, kProgramMemberBase + 2);
}

TEST_F(PageChannelTest, FramesOfOtherAddressesInAnAllowedPageGetNoBridge) {
  auto view = Open(Page("addEventListener('message', (e) => { window.frameSaw = e.data; });",
                        "<iframe srcdoc=\"<script>parent.postMessage('external: ' + typeof window.external, '*');</script>\"></iframe>"));
  std::string frameSaw;
  ASSERT_TRUE(RunUntil([&] { return (frameSaw = view->Evaluate("String(window.frameSaw)")) != "undefined"; }));
  EXPECT_EQ(frameSaw, "external: undefined");
  EXPECT_EQ(view->Evaluate("typeof window.external"), "object");
}

TEST(PageAccessRule, AllowsTheUiFolderAndTheSiteOnly) {
  const char* folder = "file:///srv/app/UI/";
  const char* site = "https://www.lumifold.com";
  struct Case {
    const char* address;
    bool allowed;
  };
  const Case cases[] = {
      {"file:///srv/app/UI/pages/sc/main.html", true},
      {"file:///srv/app/UI/pages/sc/main.html?x=1#top", true},
      {"file://localhost/srv/app/UI/a.html", true},
      {"file:///srv/app/UI/pages/../main.html", true},
      {"file:///srv/app/UI/../secret.html", false},
      {"file:///srv/app/UI/%2e%2e/secret.html", false},
      {"file:///srv/app/UI/pages/%2e%2e/%2e%2e/secret.html", false},
      {"file:///srv/app/UI%2f..%2fsecret.html", false},
      {"file:///srv/app/UIx/a.html", false},
      {"file:///srv/app/UI", false},
      {"file:///srv/app/UI/", false},
      {"file://otherhost/srv/app/UI/a.html", false},
      {"https://www.lumifold.com/", true},
      {"https://www.lumifold.com/news/a.html?x#y", true},
      {"https://WWW.LumiFold.com/a", true},
      {"https://www.lumifold.com:443/a", true},
      {"https://www.lumifold.com:8443/a", false},
      {"http://www.lumifold.com/", false},
      {"https://lumifold.com/", false},
      {"https://www.lumifold.com.evil.example/", false},
      {"https://evil.example/?https://www.lumifold.com", false},
      {"about:blank", false},
      {"about:srcdoc", false},
      {"data:text/html,file:///srv/app/UI/a.html", false},
      {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(wire::IsPageAllowed(c.address, folder, site), c.allowed) << c.address;
  EXPECT_FALSE(wire::IsPageAllowed("file:///srv/app/UI/a.html", "", "")) << "an empty rule allows nothing";
}

// A raw client of the channel's socket, standing in for a web process.
class RawClient {
 public:
  explicit RawClient(const std::string& path) : fd_(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    connected_ = fd_ >= 0 && ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  ~RawClient() { Close(); }
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;

  bool Connected() const { return connected_; }
  int Fd() const { return fd_; }
  bool Send(const wire::Message& message) { return wire::Send(fd_, message); }
  bool SendBytes(const std::string& bytes) { return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size()); }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  // Whether the other end has closed the connection (checked without blocking).
  bool DroppedByPeer() {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0) return false;
    char byte;
    return ::recv(fd_, &byte, 1, MSG_DONTWAIT) == 0;
  }

 private:
  int fd_;
  bool connected_ = false;
};

class PageChannelConnectionTest : public PageChannelTest {
 protected:
  // Sends a call and runs the main loop until its reply is back: by then every
  // message sent before it has been handled.
  bool RoundTrip(RawClient& client) {
    std::atomic<bool> done{false};
    bool replied = false;
    std::thread reader([&] {
      wire::Message reply;
      replied = wire::Receive(client.Fd(), reply, 10000) == wire::ReadStatus::Ok && std::holds_alternative<wire::CallReply>(reply);
      done = true;
    });
    const bool sent = client.Send(wire::Call{1, Id(u"CloseWindow"), {}});
    RunUntil([&] { return done.load(); }, 15);
    reader.join();
    return sent && replied;
  }

  void SetUp() override {
    GVariant* data = g_variant_ref_sink(Channel().ExtensionInitializationData());
    ASSERT_TRUE(wire::ReadSettings(data, settings));
    g_variant_unref(data);
  }
  wire::ExtensionSettings settings;
};

TEST_F(PageChannelConnectionTest, InitializationDataCarriesTheMethodTable) {
  ASSERT_EQ(settings.methodNames.size(), ScriptBridge::Table().size());
  EXPECT_EQ(settings.methodNames[Id(u"GetExistPlugin") - 1], "GetExistPlugin");
  EXPECT_EQ(settings.programMethodNames, (std::vector<std::string>{"GetSnapshots", "RestoreSnapshot"}));
  EXPECT_EQ(settings.programMemberBase, kProgramMemberBase);
  EXPECT_GE(settings.secret.size(), 32u);
  EXPECT_EQ(settings.uiFolderUri, PageHarness::FileUri(harness_->Root() + "/UI/"));
  EXPECT_EQ(settings.siteOrigin, PageHarness::kSiteOrigin);
  // The socket's folder is the user's alone.
  GStatBuf folder;
  ASSERT_EQ(g_stat(std::string(settings.socketPath.substr(0, settings.socketPath.rfind('/'))).c_str(), &folder), 0);
  EXPECT_EQ(folder.st_mode & 0777, 0700u);
}

TEST_F(PageChannelConnectionTest, ConnectionsWithoutTheSecretAreDropped) {
  const std::uint64_t page = 0x5EC2E7;
  struct Case {
    const char* what;
    std::string bytes;
  };
  const Case cases[] = {
      {"wrong secret", wire::EncodeFrame(wire::Hello{"not-the-secret", page})},
      {"secret with a byte changed", wire::EncodeFrame(wire::Hello{settings.secret.substr(1) + "x", page})},
      {"empty secret", wire::EncodeFrame(wire::Hello{"", page})},
      {"a call before any hello", wire::EncodeFrame(wire::Call{1, 1, {}})},
      {"no frame at all", std::string("\x05\0\0\0hello", 9)},
      {"an oversized frame", std::string("\xff\xff\xff\x7f", 4)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RawClient client(settings.socketPath);
    ASSERT_TRUE(client.Connected());
    ASSERT_TRUE(client.SendBytes(c.bytes));
    EXPECT_TRUE(RunUntil([&] { return client.DroppedByPeer(); }, 10));
    EXPECT_FALSE(Channel().IsConnected(page));
  }
  // The same hello with the secret is accepted, so the refusals above are real.
  RawClient client(settings.socketPath);
  ASSERT_TRUE(client.Send(wire::Hello{settings.secret, page}));
  EXPECT_TRUE(RunUntil([&] { return Channel().IsConnected(page); }));
}

TEST_F(PageChannelConnectionTest, ANewConnectionOfAPageReplacesTheOldOne) {
  const std::uint64_t page = 0xA11CE;
  auto first = std::make_unique<RawClient>(settings.socketPath);
  ASSERT_TRUE(first->Send(wire::Hello{settings.secret, page}));
  ASSERT_TRUE(RunUntil([&] { return Channel().IsConnected(page); }));
  RawClient second(settings.socketPath);
  ASSERT_TRUE(second.Send(wire::Hello{settings.secret, page}));
  ASSERT_TRUE(RoundTrip(second));
  // The old connection closing must not forget the page's new one.
  first->Close();
  ASSERT_TRUE(RoundTrip(second));
  EXPECT_TRUE(Channel().IsConnected(page));

  // Native calls go to the new connection.
  std::thread page_process([&] {
    wire::Message request;
    if (wire::Receive(second.Fd(), request, 10000) == wire::ReadStatus::Ok)
      if (auto* call = std::get_if<wire::PageFunction>(&request)) wire::Send(second.Fd(), wire::PageFunctionReply{call->id, DISP_E_OVERFLOW});
  });
  EXPECT_EQ(Channel().CallPageFunction(page, u"Anything", {}), DISP_E_OVERFLOW);
  page_process.join();

  second.Close();
  EXPECT_TRUE(RunUntil([&] { return !Channel().IsConnected(page); }));
}

// Messages that arrive in one piece are read ahead together; each must still be
// served although the socket no longer looks readable.
TEST_F(PageChannelConnectionTest, MessagesArrivingTogetherAreAllServed) {
  const std::uint64_t page = 0x70637E;
  RecordingEndpoint pageEndpoint;
  Channel().Attach(page, &pageEndpoint);
  RawClient client(settings.socketPath);
  std::atomic<int> replies{0};
  std::thread reader([&] {
    for (int i = 0; i < 3; ++i) {
      wire::Message reply;
      if (wire::Receive(client.Fd(), reply, 10000) == wire::ReadStatus::Ok && std::holds_alternative<wire::CallReply>(reply)) ++replies;
    }
  });
  ASSERT_TRUE(client.SendBytes(wire::EncodeFrame(wire::Hello{settings.secret, page}) + wire::EncodeFrame(wire::Call{1, 1, {}}) +
                               wire::EncodeFrame(wire::LinkClicked{7, u"https://a.example/"}) + wire::EncodeFrame(wire::Call{2, 2, {}})));
  EXPECT_TRUE(RunUntil([&] { return replies == 3; }));
  reader.join();
  EXPECT_EQ(pageEndpoint.calls.size(), 2u);
  EXPECT_EQ(pageEndpoint.links, std::vector<std::u16string>{u"https://a.example/"});

  // The reply to a native call and the page's next call in one piece.
  std::atomic<bool> answered{false};
  std::thread page_process([&] {
    wire::Message request;
    if (wire::Receive(client.Fd(), request, 10000) != wire::ReadStatus::Ok) return;
    const auto* call = std::get_if<wire::PageFunction>(&request);
    if (!call) return;
    client.SendBytes(wire::EncodeFrame(wire::PageFunctionReply{call->id, S_OK}) + wire::EncodeFrame(wire::Call{3, 3, {}}));
    wire::Message reply;
    answered = wire::Receive(client.Fd(), reply, 10000) == wire::ReadStatus::Ok && std::holds_alternative<wire::CallReply>(reply);
  });
  EXPECT_EQ(Channel().CallPageFunction(page, u"Anything", {}), S_OK);
  EXPECT_TRUE(RunUntil([&] { return answered.load(); }, 12));
  page_process.join();
  EXPECT_EQ(pageEndpoint.calls.size(), 3u);
  Channel().Detach(page);
}

TEST_F(PageChannelConnectionTest, APageThatGoesAwayDuringANativeCallAnswersFailure) {
  const std::uint64_t page = 0xD1E5;
  RawClient client(settings.socketPath);
  ASSERT_TRUE(client.Send(wire::Hello{settings.secret, page}));
  ASSERT_TRUE(RunUntil([&] { return Channel().IsConnected(page); }));
  std::thread page_process([&] {
    wire::Message request;
    wire::Receive(client.Fd(), request, 10000);
    client.Close();
  });
  EXPECT_EQ(Channel().CallPageFunction(page, u"Anything", {u"x"}), E_FAIL);
  page_process.join();
  EXPECT_FALSE(Channel().IsConnected(page));
}

}  // namespace
}  // namespace wendrake

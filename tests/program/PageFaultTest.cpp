// Pages that fail the program: a page script that never returns, a message box
// nobody closes, a web process that dies while the program waits for its page.
// None may keep the program from going on, or from ending with the add-ons off.
#include <X11/keysym.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <fstream>

#include "ProgramFixture.h"
#include "harness/SyntheticUserInput.h"
#include "harness/TestPages.h"
#include "harness/Wait.h"
#include "harness/WebProcesses.h"

namespace wendrake::programtest {
namespace {

// The error page of these tests: InitMsgBox never returns for the code "hang" and
// throws for "throw"; any other code it logs, as the usual test page does.
std::string FaultyErrorPage() {
  return TestPage("error", R"(function InitMsgBox(code) {
  if (code === "throw") throw new Error("no message for you");
  if (code === "hang") TestHang("InitMsgBox:hanging");
  TestLog("InitMsgBox:" + code);
})");
}

class PageFault : public ProgramTest {
 protected:
  void SetUp() override { std::ofstream(program.Page("error")) << FaultyErrorPage(); }

  // How long the program waits for a page.
  void SetPageCallDeadline(const std::string& milliseconds) { program.SetEnvironment("WENDRAKE_PAGE_CALL_DEADLINE_MS", milliseconds); }

  // The plain message box a failed page call shows: captioned with the program's
  // name, and decorated, unlike the page dialogs.
  std::optional<TopLevel> WaitForPlainBox(const ProgramProcess& run) const {
    std::optional<TopLevel> box;
    RunUntil([&] {
      for (const auto& window : Windows(run))
        if (window.mapped && window.title == "wendrake" && !window.undecorated) box = window;
      return box.has_value();
    });
    return box;
  }
};

TEST_F(PageFault, AHungPageFailsItsCallAfterTheDeadlineAndTheProgramGoesOn) {
  SetPageCallDeadline("2000");
  auto& run = Start();
  ASSERT_TRUE(LogIn(run)) << Describe(Windows(run));
  pages.Send("main", "window.external.ShowMsgBox('hang');");
  ASSERT_TRUE(pages.WaitFor("InitMsgBox:hanging"));
  const auto hung = WaitForShown(run, kBoxWidth, kBoxHeight);
  ASSERT_TRUE(hung) << Describe(Windows(run));

  // The call fails as a page function that cannot be called does: a plain message,
  // then the message box page raises its own code.
  const auto failure = WaitForPlainBox(run);
  ASSERT_TRUE(failure) << "the call never failed:" << Describe(Windows(run));
  AskToClose(failure->id);
  ASSERT_TRUE(pages.WaitFor("InitMsgBox:1007")) << "nothing went on after the failed call";
  pages.Send("error", "window.external.EndDialogBox();");

  // The hung page's dialog closes as any does, and the main page it waited on works.
  ASSERT_TRUE(RunUntil([&] {
    const auto boxes = Windows(run);
    return std::none_of(boxes.begin(), boxes.end(),
                        [&](const TopLevel& w) { return w.mapped && w.width == kBoxWidth && w.height == kBoxHeight && w.id != hung->id; });
  })) << Describe(Windows(run));
  AskToClose(hung->id);
  pages.Send("main", "TestLog('main:answers');");
  ASSERT_TRUE(pages.WaitFor("main:answers")) << "the main page no longer answers";

  run.Signal(SIGTERM);
  ASSERT_TRUE(run.WaitForEnd()) << "the program did not end";
  EXPECT_EQ(DescribeStatus(run.WaitStatus()), "exited with 0");
  EXPECT_TRUE(program.CataloguedAddOnsAre(false));
}

struct Wait {
  const char* name;
  const char* code;  // the main page asks for a message box with this code
  const char* shownLog;  // the error page logs this once it waits, or nullptr
  bool plainBox;  // the program waits in the plain message box
};

void PrintTo(const Wait& value, std::ostream* out) { *out << value.name; }

class TerminationWhileWaiting : public PageFault, public ::testing::WithParamInterface<Wait> {};

TEST_P(TerminationWhileWaiting, EndsTheProgramWithTheAddOnsOff) {
  // Long enough that only the signal can end the wait.
  SetPageCallDeadline("600000");
  const Wait& wait = GetParam();
  auto& run = Start();
  ASSERT_TRUE(LogIn(run)) << Describe(Windows(run));
  pages.Send("main", std::string("window.external.ShowMsgBox('") + wait.code + "');");
  if (wait.shownLog) {
    ASSERT_TRUE(pages.WaitFor(wait.shownLog));
  }
  ASSERT_TRUE(WaitForShown(run, kBoxWidth, kBoxHeight)) << Describe(Windows(run));
  if (wait.plainBox) {
    ASSERT_TRUE(WaitForPlainBox(run)) << Describe(Windows(run));
  }

  run.Signal(SIGTERM);
  ASSERT_TRUE(run.WaitForEnd()) << "the program did not end";
  EXPECT_EQ(DescribeStatus(run.WaitStatus()), "exited with 0");
  EXPECT_TRUE(program.CataloguedAddOnsAre(false));
}

INSTANTIATE_TEST_SUITE_P(Waits, TerminationWhileWaiting,
                         ::testing::Values(Wait{"CallIntoAHungPage", "hang", "InitMsgBox:hanging", false},
                                           Wait{"PlainMessageBox", "throw", nullptr, true}, Wait{"PageDialog", "1010", "InitMsgBox:1010", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PageFault, AWebProcessKilledWhileACallWaitsComesBackAndTheLoginWorks) {
  auto& run = Start();
  const auto login = WaitForLoginDialog(run);
  ASSERT_TRUE(login) << Describe(Windows(run));
  pages.Send("login", "window.KeyPressed = function () { TestHang('login:hanging'); };");
  ASSERT_TRUE(pages.WaitFor("login:run 1"));
  // Enter in the login page calls its KeyPressed; the keyboard goes to the window
  // under the pointer.
  MovePointer(login->x + login->width / 2, login->y + login->height / 2);
  PressKey(XK_Return);
  ASSERT_TRUE(pages.WaitFor("login:hanging"));
  const auto busy = BusyWebProcessOf(run.Pid());
  ASSERT_TRUE(busy) << "no web process spins in the login page's script";
  ASSERT_EQ(::kill(*busy, SIGKILL), 0);

  const auto failure = WaitForPlainBox(run);
  ASSERT_TRUE(failure) << "the waiting call never failed:" << Describe(Windows(run));
  AskToClose(failure->id);
  ASSERT_TRUE(pages.WaitFor("login:ready", 2)) << "the login page did not come back";
  ASSERT_TRUE(LogIn(run, "erin")) << Describe(Windows(run));
  const auto delivered = pages.After("SetUserInfo:");
  ASSERT_TRUE(delivered) << "SetUserInfo was not called";
  EXPECT_TRUE(delivered->starts_with("erin|")) << *delivered;
  EXPECT_TRUE(program.CataloguedAddOnsAre(true));
  EXPECT_TRUE(run.Running());
}

}  // namespace
}  // namespace wendrake::programtest

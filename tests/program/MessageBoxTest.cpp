// The message box: error.html in a page dialog centred over the window whose page
// asked for it, given its message code once loaded.
#include <gtest/gtest.h>

#include "ProgramFixture.h"
#include "harness/Wait.h"

namespace wendrake::programtest {
namespace {

using MessageBox = ProgramTest;

bool NoBoxShown(const std::vector<TopLevel>& windows) {
  for (const auto& window : windows)
    if (window.mapped && window.width == kBoxWidth && window.height == kBoxHeight) return false;
  return true;
}

TEST_F(MessageBox, FromTheLoginDialogStandsCentredOverIt) {
  auto& run = Start();
  const auto login = WaitForLoginDialog(run);
  ASSERT_TRUE(login) << Describe(Windows(run));
  pages.Send("login", "window.external.ShowMsgBox('1010');");
  ASSERT_TRUE(pages.WaitFor("InitMsgBox:1010"));
  const auto box = WaitForShown(run, kBoxWidth, kBoxHeight);
  ASSERT_TRUE(box) << Describe(Windows(run));
  Screenshot("error");

  EXPECT_EQ(box->x, login->x + (kLoginWidth - kBoxWidth) / 2);
  EXPECT_EQ(box->y, login->y + (kLoginHeight - kBoxHeight) / 2);
  EXPECT_TRUE(box->undecorated);
  const auto stack = Windows(run);
  EXPECT_GT(StackPosition(stack, box->id), StackPosition(stack, login->id)) << Describe(stack);
  const auto main = MainWindow(run);
  EXPECT_TRUE(!main || !main->mapped) << Describe(*main);

  // Ending the box leaves the login dialog working.
  pages.Send("error", "window.external.EndDialogBox();");
  ASSERT_TRUE(RunUntil([&] { return NoBoxShown(Windows(run)); })) << Describe(Windows(run));
  ASSERT_TRUE(LogIn(run)) << Describe(Windows(run));
}

struct Message {
  const char* code;
  const char* end;  // how the error page ends its dialog
};

TEST_F(MessageBox, InitMsgBoxReceivesTheCode) {
  auto& run = Start();
  const auto main = LogIn(run);
  ASSERT_TRUE(main) << Describe(Windows(run));
  const Message messages[] = {
      {"1010", "window.external.EndDialogBox();"},  // one of the program's own codes
      {"42", "window.external.CloseWindow();"},  // a page's own
      {"\xE9\x94\x99\xE8\xAF\xAF 7", "window.external.EndDialogBox();"},
  };
  int boxes = 0;
  for (const auto& message : messages) {
    SCOPED_TRACE(message.code);
    pages.Send("main", "window.external.ShowMsgBox(" + Js(message.code) + ");");
    ASSERT_TRUE(pages.WaitFor("error:ready", ++boxes));
    ASSERT_TRUE(pages.WaitFor("InitMsgBox:" + std::string(message.code))) << "InitMsgBox was not called with the code";
    const auto box = WaitForShown(run, kBoxWidth, kBoxHeight);
    ASSERT_TRUE(box) << Describe(Windows(run));
    EXPECT_EQ(box->x, main->x + (kMainWidth - kBoxWidth) / 2);
    EXPECT_EQ(box->y, main->y + (kMainHeight - kBoxHeight) / 2);
    pages.Send("error", message.end);
    ASSERT_TRUE(RunUntil([&] { return NoBoxShown(Windows(run)); })) << Describe(Windows(run));
    EXPECT_EQ(pages.Count("InitMsgBox:" + std::string(message.code)), 1);
  }
  EXPECT_TRUE(run.Running());
}

}  // namespace
}  // namespace wendrake::programtest

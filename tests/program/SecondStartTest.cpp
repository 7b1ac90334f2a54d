// A second start while the program runs: it brings the running instance's
// windows forward (without a window manager: raises them) and ends.
#include <gtest/gtest.h>

#include "ProgramFixture.h"
#include "harness/Wait.h"

namespace wendrake::programtest {
namespace {

enum class Showing { LoginDialog, MainWindow, MessageBoxOverMainWindow };

struct Situation {
  const char* name;
  Showing showing;
};

void PrintTo(const Situation& value, std::ostream* out) { *out << value.name; }

class SecondStart : public ProgramTest, public ::testing::WithParamInterface<Situation> {};

TEST_P(SecondStart, RaisesTheRunningInstanceAndEnds) {
  auto& first = Start();
  const auto login = WaitForLoginDialog(first);
  ASSERT_TRUE(login) << Describe(Windows(first));
  // The windows that must end up above everything else, lowest first.
  std::vector<Window> raised = {login->id};
  if (GetParam().showing != Showing::LoginDialog) {
    const auto main = LogIn(first);
    ASSERT_TRUE(main) << Describe(Windows(first));
    raised = {main->id};
  }
  if (GetParam().showing == Showing::MessageBoxOverMainWindow) {
    pages.Send("main", "window.external.ShowMsgBox('2001');");
    ASSERT_TRUE(pages.WaitFor("InitMsgBox:2001"));
    const auto box = WaitForShown(first, kBoxWidth, kBoxHeight);
    ASSERT_TRUE(box) << Describe(Windows(first));
    raised.push_back(box->id);
  }
  // Bringing a window forward raises it, then gives it the focus: once it has
  // the focus, no raise of it can come after the cover.
  ASSERT_TRUE(RunUntil([&] { return FocusedTopLevel() == raised.back(); })) << "the focus stayed on 0x" << std::hex << FocusedTopLevel();
  CoveringWindow cover;
  const auto covered = TopLevels();
  ASSERT_GT(StackPosition(covered, cover.Id()), StackPosition(covered, raised.back()));

  auto& second = Start();
  ASSERT_TRUE(second.WaitForEnd(10)) << "the second start did not end";
  EXPECT_EQ(DescribeStatus(second.WaitStatus()), "exited with 0");
  const bool inOrder = RunUntil([&] {
    const auto stack = TopLevels();
    int below = StackPosition(stack, cover.Id());
    for (Window window : raised) {
      const int position = StackPosition(stack, window);
      if (position <= below) return false;
      below = position;
    }
    return true;
  });
  EXPECT_TRUE(inOrder) << "not raised above the covering window in order:" << Describe(TopLevels());
  EXPECT_TRUE(first.Running());
  if (GetParam().showing == Showing::LoginDialog) {
    const auto main = MainWindow(first);
    EXPECT_TRUE(!main || !main->mapped) << Describe(*main);
  }
}

INSTANTIATE_TEST_SUITE_P(Situations, SecondStart,
                         ::testing::Values(Situation{"LoginDialog", Showing::LoginDialog}, Situation{"MainWindow", Showing::MainWindow},
                                           Situation{"MessageBoxOverMainWindow", Showing::MessageBoxOverMainWindow}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace wendrake::programtest

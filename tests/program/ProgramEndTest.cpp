// How the program ends: ExitInstance kills it where it stands, with the add-ons
// left on; a termination signal ends it as the tray's exit command does; a
// missing main page ends it after a message, with nothing switched.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>

#include "ProgramFixture.h"
#include "harness/Wait.h"
#include "support/PrivateXvfb.h"

namespace wendrake::programtest {
namespace {

using ProgramEnd = ProgramTest;

TEST_F(ProgramEnd, ExitInstanceFromTheMainPageLeavesTheAddOnsOn) {
  auto& run = Start();
  ASSERT_TRUE(LogIn(run)) << Describe(Windows(run));
  ASSERT_TRUE(program.CataloguedAddOnsAre(true));
  pages.Send("main", "window.external.ExitInstance();");
  ASSERT_TRUE(run.WaitForEnd()) << "the program did not end";
  EXPECT_EQ(DescribeStatus(run.WaitStatus()), "killed by signal 9");
  EXPECT_TRUE(program.CataloguedAddOnsAre(true));
}

struct Termination {
  const char* name;
  int signal;
};

void PrintTo(const Termination& value, std::ostream* out) { *out << value.name; }

class TerminationSignal : public ProgramTest, public ::testing::WithParamInterface<Termination> {};

TEST_P(TerminationSignal, SwitchesTheAddOnsOffAndEndsTheProgram) {
  auto& run = Start();
  ASSERT_TRUE(LogIn(run)) << Describe(Windows(run));
  ASSERT_TRUE(program.CataloguedAddOnsAre(true));
  run.Signal(GetParam().signal);
  ASSERT_TRUE(run.WaitForEnd()) << "the program did not end";
  EXPECT_EQ(DescribeStatus(run.WaitStatus()), "exited with 0");
  EXPECT_TRUE(program.CataloguedAddOnsAre(false));
}

INSTANTIATE_TEST_SUITE_P(Signals, TerminationSignal,
                         ::testing::Values(Termination{"SIGTERM", SIGTERM}, Termination{"SIGINT", SIGINT}, Termination{"SIGHUP", SIGHUP}),
                         [](const auto& info) { return std::string(info.param.name); });

// The desktop session ends and its display goes with it: nothing of the window
// can run any more, yet the add-ons are switched off before the program ends.
TEST_F(ProgramEnd, LosingTheDisplaySwitchesTheAddOnsOff) {
  // A display of the program's own, which this test can take away.
  const std::string testDisplay = std::getenv("DISPLAY");
  const pid_t server = testing::StartPrivateXvfb();
  ASSERT_GT(server, 0);
  auto& run = Start();
  ::setenv("DISPLAY", testDisplay.c_str(), 1);
  ASSERT_TRUE(pages.WaitFor("login:ready"));
  pages.Send("login", "window.external.DeliverUserInfo('alice', '');");
  ASSERT_TRUE(RunUntil([&] { return program.CataloguedAddOnsAre(true); })) << "no login";
  testing::StopPrivateXvfb(server);
  ASSERT_TRUE(run.WaitForEnd()) << "the program did not end";
  EXPECT_EQ(DescribeStatus(run.WaitStatus()), "exited with 0");
  EXPECT_TRUE(program.CataloguedAddOnsAre(false));
}

TEST_F(ProgramEnd, MissingMainPageEndsTheProgramAfterItsMessage) {
  std::filesystem::remove(program.Page("main"));
  // One add-on on, the others off: whichever way it switched, it shows.
  std::filesystem::rename(program.Root() / "game" / "Interface" / "AddOns" / kCataloguedAddOns[0] / "RiftAddon.txt",
                          program.Root() / "game" / "Interface" / "AddOns" / kCataloguedAddOns[0] / "RiftAddon.toc");
  const auto manifests = program.Manifests();
  auto& run = Start();
  std::optional<TopLevel> message;
  ASSERT_TRUE(RunUntil([&] {
    for (const auto& window : Windows(run))
      if (window.mapped && window.title == "wendrake") message = window;
    return message.has_value();
  })) << "no message:"
      << Describe(Windows(run));
  for (const auto& window : Windows(run)) EXPECT_TRUE(!window.mapped || window.id == message->id) << "shown: " << Describe(window);

  SaveScreen();

  AskToClose(message->id);
  ASSERT_TRUE(run.WaitForEnd()) << "the program did not end after its message";
  RecordProperty("ended", DescribeStatus(run.WaitStatus()));
  EXPECT_EQ(program.Manifests(), manifests);
  EXPECT_EQ(pages.Count("login:ready"), 0);
}

}  // namespace
}  // namespace wendrake::programtest

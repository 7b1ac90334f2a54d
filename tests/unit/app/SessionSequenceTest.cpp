// The login before the main window shows and the switch-off when it ends, on a
// real catalogue and game folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/SessionSequence.h"
#include "commands/AccountCommands.h"
#include "support/CataloguedAddOns.h"
#include "support/HandlerHost.h"

namespace wendrake {
namespace {

namespace fs = std::filesystem;

class SessionSequence : public ::testing::Test, protected testing::CataloguedAddOns {
 protected:
  void SetUp() override { UserLoggedIn = false; }

  testing::HandlerHost host{installation.Install()};
};

// What the user does with each login dialog, in turn: close it, or log in.
constexpr int kClosed = 2;
constexpr int kLoggedIn = 1;

TEST_F(SessionSequence, LogsInUntilALoginIsDeliveredThenSwitchesOn) {
  const struct {
    const char* name;
    std::vector<int> dialogs;  // the user's answer to each dialog shown
    bool loggedIn;
    size_t dialogsShown;
  } cases[] = {
      {"first dialog", {kLoggedIn}, true, 1},
      {"closed twice first", {kClosed, kClosed, kLoggedIn}, true, 3},
      {"no dialog can be shown", {kDialogNotShown}, false, 1},
      {"closed, then the program ends", {kClosed, kDialogNotShown}, false, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Manifest("Alpha", "RiftAddon.txt");
    Manifest("Beta", "RiftAddon.txt");
    size_t shown = 0;
    host.duringDialog = [&](const PageDialogRequest& request) {
      EXPECT_EQ(fs::path(request.address).filename(), "login.html");
      // Still logged out while the dialog stands: the add-ons must not be on yet.
      EXPECT_TRUE(Has("Alpha", "RiftAddon.txt"));
      const int answer = c.dialogs.at(shown++);
      if (answer == kLoggedIn) UserLoggedIn = true;
      return answer;
    };
    EXPECT_EQ(RunLoginSequence(host.View()), c.loggedIn);
    EXPECT_EQ(shown, c.dialogsShown);
    for (const char* folder : {"Alpha", "Beta"}) {
      EXPECT_EQ(Has(folder, "RiftAddon.toc"), c.loggedIn) << folder;
      EXPECT_EQ(Has(folder, "RiftAddon.txt"), !c.loggedIn) << folder;
    }
    fs::remove_all(addOns);
  }
}

TEST_F(SessionSequence, LogoffSwitchesOff) {
  Manifest("Alpha", "RiftAddon.toc");
  Manifest("Beta", "RiftAddon.toc");
  RunLogoffSequence(installation.Install());
  EXPECT_TRUE(Has("Alpha", "RiftAddon.txt"));
  EXPECT_TRUE(Has("Beta", "RiftAddon.txt"));
}

// A folder holding both manifest names cannot be switched: the pass ends there,
// and the program goes on.
TEST_F(SessionSequence, AFailedRenameNeverEndsTheProgram) {
  Manifest("Alpha", "RiftAddon.toc");
  Manifest("Alpha", "RiftAddon.txt");
  Manifest("Beta", "RiftAddon.txt");
  host.duringDialog = [](const PageDialogRequest&) {
    UserLoggedIn = true;
    return kLoggedIn;
  };
  EXPECT_TRUE(RunLoginSequence(host.View()));
  EXPECT_TRUE(Has("Beta", "RiftAddon.txt"));

  Manifest("Beta", "RiftAddon.toc");
  fs::remove(addOns / "Beta" / "RiftAddon.txt");
  EXPECT_NO_THROW(RunLogoffSequence(installation.Install()));
  EXPECT_TRUE(Has("Alpha", "RiftAddon.toc"));
  EXPECT_TRUE(Has("Alpha", "RiftAddon.txt"));
}

}  // namespace
}  // namespace wendrake

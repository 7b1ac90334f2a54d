#include "app/SessionSequence.h"

#include <cstdio>
#include <filesystem>

#include "addons/AddOnSwitching.h"
#include "commands/AccountCommands.h"

namespace wendrake {
namespace {

// The pass stops at the add-on that failed; the rest keep their state until the
// next login or logoff, and the user is told on the terminal at least.
template <typename Switch>
void SwitchAddOns(Switch switchAddOns, const Installation& installation, const char* what) {
  try {
    switchAddOns(installation);
  } catch (const std::filesystem::filesystem_error& error) {
    std::fprintf(stderr, "wendrake: switching add-ons %s stopped: %s\n", what, error.what());
  }
}

}  // namespace

bool RunLoginSequence(const PageHost& mainPage) {
  UserLogin(mainPage);
  if (!UserLoggedIn) return false;
  SwitchAddOns(LoginToChangePlugName, mainPage.Install(), "on");
  return true;
}

void RunLogoffSequence(const Installation& installation) { SwitchAddOns(LogofToChangePlugName, installation, "off"); }

}  // namespace wendrake

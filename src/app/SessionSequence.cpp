#include "app/SessionSequence.h"

#include <glib.h>

#include <filesystem>

#include "addons/AddOnSwitching.h"
#include "commands/AccountCommands.h"

namespace wendrake {
namespace {

// The pass stops at the add-on that failed; the rest keep their state until the
// next login or logoff, and the log says why.
template <typename Switch>
void SwitchAddOns(Switch switchAddOns, const Installation& installation, const char* what) {
  try {
    switchAddOns(installation);
  } catch (const std::filesystem::filesystem_error& error) {
    g_warning("switching add-ons %s stopped: %s", what, error.what());
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

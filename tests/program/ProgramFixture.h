#pragma once
// A test of the installed program on the test's private display: one installation
// per test, the program's windows read from the X server, the test pages' log and
// scripts through the hive.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "harness/DeclaredWorkArea.h"
#include "harness/InstalledProgram.h"
#include "harness/PageConversation.h"
#include "harness/ProgramProcess.h"
#include "harness/TopLevelWindows.h"

namespace wendrake::programtest {

inline constexpr int kMainWidth = 924;
inline constexpr int kMainHeight = 704;
inline constexpr int kLoginWidth = 367;
inline constexpr int kLoginHeight = 273;
inline constexpr int kBoxWidth = 387;
inline constexpr int kBoxHeight = 197;

// Margins of different sizes on each side, as panels leave them.
inline constexpr WorkArea kWorkArea{100, 50, 1280, 1000};
// Where the main window belongs: centred in the work area.
inline constexpr int kMainX = (kWorkArea.left + kWorkArea.right) / 2 - kMainWidth / 2;
inline constexpr int kMainY = (kWorkArea.top + kWorkArea.bottom) / 2 - kMainHeight / 2;

class ProgramTest : public ::testing::Test {
 protected:
  void TearDown() override;

  ProgramProcess& Start();

  // The program's windows that a window manager would manage, lowest first.
  std::vector<TopLevel> Windows(const ProgramProcess& run) const { return ManagedTopLevelsOf(run.Pid()); }
  std::optional<TopLevel> MainWindow(const ProgramProcess& run) const;
  // Waits until the program shows exactly one window of this size.
  std::optional<TopLevel> WaitForShown(const ProgramProcess& run, int width, int height, double seconds = 20) const;
  // Waits until the `nth` login page of this test is ready and its dialog shown.
  std::optional<TopLevel> WaitForLoginDialog(const ProgramProcess& run, int nth = 1) const;
  // Lets the login page deliver a user, then waits for the main window to show.
  std::optional<TopLevel> LogIn(const ProgramProcess& run, const std::string& user = "alice", const std::string& image = "");

  // Saves the screen once the page has drawn, as test-artifacts/screenshots/<test>.png.
  void Screenshot(const std::string& page);
  // Saves the screen as it is now, as <test><suffix>.png.
  void SaveScreen(const std::string& suffix = "");

  // A JavaScript string literal holding `text`.
  static std::string Js(const std::string& text);

  DeclaredWorkArea workArea{kWorkArea};
  InstalledProgram program;
  PageConversation pages{program.Install()};
  std::vector<std::unique_ptr<ProgramProcess>> runs;

 private:
  int paints_ = 0;
};

}  // namespace wendrake::programtest

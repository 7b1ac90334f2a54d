#include "ProgramFixture.h"

#include <algorithm>
#include <iostream>

#include "harness/Screenshot.h"
#include "harness/Wait.h"

namespace wendrake::programtest {

void ProgramTest::TearDown() {
  if (!HasFailure()) return;
  std::string windows;
  for (const auto& window : TopLevels())
    if (!window.overrideRedirect || window.mapped) windows += "\n  " + Describe(window);
  std::cerr << "Page log:\n" << pages.Text() << "Windows on the display:" << windows << "\n" << program.Output() << std::flush;
}

ProgramProcess& ProgramTest::Start() {
  runs.push_back(program.Start());
  return *runs.back();
}

std::optional<TopLevel> ProgramTest::MainWindow(const ProgramProcess& run) const { return OneOfSize(Windows(run), kMainWidth, kMainHeight); }

std::optional<TopLevel> ProgramTest::WaitForShown(const ProgramProcess& run, int width, int height, double seconds) const {
  std::optional<TopLevel> shown;
  RunUntil(
      [&] {
        std::vector<TopLevel> mapped;
        for (const auto& window : Windows(run))
          if (window.mapped) mapped.push_back(window);
        shown = OneOfSize(mapped, width, height);
        return shown.has_value();
      },
      seconds);
  return shown;
}

std::optional<TopLevel> ProgramTest::WaitForLoginDialog(const ProgramProcess& run, int nth) const {
  if (!pages.WaitFor("login:ready", nth)) return std::nullopt;
  return WaitForShown(run, kLoginWidth, kLoginHeight);
}

std::optional<TopLevel> ProgramTest::LogIn(const ProgramProcess& run, const std::string& user, const std::string& image) {
  if (!WaitForLoginDialog(run, std::max(1, pages.Count("login:ready")))) return std::nullopt;
  pages.Send("login", "window.external.DeliverUserInfo(" + Js(user) + ", " + Js(image) + ");");
  return WaitForShown(run, kMainWidth, kMainHeight);
}

void ProgramTest::Screenshot(const std::string& page) {
  // Two frames after the request, the page's window shows what it drew.
  const std::string painted = page + ":painted " + std::to_string(++paints_);
  pages.Send(page, "requestAnimationFrame(function () { requestAnimationFrame(function () { TestLog(" + Js(painted) + "); }); });");
  EXPECT_TRUE(pages.WaitFor(painted)) << "the " << page << " page did not draw";
  SaveScreen();
}

void ProgramTest::SaveScreen(const std::string& suffix) {
  const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(test->test_suite_name()) + "." + test->name() + suffix;
  std::replace(name.begin(), name.end(), '/', '_');
  EXPECT_TRUE(SaveScreenshot(std::filesystem::path(WENDRAKE_SCREENSHOT_DIR) / (name + ".png")));
}

std::string ProgramTest::Js(const std::string& text) {
  std::string literal = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') literal += '\\';
    literal += c;
  }
  return literal + "\"";
}

}  // namespace wendrake::programtest

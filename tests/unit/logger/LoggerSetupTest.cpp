#include <gtest/gtest.h>

#include <glib.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "logger/LoggerSetup.h"
#include "support/TempInstallation.h"

namespace wendrake {
namespace {

class RecordingLogger final : public ILogger {
 public:
  explicit RecordingLogger(int startResult) : startResult_(startResult) {}

  void Write(int level, std::string_view message) override { calls.push_back("Write(" + std::to_string(level) + "," + std::string(message) + ")"); }
  int Start(int destination, int threshold, int append) override {
    calls.push_back("Start(" + std::to_string(destination) + "," + std::to_string(threshold) + "," + std::to_string(append) + ")");
    return startResult_;
  }
  void Stop() override { calls.push_back("Stop()"); }
  void SetLevelLabel(int level, std::string_view label) override {
    calls.push_back("SetLevelLabel(" + std::to_string(level) + "," + std::string(label) + ")");
  }
  void SetTag(std::string_view tag) override { calls.push_back("SetTag(" + std::string(tag) + ")"); }
  void SetFileCheck(std::string_view mode) override { calls.push_back("SetFileCheck(" + std::string(mode) + ")"); }
  void SetOverflow(std::string_view action) override { calls.push_back("SetOverflow(" + std::string(action) + ")"); }

  std::vector<std::string> calls;

 private:
  int startResult_;
};

TEST(LoggerSetup, SettingsFollowOnlyASuccessfulStartAndStopAlwaysComes) {
  const std::vector<std::string> settings = {"Start(0,3,1)", "SetLevelLabel(3,W)", "SetFileCheck(check)", "SetTag(fattor)", "SetOverflow(clear)"};
  struct Case {
    int startResult;
    bool started;
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      {1, true, settings},
      {-1, true, settings},
      {7, true, settings},
      {0, false, {"Start(0,3,1)"}},
  };
  for (const auto& c : cases) {
    const auto recorder = std::make_shared<RecordingLogger>(c.startResult);
    const CStaticLogger logger(recorder);
    EXPECT_EQ(StartLogging(logger), c.started) << c.startResult;
    EXPECT_EQ(recorder->calls, c.calls) << c.startResult;
    StopLogging(logger);
    ASSERT_FALSE(recorder->calls.empty());
    EXPECT_EQ(recorder->calls.back(), "Stop()") << c.startResult;
    EXPECT_EQ(recorder->calls.size(), c.calls.size() + 1) << c.startResult;
  }
}

TEST(LoggerSetup, DiagnosticsGoToTheLogWhileItRuns) {
  const auto recorder = std::make_shared<RecordingLogger>(1);
  const CStaticLogger logger(recorder);
  g_warning("before the start");
  ASSERT_TRUE(StartLogging(logger));
  const size_t settings = recorder->calls.size();
  g_warning("a warning %d", 1);
  g_critical("a critical");
  g_message("a message");
  g_log("Gtk", G_LOG_LEVEL_WARNING, "from a library");
  StopLogging(logger);
  g_warning("after the stop");
  EXPECT_EQ(std::vector<std::string>(recorder->calls.begin() + static_cast<long>(settings), recorder->calls.end()),
            (std::vector<std::string>{"Write(3,wendrake: a warning 1)", "Write(3,wendrake: a critical)", "Write(3,Gtk: from a library)", "Stop()"}));
}

TEST(LoggerSetup, TheProgramsLogRecordsTheRun) {
  testing::TempInstallation tree;
  const auto file = tree.Root() / "state/wendrake.log";
  const CStaticLogger logger(CStaticLogger::kLogFile, file);
  ASSERT_TRUE(StartLogging(logger));
  StopLogging(logger);
  std::ifstream in(file);
  std::vector<std::string> endings;
  for (std::string line; std::getline(in, line);) endings.push_back(line.substr(line.rfind(']') + 2));
  EXPECT_EQ(endings, (std::vector<std::string>{"started", "fattor stopped"}));
}

}  // namespace
}  // namespace wendrake

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "core/Installation.h"
#include "logger/FileLogger.h"
#include "logger/StaticLogger.h"
#include "support/TempInstallation.h"

namespace wendrake {
namespace {

namespace fs = std::filesystem;

// The lines of a log with their timestamp and "<program>[<pid>] " checked and cut.
std::vector<std::string> LogLines(const fs::path& file) {
  std::ifstream in(file);
  std::vector<std::string> lines;
  const std::regex shape(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d{4} (\S+)\[(\d+)\] (.*))");
  for (std::string line; std::getline(in, line);) {
    std::smatch parts;
    if (!std::regex_match(line, parts, shape) || parts[1] != ApplicationName() || parts[2] != std::to_string(::getpid())) {
      lines.push_back("malformed: " + line);
      continue;
    }
    lines.push_back(parts[3]);
  }
  return lines;
}

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    value ? ::setenv(name, value, 1) : ::unsetenv(name);
  }
  ~ScopedEnv() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(FileLogger, WritesOnlyBetweenStartAndStop) {
  struct Case {
    const char* name;
    std::function<void(ILogger&)> calls;
    std::vector<std::string> lines;  // empty: no file at all
  };
  const Case cases[] = {
      {"settings and messages alone",
       [](ILogger& log) {
         log.SetTag("t");
         log.SetLevelLabel(3, "W");
         log.SetFileCheck("check");
         log.SetOverflow("clear");
         log.Write(0, "unseen");
         log.Stop();
       },
       {}},
      {"a start and a stop", [](ILogger& log) { log.Start(0, 3, 1), log.Stop(); }, {"started", "stopped"}},
      {"repeated start and stop", [](ILogger& log) { log.Start(0, 3, 1), log.Start(0, 3, 1), log.Stop(), log.Stop(); }, {"started", "stopped"}},
      {"messages around a run",
       [](ILogger& log) {
         log.Write(0, "before");
         log.Start(0, 3, 1);
         log.Write(3, "kept");
         log.Write(4, "above the threshold");
         log.Stop();
         log.Write(0, "after");
       },
       {"started", "3 kept", "stopped"}},
      {"an unknown destination", [](ILogger& log) { log.Start(1, 3, 1), log.Write(0, "unseen"), log.Stop(); }, {}},
  };
  for (const auto& c : cases) {
    testing::TempInstallation tree;
    const fs::path file = tree.Root() / "state/wendrake/wendrake.log";
    {
      FileLogger log(file);
      c.calls(log);
    }
    if (c.lines.empty()) {
      EXPECT_FALSE(fs::exists(tree.Root() / "state")) << c.name << ": not even a folder";
    } else {
      EXPECT_EQ(LogLines(file), c.lines) << c.name;
    }
  }
}

TEST(FileLogger, StartSaysWhetherTheLogOpened) {
  testing::TempInstallation tree;
  tree.WriteFile("occupied", "a file where a folder should be");
  struct Case {
    const char* name;
    CStaticLogger logger;
    int destination;
    int started;
  };
  const Case cases[] = {
      {"a fresh log", CStaticLogger(CStaticLogger::kLogFile, tree.Root() / "fresh/a.log"), 0, 1},
      {"its folder blocked by a file", CStaticLogger(CStaticLogger::kLogFile, tree.Root() / "occupied/a.log"), 0, 0},
      {"the log is a folder", CStaticLogger(CStaticLogger::kLogFile, tree.Root() / "bin"), 0, 0},
      {"an unknown destination", CStaticLogger(CStaticLogger::kLogFile, tree.Root() / "other/a.log"), 1, 0},
      {"the silent kind", CStaticLogger(CStaticLogger::kSilent, tree.Root() / "silent/a.log"), 0, 0},
      {"no file", CStaticLogger(CStaticLogger::kLogFile, fs::path()), 0, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.logger->Start(c.destination, 3, 1), c.started) << c.name;
    c.logger->Stop();
  }
  EXPECT_FALSE(fs::exists(tree.Root() / "other"));
  EXPECT_FALSE(fs::exists(tree.Root() / "silent"));
  EXPECT_EQ(LogLines(tree.Root() / "fresh/a.log"), (std::vector<std::string>{"started", "stopped"}));
}

TEST(FileLogger, MakesPrivateFoldersAndFile) {
  testing::TempInstallation tree;
  FileLogger log(tree.Root() / "a/b/wendrake.log");
  ASSERT_EQ(log.Start(0, 3, 1), 1);
  for (const char* folder : {"a", "a/b"}) EXPECT_EQ(fs::status(tree.Root() / folder).permissions(), fs::perms::owner_all) << folder;
  EXPECT_EQ(fs::status(tree.Root() / "a/b/wendrake.log").permissions(), fs::perms::owner_read | fs::perms::owner_write);
}

TEST(FileLogger, AppendsAcrossRunsAndEmptiesWhenAskedNotTo) {
  testing::TempInstallation tree;
  const fs::path file = tree.Root() / "wendrake.log";
  const auto run = [&](int append) {
    FileLogger log(file);
    log.Start(0, 3, append);
    log.Stop();
  };
  run(1);
  run(1);
  EXPECT_EQ(LogLines(file), (std::vector<std::string>{"started", "stopped", "started", "stopped"}));
  run(0);
  EXPECT_EQ(LogLines(file), (std::vector<std::string>{"started", "stopped"}));
}

TEST(FileLogger, LinesCarryTagAndLevelLabel) {
  testing::TempInstallation tree;
  const fs::path file = tree.Root() / "wendrake.log";
  FileLogger log(file);
  log.Start(0, 3, 1);
  log.SetTag("fattor");
  log.SetLevelLabel(3, "W");
  log.Write(3, "labelled");
  log.Write(2, "by number");
  log.Write(1, "two\nlines\rin one");
  log.Stop();
  EXPECT_EQ(LogLines(file),
            (std::vector<std::string>{"started", "fattor W labelled", "fattor 2 by number", "fattor 1 two lines in one", "fattor stopped"}));
}

TEST(FileLogger, FileCheckFollowsARotatedLog) {
  struct Case {
    const char* mode;
    std::vector<std::string> current;
    std::vector<std::string> rotated;
  };
  const Case cases[] = {
      {"check", {"stopped"}, {"started"}},
      {"none", {}, {"started", "stopped"}},
      {"", {}, {"started", "stopped"}},
  };
  for (const auto& c : cases) {
    testing::TempInstallation tree;
    const fs::path file = tree.Root() / "wendrake.log";
    FileLogger log(file);
    log.Start(0, 3, 1);
    log.SetFileCheck(c.mode);
    fs::rename(file, tree.Root() / "wendrake.log.1");
    log.Stop();
    EXPECT_EQ(LogLines(file), c.current) << c.mode;
    EXPECT_EQ(LogLines(tree.Root() / "wendrake.log.1"), c.rotated) << c.mode;
  }
}

TEST(FileLogger, OverflowClearsOnlyWhenAsked) {
  struct Case {
    const char* action;
    bool cleared;
  };
  for (const auto& c : {Case{"clear", true}, Case{"keep", false}}) {
    testing::TempInstallation tree;
    const fs::path file = tree.WriteFile("wendrake.log", std::string(ILogger::kOverflowBytes, 'x') + "\n");
    FileLogger log(file);
    log.Start(0, 3, 1);
    log.SetOverflow(c.action);
    log.Stop();
    const auto lines = LogLines(file);
    if (c.cleared) {
      EXPECT_EQ(lines, std::vector<std::string>{"stopped"});
    } else {
      ASSERT_EQ(lines.size(), 3u);
      EXPECT_EQ(lines[2], "stopped");
    }
  }
  testing::TempInstallation tree;
  const fs::path file = tree.WriteFile("wendrake.log", std::string(ILogger::kOverflowBytes - 200, 'x') + "\n");
  FileLogger log(file);
  log.Start(0, 3, 1);
  log.SetOverflow("clear");
  log.Stop();
  EXPECT_EQ(LogLines(file).size(), 3u) << "a log within the limit is kept";
}

TEST(DefaultLogFile, LiesInTheUsersStateFolder) {
  struct Case {
    const char* state;
    const char* home;
    const char* expected;
  };
  const Case cases[] = {
      {"/var/lib/someone/state", "/home/u", "/var/lib/someone/state/wendrake/wendrake.log"},
      {nullptr, "/home/u", "/home/u/.local/state/wendrake/wendrake.log"},
      {"", "/home/u", "/home/u/.local/state/wendrake/wendrake.log"},
      {"relative/state", "/home/u", "/home/u/.local/state/wendrake/wendrake.log"},
  };
  for (const auto& c : cases) {
    ScopedEnv state("XDG_STATE_HOME", c.state);
    ScopedEnv home("HOME", c.home);
    EXPECT_EQ(DefaultLogFile(), fs::path(c.expected)) << (c.state ? c.state : "(unset)");
  }
}

TEST(CStaticLogger, TheProgramsKindLogsToTheStateFolder) {
  testing::TempInstallation tree;
  ScopedEnv state("XDG_STATE_HOME", (tree.Root() / "state").c_str());
  CStaticLogger logger(CStaticLogger::kLogFile);
  ASSERT_NE(logger->Start(0, 3, 1), 0);
  logger->Stop();
  EXPECT_EQ(LogLines(tree.Root() / "state/wendrake/wendrake.log"), (std::vector<std::string>{"started", "stopped"}));
}

}  // namespace
}  // namespace wendrake

#include <gtest/gtest.h>

#include <fcntl.h>
#include <glib-unix.h>
#include <glib.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/SingleInstance.h"
#include "support/TempInstallation.h"

namespace wendrake {
namespace {

namespace fs = std::filesystem;

void WriteAll(int fd, const std::string& text) {
  for (size_t done = 0; done < text.size();) {
    const ssize_t wrote = ::write(fd, text.data() + done, text.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return;
    done += static_cast<size_t>(wrote);
  }
}

// One line without its newline; nullopt at the end of the stream.
std::optional<std::string> ReadLine(int fd) {
  std::string line;
  for (char c;;) {
    const ssize_t got = ::read(fd, &c, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return line.empty() ? std::nullopt : std::optional(line);
    if (c == '\n') return line;
    line.push_back(c);
  }
}

struct Pipe {
  Pipe() { EXPECT_EQ(::pipe2(fds, O_CLOEXEC), 0); }
  ~Pipe() {
    CloseRead();
    CloseWrite();
  }
  void CloseRead() { Close(fds[0]); }
  void CloseWrite() { Close(fds[1]); }
  static void Close(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
  int fds[2] = {-1, -1};
};

// The first instance, in a process of its own: it reports "ready" (or "taken" when
// it could not get the guard), serves its main loop, takes '1' and '0' on its
// command pipe to set and clear its main window (reporting "window 1" / "window 0")
// and reports each bring-forward it receives as "forward[ <token>]".
class InstanceProcess {
 public:
  InstanceProcess(const std::string& name, const fs::path& folder) {
    pid_ = ::fork();
    if (pid_ == 0) {
      reports_.CloseRead();
      commands_.CloseWrite();
      Serve(name, folder);
    }
    reports_.CloseWrite();
    commands_.CloseRead();
  }
  ~InstanceProcess() { Kill(); }

  std::optional<std::string> NextReport() { return ReadLine(reports_.fds[0]); }
  void Command(char command) { WriteAll(commands_.fds[1], std::string(1, command)); }
  // SIGKILL: nothing of the guard runs, as in a crash.
  void Kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  // After Kill: every report not yet read.
  std::vector<std::string> RemainingReports() {
    std::vector<std::string> lines;
    while (auto line = NextReport()) lines.push_back(*line);
    return lines;
  }

 private:
  [[noreturn]] void Serve(const std::string& name, const fs::path& folder) {
    GMainContext* context = g_main_context_new();
    g_main_context_push_thread_default(context);
    const int reports = reports_.fds[1];
    auto guard = SingleInstanceGuard::Acquire(name, folder);
    if (!guard) {
      WriteAll(reports, "taken\n");
      ::_exit(0);
    }
    guard->OnBringForward([reports](const std::string& token) { WriteAll(reports, token.empty() ? "forward\n" : "forward " + token + "\n"); });
    struct Commands {
      SingleInstanceGuard* guard;
      int reports;
    } commands{&*guard, reports};
    GSource* source = g_unix_fd_source_new(commands_.fds[0], static_cast<GIOCondition>(G_IO_IN | G_IO_HUP));
    g_source_set_callback(source, G_SOURCE_FUNC(+[](gint fd, GIOCondition, gpointer data) -> gboolean {
                            auto* commands = static_cast<Commands*>(data);
                            char c;
                            if (::read(fd, &c, 1) != 1) ::_exit(0);
                            commands->guard->SetMainWindowExists(c == '1');
                            WriteAll(commands->reports, std::string("window ") + c + "\n");
                            return G_SOURCE_CONTINUE;
                          }),
                          &commands, nullptr);
    g_source_attach(source, context);
    WriteAll(reports, "ready\n");
    for (;;) g_main_context_iteration(context, TRUE);
  }

  pid_t pid_ = -1;
  Pipe reports_;
  Pipe commands_;
};

// This process's own main loop, as the guard's owner runs it.
class OwnContext {
 public:
  OwnContext() : context_(g_main_context_new()) { g_main_context_push_thread_default(context_); }
  ~OwnContext() {
    g_main_context_pop_thread_default(context_);
    g_main_context_unref(context_);
  }
  GMainContext* get() const { return context_; }

 private:
  GMainContext* context_;
};

// Asks from a child process while this one serves its loop, since the answer
// comes from that loop.
bool AskFromAnotherProcess(const std::string& name, const fs::path& folder, const std::string& token, const OwnContext& context) {
  Pipe result;
  const pid_t pid = ::fork();
  if (pid == 0) {
    result.CloseRead();
    WriteAll(result.fds[1], AskRunningInstanceToComeForward(name, folder, token) ? "1" : "0");
    ::_exit(0);
  }
  result.CloseWrite();
  std::optional<char> answer;
  GSource* source = g_unix_fd_source_new(result.fds[0], static_cast<GIOCondition>(G_IO_IN | G_IO_HUP));
  g_source_set_callback(source, G_SOURCE_FUNC(+[](gint fd, GIOCondition, gpointer data) -> gboolean {
                          char c = '?';
                          if (::read(fd, &c, 1) != 1) c = '?';
                          *static_cast<std::optional<char>*>(data) = c;
                          return G_SOURCE_REMOVE;
                        }),
                        &answer, nullptr);
  g_source_attach(source, context.get());
  g_source_unref(source);
  while (!answer) g_main_context_iteration(context.get(), TRUE);
  ::waitpid(pid, nullptr, 0);
  return *answer == '1';
}

TEST(SingleInstanceGuard, HeldUntilTheHolderDiesEvenByAKill) {
  testing::TempInstallation tree;
  const fs::path folder = tree.Root() / "run";
  InstanceProcess first("wendrake", folder);
  ASSERT_EQ(first.NextReport(), "ready");
  EXPECT_FALSE(SingleInstanceGuard::Acquire("wendrake", folder).has_value());
  InstanceProcess second("wendrake", folder);
  EXPECT_EQ(second.NextReport(), "taken");

  first.Kill();
  ASSERT_TRUE(fs::exists(folder / "wendrake.socket")) << "the killed instance left its socket";
  EXPECT_FALSE(AskRunningInstanceToComeForward("wendrake", folder)) << "nobody answers on a dead socket";

  OwnContext context;
  auto next = SingleInstanceGuard::Acquire("wendrake", folder);
  ASSERT_TRUE(next.has_value());
  ASSERT_TRUE(next->Listening()) << "the dead socket is replaced";
  std::vector<std::string> tokens;
  next->OnBringForward([&](const std::string& token) { tokens.push_back(token); });
  next->SetMainWindowExists(true);
  EXPECT_TRUE(AskFromAnotherProcess("wendrake", folder, "wendrake-123_TIME456", context));
  EXPECT_EQ(tokens, std::vector<std::string>{"wendrake-123_TIME456"});
}

TEST(SingleInstanceGuard, ReleasingTheGuardLetsTheNextStartIn) {
  testing::TempInstallation tree;
  const fs::path folder = tree.Root() / "run";
  OwnContext context;
  {
    auto guard = SingleInstanceGuard::Acquire("wendrake", folder);
    ASSERT_TRUE(guard.has_value());
    auto moved = std::move(guard);
    EXPECT_FALSE(SingleInstanceGuard::Acquire("wendrake", folder).has_value()) << "a moved guard still holds";
  }
  EXPECT_FALSE(fs::exists(folder / "wendrake.socket"));
  InstanceProcess next("wendrake", folder);
  EXPECT_EQ(next.NextReport(), "ready");
}

TEST(SingleInstanceGuard, BringForwardIsHonouredOnlyWhileTheMainWindowExists) {
  testing::TempInstallation tree;
  const fs::path folder = tree.Root() / "run";
  InstanceProcess first("wendrake", folder);
  ASSERT_EQ(first.NextReport(), "ready");
  EXPECT_FALSE(AskRunningInstanceToComeForward("wendrake", folder, "early")) << "still in its own start-up";

  first.Command('1');
  ASSERT_EQ(first.NextReport(), "window 1");
  EXPECT_TRUE(AskRunningInstanceToComeForward("wendrake", folder, "startup-id_TIME42"));
  EXPECT_EQ(first.NextReport(), "forward startup-id_TIME42");
  EXPECT_TRUE(AskRunningInstanceToComeForward("wendrake", folder));
  EXPECT_EQ(first.NextReport(), "forward");
  // A token that would break the request line is left out, the request stays.
  EXPECT_TRUE(AskRunningInstanceToComeForward("wendrake", folder, "two words\nbring-forward"));
  EXPECT_EQ(first.NextReport(), "forward");

  first.Command('0');
  ASSERT_EQ(first.NextReport(), "window 0");
  EXPECT_FALSE(AskRunningInstanceToComeForward("wendrake", folder, "late")) << "its window is gone";

  first.Kill();
  EXPECT_EQ(first.RemainingReports(), std::vector<std::string>{}) << "ignored requests never reach the handler";
}

TEST(SingleInstanceGuard, OtherNamesAreOtherInstanceFamilies) {
  testing::TempInstallation tree;
  const fs::path folder = tree.Root() / "run";
  InstanceProcess first("wendrake", folder);
  ASSERT_EQ(first.NextReport(), "ready");
  first.Command('1');
  ASSERT_EQ(first.NextReport(), "window 1");
  struct Case {
    const char* name;
    bool sameFamily;
  };
  const Case cases[] = {{"wendrake", true}, {"wendrake-copy", false}, {"Wendrake", false}, {"wendrake.lock", false}, {"wendrak", false}};
  OwnContext context;
  for (const auto& c : cases) {
    EXPECT_EQ(AskRunningInstanceToComeForward(c.name, folder), c.sameFamily) << c.name;
    if (c.sameFamily) {
      EXPECT_EQ(first.NextReport(), "forward") << c.name;
    }
    EXPECT_EQ(SingleInstanceGuard::Acquire(c.name, folder).has_value(), !c.sameFamily) << c.name;
  }
  first.Kill();
  EXPECT_EQ(first.RemainingReports(), std::vector<std::string>{}) << "no other name reached it";
}

TEST(SingleInstanceGuard, OfStartsAtTheSameMomentExactlyOneWins) {
  testing::TempInstallation tree;
  const fs::path folder = tree.Root() / "run";
  constexpr int kRounds = 10;
  constexpr int kStarters = 8;
  for (int round = 0; round < kRounds; ++round) {
    Pipe gate, results, hold;
    std::vector<pid_t> starters;
    for (int i = 0; i < kStarters; ++i) {
      const pid_t pid = ::fork();
      if (pid == 0) {
        gate.CloseWrite();
        results.CloseRead();
        hold.CloseWrite();
        char c;
        while (::read(gate.fds[0], &c, 1) < 0 && errno == EINTR) {
        }
        const auto guard = SingleInstanceGuard::Acquire("wendrake", folder);
        WriteAll(results.fds[1], guard ? "won\n" : "lost\n");
        // The winner holds on until all have tried.
        if (guard)
          while (::read(hold.fds[0], &c, 1) < 0 && errno == EINTR) {
          }
        ::_exit(0);
      }
      starters.push_back(pid);
    }
    results.CloseWrite();
    gate.CloseWrite();
    int winners = 0;
    for (int i = 0; i < kStarters; ++i) {
      const auto line = ReadLine(results.fds[0]);
      ASSERT_TRUE(line.has_value());
      winners += *line == "won";
    }
    EXPECT_EQ(winners, 1) << "round " << round;
    hold.CloseWrite();
    for (pid_t pid : starters) ::waitpid(pid, nullptr, 0);
  }
}

TEST(SingleInstanceGuard, LocksOnlyInAPrivateFolder) {
  struct Case {
    const char* name;
    std::optional<fs::perms> mode;  // nullopt: the folder is missing
    uid_t owner;
    bool acquired;
  };
  const uid_t me = ::geteuid();
  const Case cases[] = {
      {"missing, made private", std::nullopt, me, true},
      {"private", fs::perms::owner_all, me, true},
      {"readable by others", fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec,
       me, true},
      {"writable by the group", fs::perms::owner_all | fs::perms::group_all, me, false},
      {"writable by all", fs::perms::all, me, false},
      {"sticky and writable by all, as /tmp", fs::perms::all | fs::perms::sticky_bit, me, false},
      {"another user's", fs::perms::owner_all, me + 4242, false},
  };
  for (const auto& c : cases) {
    testing::TempInstallation tree;
    const fs::path folder = tree.Root() / "run/instances";
    if (c.mode) {
      fs::create_directories(folder);
      fs::permissions(folder, *c.mode);
      ASSERT_EQ(::chown(folder.c_str(), c.owner, static_cast<gid_t>(-1)), 0);
    }
    OwnContext context;
    EXPECT_EQ(SingleInstanceGuard::Acquire("wendrake", folder).has_value(), c.acquired) << c.name;
    if (!c.mode) {
      EXPECT_EQ(fs::status(folder).permissions(), fs::perms::owner_all) << c.name;
    }
  }
}

TEST(SingleInstanceGuard, ANameTooLongForASocketStillGuards) {
  testing::TempInstallation tree;
  const fs::path folder = tree.Root() / "run";
  const std::string name(120, 'w');
  OwnContext context;
  auto guard = SingleInstanceGuard::Acquire(name, folder);
  ASSERT_TRUE(guard.has_value());
  EXPECT_FALSE(guard->Listening());
  EXPECT_FALSE(SingleInstanceGuard::Acquire(name, folder).has_value());
  EXPECT_FALSE(AskRunningInstanceToComeForward(name, folder));
}

TEST(DefaultInstanceFolder, IsTheRuntimeFolderOrAPrivateOneInTmp) {
  testing::TempInstallation tree;
  const fs::path fallback = "/tmp/wendrake-" + std::to_string(::geteuid());
  struct Case {
    std::optional<std::string> runtime;
    fs::path expected;
  };
  const Case cases[] = {
      {tree.Root().string(), tree.Root()},
      {std::nullopt, fallback},
      {"", fallback},
      {"relative/run", fallback},
      {(tree.Root() / "missing").string(), fallback},
  };
  const char* saved = std::getenv("XDG_RUNTIME_DIR");
  const std::optional<std::string> old = saved ? std::optional<std::string>(saved) : std::nullopt;
  for (const auto& c : cases) {
    c.runtime ? ::setenv("XDG_RUNTIME_DIR", c.runtime->c_str(), 1) : ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(DefaultInstanceFolder(), c.expected) << c.runtime.value_or("(unset)");
  }
  old ? ::setenv("XDG_RUNTIME_DIR", old->c_str(), 1) : ::unsetenv("XDG_RUNTIME_DIR");
}

}  // namespace
}  // namespace wendrake

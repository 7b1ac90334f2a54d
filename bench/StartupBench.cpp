// From starting wendrake to its login page loaded, beside a minimal WebKitGTK
// program showing one local page, alternately, 7 of each; and the memory of each
// (proportional set size of the program and its web processes) at that moment,
// with the main page and the login dialog open. Needs a display; starts its own
// Xvfb when none is set.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/PrivateXvfb.h"
#include "support/ProcessRun.h"
#include "support/TempInstallation.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kPairs = 7;

std::string ReadText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& environment) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    std::vector<char*> args, env;
    for (const auto& word : argv) args.push_back(const_cast<char*>(word.c_str()));
    for (const auto& entry : environment) env.push_back(const_cast<char*>(entry.c_str()));
    args.push_back(nullptr);
    env.push_back(nullptr);
    ::setpgid(0, 0);
    ::execve(args[0], args.data(), env.data());
    ::_exit(127);
  }
  return pid;
}

void End(pid_t pid) {
  ::kill(pid, SIGTERM);
  for (int i = 0; i < 500; ++i) {
    if (::waitpid(pid, nullptr, WNOHANG) == pid) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (i == 499) {
      ::kill(-pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
  }
  ::kill(-pid, SIGKILL);
}

// Kilobytes of proportional set size of the process and everything below it.
long TreePss(pid_t root) {
  std::set<pid_t> tree{root};
  for (bool grew = true; grew;) {
    grew = false;
    for (const auto& entry : fs::directory_iterator("/proc")) {
      const std::string name = entry.path().filename();
      if (name.find_first_not_of("0123456789") != std::string::npos) continue;
      const std::string text = ReadText(entry.path() / "stat");
      const auto close = text.rfind(')');
      if (close == std::string::npos) continue;
      std::istringstream rest(text.substr(close + 2));
      char state;
      pid_t parent = 0;
      rest >> state >> parent;
      const pid_t pid = std::stoi(name);
      if (tree.contains(parent) && tree.insert(pid).second) grew = true;
    }
  }
  long total = 0;
  for (const pid_t pid : tree) {
    std::istringstream rollup(ReadText("/proc/" + std::to_string(pid) + "/smaps_rollup"));
    for (std::string line; std::getline(rollup, line);)
      if (line.rfind("Pss:", 0) == 0) total += std::atol(line.c_str() + 4);
  }
  return total;
}

struct Figure {
  double seconds;
  long pssKb;
};

// Starts the program and times it until `ready` says it is; measures its memory
// once `settled` says all it shows is open.
Figure Measure(const std::vector<std::string>& argv, const std::vector<std::string>& environment, const std::function<bool()>& ready,
               const std::function<bool()>& settled) {
  const auto start = Clock::now();
  const pid_t pid = Spawn(argv, environment);
  const auto waitFor = [&](const std::function<bool()>& condition) {
    while (!condition() && Clock::now() - start < std::chrono::seconds(60)) std::this_thread::sleep_for(std::chrono::microseconds(500));
  };
  waitFor(ready);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  waitFor(settled);
  const long pss = TreePss(pid);
  End(pid);
  return {seconds, pss};
}

template <typename T>
T Median(std::vector<T> values) {
  std::ranges::sort(values);
  return values[values.size() / 2];
}

}  // namespace

int main() {
  const pid_t xvfb = wendrake::testing::EnsureDisplay();
  if (xvfb < 0) {
    std::fprintf(stderr, "no display\n");
    return 1;
  }
  const wendrake::testing::TempInstallation tree;
  const auto install = wendrake::testing::RunProcess({WENDRAKE_CMAKE_COMMAND, "--install", WENDRAKE_BUILD_DIR, "--prefix", tree.Root().string()});
  if (install.status != 0) return 1;
  const fs::path pages = tree.Root() / "UI/pages/sc";
  const std::string login = ReadText(pages / "login.html");
  // The pages say when they have loaded; the comparison shows the same login page.
  tree.WriteFile("plain-login.html", login);
  tree.WriteFile(pages / "login.html",
                 login + "<script>addEventListener('load', function () { window.external.SaveUserData('loaded^'); });</script>\n");
  tree.WriteFile(pages / "main.html",
                 ReadText(pages / "main.html") + "<script>addEventListener('load', function () { window.external.ChangeSkin('3'); });</script>\n");
  const std::string hive = ReadText(tree.Root() / "registry.reg");

  std::vector<std::string> environment;
  for (char** entry = environ; *entry; ++entry) environment.emplace_back(*entry);
  for (const char* folder : {"run", "home"}) fs::create_directories(tree.Root() / "session" / folder);
  fs::permissions(tree.Root() / "session/run", fs::perms::owner_all);
  environment.push_back("XDG_RUNTIME_DIR=" + (tree.Root() / "session/run").string());
  environment.push_back("HOME=" + (tree.Root() / "session/home").string());
  environment.push_back("NO_AT_BRIDGE=1");

  const fs::path marker = tree.Root() / "loaded";
  auto wendrake = [&] {
    tree.WriteFile("registry.reg", hive);
    const auto holds = [&](const char* value) { return ReadText(tree.Root() / "registry.reg").find(value) != std::string::npos; };
    // Timed to its login page; measured with the main page loaded too.
    return Measure(
        {(tree.Root() / "bin/wendrake").string()}, environment, [&] { return holds("\"Data\""); },
        [&] { return holds("\"Data\"") && holds("\"Skin\""); });
  };
  auto minimal = [&] {
    fs::remove(marker);
    return Measure(
        {WENDRAKE_MINIMAL_PAGE, (tree.Root() / "plain-login.html").string(), marker.string()}, environment, [&] { return fs::exists(marker); },
        [] { return true; });
  };
  // Warm the caches a player's second start has warm too.
  wendrake();
  minimal();

  std::vector<double> ours, theirs;
  std::vector<long> ourMemory, theirMemory;
  for (int pair = 0; pair < kPairs; ++pair) {
    const Figure a = wendrake(), b = minimal();
    ours.push_back(a.seconds);
    theirs.push_back(b.seconds);
    ourMemory.push_back(a.pssKb);
    theirMemory.push_back(b.pssKb);
    std::printf("pair %d: wendrake %.3f s %ld kB, minimal %.3f s %ld kB\n", pair + 1, a.seconds, a.pssKb, b.seconds, b.pssKb);
  }
  const double time = Median(ours), base = Median(theirs);
  const long memory = Median(ourMemory), baseMemory = Median(theirMemory);
  std::printf("start to login page loaded (median of %d): wendrake %.3f s, minimal WebKitGTK program %.3f s, ratio %.2f (aim 1.20)\n", kPairs, time,
              base, time / base);
  std::printf("proportional set size (median): wendrake %ld kB, minimal %ld kB, ratio %.2f (aim 1.20)\n", memory, baseMemory,
              static_cast<double>(memory) / baseMemory);
  if (xvfb > 0) wendrake::testing::StopPrivateXvfb(xvfb);
  return 0;
}

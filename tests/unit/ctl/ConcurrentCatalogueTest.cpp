// Several wendrakectl processes changing one catalogue at once lose nothing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/TempInstallation.h"

namespace wendrake {
namespace {

namespace fs = std::filesystem;

// Runs the calls one after another in a child process; its exit status counts the
// calls that did not answer 1.
pid_t RunCalls(const std::string& root, const std::vector<std::vector<std::string>>& calls) {
  const pid_t child = ::fork();
  if (child != 0) return child;
  int failures = 0;
  for (const auto& call : calls) {
    const pid_t run = ::fork();
    if (run == 0) {
      const int null = ::open("/dev/null", O_WRONLY);
      ::dup2(null, 1);
      std::vector<const char*> argv{WENDRAKECTL_PATH, "--root", root.c_str(), "call"};
      for (const auto& word : call) argv.push_back(word.c_str());
      argv.push_back(nullptr);
      ::execv(argv[0], const_cast<char* const*>(argv.data()));
      ::_exit(127);
    }
    int status = 0;
    ::waitpid(run, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) ++failures;
  }
  ::_exit(failures);
}

TEST(ConcurrentCatalogue, ThreeWritersLoseNoChange) {
  testing::TempInstallation installation;
  const fs::path game = installation.MakeGameFolder();
  // Items the writers change besides the ones they add.
  std::vector<std::string> existing;
  for (int i = 0; i < 40; ++i) existing.push_back("E" + std::to_string(i));
  installation.WriteCatalog(existing);
  for (const auto& name : existing) fs::create_directories(game / "Interface/AddOns" / name);

  std::vector<std::vector<std::string>> adds, versions, removals;
  for (int i = 0; i < 40; ++i) {
    adds.push_back({"AddPlugin", "9" + std::to_string(i), "1.0", "New" + std::to_string(i)});
    // WriteCatalog gives the existing items pids 1 to 40.
    versions.push_back({"SetLocalPluginVer", std::to_string(i + 1), "2.0"});
    if (i % 2 == 0)
      removals.push_back({"RemovePlugin", std::to_string(i + 2)});
    else
      removals.push_back({"AddPlugin", "8" + std::to_string(i), "1.0", "Other" + std::to_string(i)});
  }
  const std::string root = installation.Root().string();
  const pid_t writers[] = {RunCalls(root, adds), RunCalls(root, versions), RunCalls(root, removals)};
  for (const pid_t writer : writers) {
    int status = 0;
    ASSERT_EQ(::waitpid(writer, &status, 0), writer);
    EXPECT_TRUE(WIFEXITED(status)) << status;
  }

  const std::string catalogue = installation.ReadFile("update_info.xml");
  for (int i = 0; i < 40; ++i) {
    EXPECT_NE(catalogue.find("pid=\"9" + std::to_string(i) + "\" ver=\"1.0\""), std::string::npos) << "lost add " << i;
  }
  for (int i = 0; i < 40; i += 2)
    EXPECT_EQ(catalogue.find("pid=\"" + std::to_string(i + 2) + "\" "), std::string::npos) << "removed pid came back " << i + 2;
  for (int i = 1; i < 40; i += 2) EXPECT_NE(catalogue.find("pid=\"8" + std::to_string(i) + "\""), std::string::npos) << "lost add 8" << i;
  // pid 1 was never removed: its version change holds.
  EXPECT_NE(catalogue.find("pid=\"1\" ver=\"2.0\""), std::string::npos) << "a version went back";
  for (int pid = 3; pid <= 40; pid += 2) EXPECT_NE(catalogue.find("pid=\"" + std::to_string(pid) + "\" ver=\"2.0\""), std::string::npos) << pid;
}

}  // namespace
}  // namespace wendrake

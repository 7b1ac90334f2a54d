#include "harness/InstalledProgram.h"

#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

#include "harness/TestPages.h"
#include "support/ProcessRun.h"

namespace wendrake::programtest {

namespace fs = std::filesystem;

InstalledProgram::InstalledProgram() {
  const auto install = testing::RunProcess({WENDRAKE_CMAKE_COMMAND, "--install", WENDRAKE_BUILD_DIR, "--prefix", Root().string()});
  if (install.status != 0) throw std::runtime_error("cmake --install failed:\n" + install.out + install.err);
  tree_.WriteFile(Page("main"), MainPage());
  tree_.WriteFile(Page("login"), LoginPage());
  tree_.WriteFile(Page("error"), ErrorPage());
  tree_.WriteCatalog(kCataloguedAddOns);
  // The pages take this Version as a script already run (TestPages.h).
  addOns_ = tree_.MakeGameFolder({{"Home", Root().string()}, {"Version", "0|none|"}}) / "Interface" / "AddOns";
  for (const auto& name : kCataloguedAddOns) tree_.WriteFile(addOns_ / name / "RiftAddon.txt", "## Title: " + name + "\n");
  tree_.WriteFile(addOns_ / kUncataloguedAddOn / "RiftAddon.txt", "## Title: " + kUncataloguedAddOn + "\n");
}

std::unique_ptr<ProgramProcess> InstalledProgram::Start() {
  const fs::path output = session_.Folder() / ("run-" + std::to_string(++starts_) + ".out");
  std::vector<std::string> environment;
  for (const auto& entry : session_.Environment(sessionBus_))
    if (!environment_.contains(entry.substr(0, entry.find('=')))) environment.push_back(entry);
  for (const auto& [name, value] : environment_) environment.push_back(name + "=" + value);
  return std::make_unique<ProgramProcess>(Root() / "bin" / "wendrake", environment, output);
}

std::map<std::string, std::string> InstalledProgram::Manifests() const {
  std::map<std::string, std::string> manifests;
  std::error_code error;
  for (const auto& folder : fs::directory_iterator(addOns_, error)) {
    std::string held;
    for (const auto& file : fs::directory_iterator(folder.path(), error)) held += (held.empty() ? "" : "+") + file.path().filename().string();
    manifests[folder.path().filename().string()] = held.empty() ? "(empty)" : held;
  }
  return manifests;
}

bool InstalledProgram::CataloguedAddOnsAre(bool on) const {
  const auto manifests = Manifests();
  for (const auto& name : kCataloguedAddOns) {
    const auto found = manifests.find(name);
    if (found == manifests.end() || found->second != (on ? "RiftAddon.toc" : "RiftAddon.txt")) return false;
  }
  const auto stranger = manifests.find(kUncataloguedAddOn);
  return stranger != manifests.end() && stranger->second == "RiftAddon.txt";
}

std::string InstalledProgram::Output() const {
  std::string text;
  std::error_code error;
  for (int run = 1; run <= starts_; ++run)
    text += "--- run " + std::to_string(run) + " output:\n" + tree_.ReadFile(session_.Folder() / ("run-" + std::to_string(run) + ".out"));
  for (const auto& entry : fs::recursive_directory_iterator(session_.StateHome(), error))
    if (entry.is_regular_file()) text += "--- " + entry.path().filename().string() + ":\n" + tree_.ReadFile(entry.path());
  return text;
}

}  // namespace wendrake::programtest

#include "harness/InstalledProgram.h"

#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

#include "harness/TestPages.h"
#include "platform/PrivateFolder.h"
#include "support/ProcessRun.h"

extern char** environ;

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

  session_ = Root() / "session";
  for (const char* folder : {"run", "state", "cache", "data", "config", "home"})
    if (!MakePrivateFolders(session_ / folder)) throw std::runtime_error("cannot make " + (session_ / folder).string() + " private");
}

std::vector<std::string> InstalledProgram::Environment() const {
  const std::map<std::string, std::string> own = {
      {"XDG_RUNTIME_DIR", (session_ / "run").string()},   {"XDG_STATE_HOME", (session_ / "state").string()},
      {"XDG_CACHE_HOME", (session_ / "cache").string()},  {"XDG_DATA_HOME", (session_ / "data").string()},
      {"XDG_CONFIG_HOME", (session_ / "config").string()}, {"HOME", (session_ / "home").string()},
      {"GDK_BACKEND", "x11"},                              {"NO_AT_BRIDGE", "1"},
      {"DISPLAY", std::getenv("DISPLAY") ? std::getenv("DISPLAY") : ""},
  };
  std::vector<std::string> environment;
  for (char** entry = environ; *entry; ++entry) {
    const std::string text = *entry;
    const std::string name = text.substr(0, text.find('='));
    // A desktop session's own display, bus and start-up notification stay out.
    if (own.contains(name) || name == "WAYLAND_DISPLAY" || name == "DBUS_SESSION_BUS_ADDRESS" || name == "DESKTOP_STARTUP_ID" ||
        name == "XDG_ACTIVATION_TOKEN")
      continue;
    environment.push_back(text);
  }
  for (const auto& [name, value] : own) environment.push_back(name + "=" + value);
  if (!sessionBus_.empty()) environment.push_back("DBUS_SESSION_BUS_ADDRESS=" + sessionBus_);
  return environment;
}

std::unique_ptr<ProgramProcess> InstalledProgram::Start() {
  const fs::path output = session_ / ("run-" + std::to_string(++starts_) + ".out");
  return std::make_unique<ProgramProcess>(Root() / "bin" / "wendrake", Environment(), output);
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
  for (int run = 1; run <= starts_; ++run) text += "--- run " + std::to_string(run) + " output:\n" + tree_.ReadFile(session_ / ("run-" + std::to_string(run) + ".out"));
  for (const auto& entry : fs::recursive_directory_iterator(session_ / "state", error))
    if (entry.is_regular_file()) text += "--- " + entry.path().filename().string() + ":\n" + tree_.ReadFile(entry.path());
  return text;
}

}  // namespace wendrake::programtest

#pragma once
// The program as a user has it: the build's own install step lays the tree out in
// a fresh folder, the test pages replace the product's pages, the hive names a
// game folder whose catalogued add-ons are switched off, and each start gets
// runtime, state and cache folders of this test only.
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "harness/ProgramProcess.h"
#include "harness/TestSession.h"
#include "support/TempInstallation.h"

namespace wendrake::programtest {

// The add-ons in the game folder: catalogued ones, and one the catalogue does not
// list, which the program must never touch.
inline const std::vector<std::string> kCataloguedAddOns = {"Alpha", "Beta Gamma"};
inline const std::string kUncataloguedAddOn = "Stranger";

class InstalledProgram {
 public:
  InstalledProgram();

  const Installation& Install() const { return tree_.Install(); }
  const std::filesystem::path& Root() const { return tree_.Root(); }
  std::filesystem::path Page(const std::string& name) const { return Root() / "UI" / "pages" / "sc" / (name + ".html"); }

  // Starts bin/wendrake; every start of one test shares the runtime folder.
  std::unique_ptr<ProgramProcess> Start();
  // The session bus the next starts get; without one they get none.
  void UseSessionBus(const std::string& address) { sessionBus_ = address; }
  // An environment variable the next starts get, in place of the session's own.
  void SetEnvironment(const std::string& name, const std::string& value) { environment_[name] = value; }

  // For each add-on folder: "RiftAddon.toc" (on), "RiftAddon.txt" (off), or what
  // else it holds.
  std::map<std::string, std::string> Manifests() const;
  // Every catalogued add-on on (or off), the uncatalogued one off.
  bool CataloguedAddOnsAre(bool on) const;

  // What the program runs wrote to stdout, stderr and its log.
  std::string Output() const;

 private:
  testing::TempInstallation tree_;
  TestSession session_{tree_.Root() / "session"};
  std::filesystem::path addOns_;
  std::string sessionBus_;
  std::map<std::string, std::string> environment_;
  int starts_ = 0;
};

}  // namespace wendrake::programtest

// The switching passes read the catalogue once and work in memory. They must
// leave exactly what the step-by-step walk leaves, where every step reads the
// file afresh and writes it after each change: the same catalogue bytes and the
// same manifests, on catalogues with retired pids, moved and nameless items,
// missing folders, duplicates and a second container.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "addons/AddOnFolder.h"
#include "addons/AddOnSwitching.h"
#include "addons/CatalogDocument.h"
#include "addons/Manifest.h"
#include "addons/PluginCatalog.h"
#include "core/Text.h"
#include "support/TempInstallation.h"

namespace wendrake {
namespace {

namespace fs = std::filesystem;

// The walk as written step by step, each step reading the catalogue afresh and
// saving each change at once: the reference the passes are held to.
std::u16string ResolveStep(const Installation& installation, int index, const std::optional<fs::path>& reference) {
  auto catalog = CatalogDocument::Load(installation.CatalogPath());
  if (!catalog) return {};
  const auto pid = catalog->ItemPid(index);
  if (!pid) return {};
  if (const auto name = catalog->ItemFolderName(index)) {
    if (name->empty() || *name == "." || *name == ".." || name->find_first_of("/\\") != std::string::npos) return {};
    if (PluginCatalog(installation).IsGone(ToUtf16(*name))) {
      catalog->RemoveItem(*pid);
      catalog->Save(installation.CatalogPath());
      return {};
    }
    return ToUtf16(*name);
  }
  const auto offered = reference ? CatalogDocument::Load(*reference) : std::nullopt;
  if (!offered) return {};
  for (int j = 1; j <= offered->ItemCount(); ++j) {
    if (offered->ItemPid(j) != pid) continue;
    const bool retired = *pid == "1719" || *pid == "1720" || *pid == "1721" || *pid == "1730" || *pid == "1732" || *pid == "1733";
    const auto version = offered->ItemVersion(j), folder = offered->ItemFolderName(j);
    if (!retired && (!version || !folder)) return {};
    if (!catalog->RemoveItem(*pid)) return {};
    if (!retired) catalog->AppendItem(*pid, *version, *folder);
    catalog->Save(installation.CatalogPath());
    return {};  // a moved item names no folder in this step
  }
  return {};
}

void StepByStep(const Installation& installation, bool login) {
  if (!GameFolder(installation)) return;
  auto count = [&] { return PluginCatalog(installation).GetPluginCount(); };
  if (count() == 0) return;
  std::optional<fs::path> reference;
  if (login) {
    reference = installation.ReferenceCatalogPath();
    const int items = count();
    for (int k = 0; k < items; ++k) ResolveStep(installation, 1, reference);
  }
  for (int i = 1; i <= count(); ++i) {
    const std::u16string name = ResolveStep(installation, i, reference);
    if (name.empty()) continue;
    if (const auto folder = AddOnFolder(installation, name))
      RenameManifest(*folder, login ? kInactiveManifest : kActiveManifest, login ? kActiveManifest : kInactiveManifest);
  }
}

std::map<std::string, std::string> Manifests(const fs::path& addOns) {
  std::map<std::string, std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(addOns)) found[entry.path().lexically_relative(addOns).string()] = "";
  return found;
}

struct Tree {
  testing::TempInstallation installation;
  fs::path addOns;
  Tree(const std::string& catalogue, const std::string& reference, const std::vector<std::pair<std::string, std::string>>& folders) {
    addOns = installation.MakeGameFolder() / "Interface/AddOns";
    for (const auto& [folder, manifest] : folders) installation.WriteFile(addOns / folder / manifest, "## Title\n");
    installation.WriteFile("update_info.xml", catalogue);
    installation.WriteFile("update.xml", reference);
  }
};

std::string Item(const std::string& pid, const std::string& ver, const std::string& name) {
  std::string item = "        <item pid=\"" + pid + "\"";
  if (!ver.empty()) item += " ver=\"" + ver + "\"";
  if (!name.empty()) item += " PlugName=\"" + name + "\"";
  return item + " />\r\n";
}
const std::string kHead = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n<Wendrake>\r\n    <plugin>\r\n";
const std::string kTail = "    </plugin>\r\n</Wendrake>\r\n";

TEST(SwitchingPass, LeavesWhatTheStepByStepWalkLeaves) {
  const std::string reference = kHead + Item("1719", "1.0", "Retired") + Item("50", "2.0", "Moved") + Item("51", "", "Incomplete") +
                                Item("50", "9.9", "SecondEntry") + Item("52", "1.1", "MovedToo") + kTail;
  const std::vector<std::pair<std::string, std::string>> folders = {
      {"Alpha", "RiftAddon.txt"}, {"Beta", "RiftAddon.toc"}, {"Moved", "RiftAddon.txt"}, {"MovedToo", "RiftAddon.txt"},
      {"Both", "RiftAddon.txt"},  {"Both", "RiftAddon.toc"}, {"Dup", "RiftAddon.txt"},
  };
  struct Case {
    const char* name;
    std::string catalogue;
  };
  const Case cases[] = {
      {"plain", kHead + Item("1", "1.0", "Alpha") + Item("2", "1.0", "Beta") + kTail},
      {"missing folders at the head and between", kHead + Item("9", "1", "Gone") + Item("1", "1.0", "Alpha") + Item("8", "1", "Gone2") +
                                                      Item("2", "1.0", "Beta") + Item("7", "1", "Gone3") + kTail},
      {"nameless items: retired, moved, incomplete, unknown", kHead + Item("1719", "", "") + Item("1", "1.0", "Alpha") + Item("50", "", "") +
                                                                  Item("51", "", "") + Item("99", "", "") + Item("52", "", "") +
                                                                  Item("2", "1.0", "Beta") + kTail},
      {"duplicate pids, the second one gone", kHead + Item("5", "2", "Dup") + Item("5", "1", "Gone") + Item("1", "1.0", "Alpha") + kTail},
      {"duplicate pids, the first one gone", kHead + Item("5", "1", "Gone") + Item("5", "2", "Dup") + Item("1", "1.0", "Alpha") + kTail},
      {"both manifests, and names that are no folder",
       kHead + Item("3", "1", "Both") + Item("4", "1", "..") + Item("6", "1", "a/b") + Item("1", "1.0", "Alpha") + kTail},
      {"a second container", kHead + Item("1", "1.0", "Alpha") + "    </plugin>\r\n    <plugin>\r\n" + Item("50", "", "") + Item("2", "1.0", "Beta") +
                                 Item("9", "1", "Gone") + kTail},
      {"nothing catalogued", kHead + kTail},
  };
  for (const auto& c : cases) {
    for (const bool login : {true, false}) {
      SCOPED_TRACE(std::string(c.name) + (login ? ", login" : ", logoff"));
      Tree walked(c.catalogue, reference, folders), passed(c.catalogue, reference, folders);
      // A manifest that cannot be renamed ends either walk at the same step.
      auto ended = [](const std::function<void()>& walk) {
        try {
          walk();
          return false;
        } catch (const ManifestRenameError&) {
          return true;
        }
      };
      const bool walkEnded = ended([&] { StepByStep(walked.installation.Install(), login); });
      const bool passEnded = ended([&] {
        if (login)
          LoginToChangePlugName(passed.installation.Install());
        else
          LogofToChangePlugName(passed.installation.Install());
      });
      EXPECT_EQ(passEnded, walkEnded);
      EXPECT_EQ(passed.installation.ReadFile("update_info.xml"), walked.installation.ReadFile("update_info.xml"));
      EXPECT_EQ(Manifests(passed.addOns), Manifests(walked.addOns));
    }
  }
}

}  // namespace
}  // namespace wendrake

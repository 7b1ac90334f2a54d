// Any bytes as an add-on package: UnzipPlugin installs or refuses them, and writes
// nothing outside the add-on folder, Temp and Backups (where an update keeps what
// it replaced).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "addons/AddOnSnapshots.h"
#include "addons/PackageInstallation.h"
#include "platform/AtomicFile.h"
#include "support/HandlerHost.h"
#include "support/TempInstallation.h"

namespace {

namespace fs = std::filesystem;

// Every path below root except those under the skipped folders, with what it
// holds: a file's bytes, a link's target, or nothing for a folder.
std::map<fs::path, std::string> Tree(const fs::path& root, const std::vector<fs::path>& skipped) {
  std::map<fs::path, std::string> tree;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
    const fs::path& path = it->path();
    if (std::find(skipped.begin(), skipped.end(), path) != skipped.end()) {
      it.disable_recursion_pending();
      continue;
    }
    if (it->is_symlink())
      tree[path] = "-> " + fs::read_symlink(path).string();
    else if (it->is_regular_file())
      tree[path] = wendrake::ReadWholeFile(path).value_or("(unreadable)");
    else
      tree[path];
  }
  return tree;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  wendrake::testing::TempInstallation tree;
  const fs::path game = tree.MakeGameFolder();
  // The game's add-on folder with an add-on already in it, as a player has it.
  tree.WriteFile("game/Interface/AddOns/Old/RiftAddon.toc", "## Title: Old");
  const fs::path addOns = game / "Interface" / "AddOns";
  const std::vector<fs::path> skipped = {addOns, tree.Root() / "Temp", wendrake::BackupsFolder(tree.Install())};
  tree.WriteFile("Temp/p.zip", std::string_view(reinterpret_cast<const char*>(data), size));
  const auto before = Tree(tree.Root(), skipped);

  wendrake::testing::HandlerHost host(tree.Install());
  wendrake::UnzipPlugin(host.View(), u"t", u"p");

  if (Tree(tree.Root(), skipped) != before) std::abort();
  return 0;
}

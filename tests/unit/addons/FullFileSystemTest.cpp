// Writes that cannot be made whole (a full file system, a write-protected file)
// report failure and leave the catalogue, the settings and the add-ons as they were.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <string>

#include "addons/PackageInstallation.h"
#include "addons/PluginCatalog.h"
#include "commands/SettingsStore.h"
#include "platform/AtomicFile.h"
#include "support/HandlerHost.h"
#include "support/TempInstallation.h"
#include "support/WithoutFileOverride.h"
#include "support/ZipBuilder.h"

namespace wendrake {
namespace {

namespace fs = std::filesystem;
using testing::ZipEntrySpec;

// Writes until the file system has no byte left.
void Fill(const fs::path& file) {
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_GE(fd, 0);
  const std::string block(4096, 'f');
  while (::write(fd, block.data(), block.size()) > 0) {
  }
  // Less than a block may be left.
  while (::write(fd, "f", 1) > 0) {
  }
  ::close(fd);
}

std::set<std::string> Listing(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) names.insert(entry.path().lexically_relative(folder).string());
  return names;
}

class FullFileSystem : public ::testing::Test {
 protected:
  // A small file system of this test's own, in a mount namespace of its own, so
  // nothing else on the machine sees it; where the machine allows neither, the
  // test cannot run.
  void SetUp() override {
    mountPoint_ = fs::temp_directory_path() / ("wendrake-full-" + std::to_string(::getpid()));
    fs::create_directories(mountPoint_);
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", mountPoint_.c_str(), "tmpfs", 0, "size=1m") != 0)
      GTEST_SKIP() << "no mount namespace here: " << std::strerror(errno);
    mounted_ = true;
    ::setenv("TMPDIR", mountPoint_.c_str(), 1);
  }
  void TearDown() override {
    ::unsetenv("TMPDIR");
    if (mounted_) ::umount2(mountPoint_.c_str(), MNT_DETACH);
    fs::remove(mountPoint_);
  }

 private:
  fs::path mountPoint_;
  bool mounted_ = false;
};

TEST_F(FullFileSystem, FailedWritesReportFailureAndChangeNothing) {
  struct Case {
    std::string what;
    std::function<void(const testing::TempInstallation&)> spoil;
  };
  const Case cases[] = {
      {"a full file system", [](const testing::TempInstallation& tree) { Fill(tree.Root() / "filler"); }},
      {"write-protected files",
       [](const testing::TempInstallation& tree) {
         for (const char* file : {"update_info.xml", "registry.reg"}) fs::permissions(tree.Root() / file, fs::perms::owner_read);
         fs::permissions(tree.Root() / "game" / "Interface" / "AddOns", fs::perms::owner_read | fs::perms::owner_exec);
       }},
  };
  for (const Case& c : cases) {
    const testing::TempInstallation tree;
    tree.MakeGameFolder();
    tree.WriteCatalog({"Alpha"});
    tree.WriteFile("game/Interface/AddOns/Alpha/RiftAddon.toc", "version 1");
    testing::WriteZip(tree.Root() / "Temp" / "Alpha.zip", {ZipEntrySpec::File("Alpha/RiftAddon.toc", "version 2")});
    testing::HandlerHost host{tree.Install()};
    const std::string catalogue = tree.ReadFile("update_info.xml"), hive = tree.ReadFile("registry.reg");
    const std::set<std::string> before = Listing(tree.Root());
    c.spoil(tree);
    const testing::WithoutFileOverride asAUser;

    EXPECT_EQ(PluginCatalog(tree.Install()).AddPlugin(u"9", u"1.0", u"Beta"), 0) << c.what;
    EXPECT_EQ(PluginCatalog(tree.Install()).SetLocalPluginVer(u"1", u"2.0"), 0) << c.what;
    EXPECT_FALSE(OpenSettingsKey(tree.Install()).SetValue(u"Note", std::u16string(5000, u'n'))) << c.what;
    EXPECT_EQ(UnzipPlugin(host.View(), u"t", u"Alpha"), -2) << c.what;

    EXPECT_EQ(tree.ReadFile("update_info.xml"), catalogue) << c.what;
    EXPECT_EQ(tree.ReadFile("registry.reg"), hive) << c.what;
    EXPECT_EQ(tree.ReadFile("game/Interface/AddOns/Alpha/RiftAddon.toc"), "version 1") << c.what;
    std::set<std::string> after = Listing(tree.Root());
    after.erase("filler");
    after.erase("update_info.xml.lock");
    EXPECT_EQ(after, before) << c.what << ": nothing half written is left";
  }
}

}  // namespace
}  // namespace wendrake

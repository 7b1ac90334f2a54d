#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <set>

#include "addons/PackageInstallation.h"
#include "platform/AtomicFile.h"
#include "support/HandlerHost.h"
#include "support/TempInstallation.h"
#include "support/WithoutFileOverride.h"
#include "support/ZipBuilder.h"

namespace wendrake {
namespace {

namespace fs = std::filesystem;
using testing::ZipEntrySpec;

// Every path below `folder`, links not followed: folders end with "/", links with " -> target".
std::set<std::string> Tree(const fs::path& folder, const std::vector<fs::path>& except = {}) {
  std::set<std::string> paths;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(folder, error); it != fs::recursive_directory_iterator(); it.increment(error)) {
    if (std::ranges::find(except, it->path()) != except.end()) {
      it.disable_recursion_pending();
      continue;
    }
    std::string line = it->path().lexically_relative(folder).string();
    if (it->is_symlink())
      line += " -> " + fs::read_symlink(it->path()).string();
    else if (it->is_directory())
      line += "/";
    paths.insert(line);
  }
  return paths;
}

// Flips one byte of the first place `marker` appears in the archive.
void Damage(const fs::path& archive, const std::string& marker, size_t offset = 0) {
  std::string bytes = *ReadWholeFile(archive);
  bytes[bytes.find(marker) + offset] ^= 1;
  ASSERT_TRUE(ReplaceFileContent(archive, bytes));
}

// Sets the uncompressed size every directory record declares.
void DeclareSize(const fs::path& archive, std::uint32_t size) {
  std::string bytes = *ReadWholeFile(archive);
  for (size_t at = bytes.find("PK\x01\x02"); at != std::string::npos; at = bytes.find("PK\x01\x02", at + 4))
    for (int i = 0; i < 4; ++i) bytes[at + 24 + i] = static_cast<char>((size >> (8 * i)) & 0xFF);
  ASSERT_TRUE(ReplaceFileContent(archive, bytes));
}

class UnzipPluginTest : public ::testing::Test {
 protected:
  void SetUp() override { game = tree.MakeGameFolder(); }

  fs::path Package(const std::string& name, const std::vector<ZipEntrySpec>& entries) const {
    const fs::path archive = tree.Root() / "Temp" / (name + ".zip");
    testing::WriteZip(archive, entries);
    return archive;
  }
  int Unzip(std::u16string_view tag, std::u16string_view name) { return UnzipPlugin(host.View(), tag, name); }
  fs::path AddOns() const { return game / "Interface" / "AddOns"; }

  testing::TempInstallation tree;
  fs::path game;
  testing::HandlerHost host{tree.Install()};
};

TEST_F(UnzipPluginTest, InstallsThePackageAndTellsThePageBeforeDeletingIt) {
  const fs::path archive = Package("alpha", {
                                                ZipEntrySpec::Folder("Alpha/"),
                                                ZipEntrySpec::Folder("Alpha/Media/"),
                                                ZipEntrySpec::File("Alpha/RiftAddon.toc", "## Title: Alpha"),
                                                ZipEntrySpec::File("Alpha/Media/icon.tga", "TGA"),
                                            });
  bool archiveThereDuringCall = false;
  host.duringPageCall = [&] { archiveThereDuringCall = fs::exists(archive); };
  EXPECT_EQ(Unzip(u"tag-7", u"alpha"), 1);
  EXPECT_EQ(host.Events(), (std::vector<std::string>{"refresh", "page UnzipFinished(tag-7,alpha) ok"}));
  EXPECT_TRUE(archiveThereDuringCall);
  EXPECT_FALSE(fs::exists(archive));
  EXPECT_EQ(Tree(AddOns()), (std::set<std::string>{"Alpha/", "Alpha/Media/", "Alpha/RiftAddon.toc", "Alpha/Media/icon.tga"}));
  EXPECT_EQ(ReadWholeFile(AddOns() / "Alpha" / "RiftAddon.toc"), "## Title: Alpha");
  EXPECT_EQ(ReadWholeFile(AddOns() / "Alpha" / "Media" / "icon.tga"), "TGA");
}

TEST_F(UnzipPluginTest, LaysOutFoldersWhateverTheArchiveListsOrOmits) {
  struct Case {
    std::string what;
    std::vector<ZipEntrySpec> entries;
    std::set<std::string> tree;
  };
  const Case cases[] = {
      {"a folder listed after its subfolder",
       {ZipEntrySpec::Folder("Alpha/Media/Sounds/"), ZipEntrySpec::Folder("Alpha/Media/"), ZipEntrySpec::Folder("Alpha/")},
       {"Alpha/", "Alpha/Media/", "Alpha/Media/Sounds/"}},
      {"no folder entries at all",
       {ZipEntrySpec::File("Alpha/RiftAddon.toc", "toc"), ZipEntrySpec::File("Alpha/Media/Deep/icon.tga", "tga")},
       {"Alpha/", "Alpha/RiftAddon.toc", "Alpha/Media/", "Alpha/Media/Deep/", "Alpha/Media/Deep/icon.tga"}},
      {"backslash separators and Unix folder modes",
       {ZipEntrySpec::UnixFolder("Alpha\\Media\\"), ZipEntrySpec::File("Alpha\\Media\\icon.tga", "tga")},
       {"Alpha/", "Alpha/Media/", "Alpha/Media/icon.tga"}},
      {"empty and dot parts", {ZipEntrySpec::File("./Alpha//x.lua", "x")}, {"Alpha/", "Alpha/x.lua"}},
      {"an empty folder", {ZipEntrySpec::Folder("Empty/")}, {"Empty/"}},
      {"names in the Chinese Windows code page", {ZipEntrySpec::File("\xB2\xE5\xBC\xFE\\a.lua", "a")}, {"\u63D2\u4EF6/", "\u63D2\u4EF6/a.lua"}},
      {"one folder spelled several ways",
       {ZipEntrySpec::File("Alpha/a.lua", "a"), ZipEntrySpec::File("ALPHA/Media/b.lua", "b"), ZipEntrySpec::File("alpha/MEDIA/c.lua", "c")},
       {"Alpha/", "Alpha/a.lua", "Alpha/Media/", "Alpha/Media/b.lua", "Alpha/Media/c.lua"}},
  };
  for (const Case& c : cases) {
    fs::remove_all(AddOns());
    Package("p", c.entries);
    EXPECT_EQ(Unzip(u"t", u"p"), 1) << c.what;
    EXPECT_EQ(Tree(AddOns()), c.tree) << c.what;
  }
}

TEST_F(UnzipPluginTest, APackageLargeEnoughForEveryCoreInstallsWholeOrNotAtAll) {
  // Enough to inflate for more than one worker, spread over a few folders.
  std::vector<ZipEntrySpec> entries;
  for (int i = 0; i < 400; ++i) {
    std::string content(64 * 1024, static_cast<char>('a' + i % 26));
    content += std::to_string(i);
    entries.push_back(ZipEntrySpec::File("Big/Part" + std::to_string(i % 4) + "/f" + std::to_string(i), content).Stored());
  }
  const fs::path archive = Package("big", entries);
  Damage(archive, std::string(64 * 1024, 'a' + 333 % 26) + "333", 1000);
  EXPECT_EQ(Unzip(u"t", u"big"), -2) << "one damaged entry among many";
  EXPECT_EQ(Tree(AddOns()), std::set<std::string>{});

  Package("big", entries);
  ASSERT_EQ(Unzip(u"t", u"big"), 1);
  for (const ZipEntrySpec& entry : entries) ASSERT_EQ(ReadWholeFile(AddOns() / entry.name), entry.content) << entry.name;
}

TEST_F(UnzipPluginTest, UsesTheAddOnFoldersAsTheGameSpellsThem) {
  fs::create_directories(game / "interface" / "addons" / "alpha" / "media");
  tree.WriteFile("game/interface/addons/alpha/riftaddon.toc", "old");
  Package("p", {ZipEntrySpec::Folder("Alpha/Media/"), ZipEntrySpec::File("Alpha/RiftAddon.toc", "new"),
                ZipEntrySpec::File("Alpha/Media/icon.tga", "tga")});
  EXPECT_EQ(Unzip(u"t", u"p"), 1);
  EXPECT_EQ(Tree(game), (std::set<std::string>{"interface/", "interface/addons/", "interface/addons/alpha/", "interface/addons/alpha/media/",
                                               "interface/addons/alpha/riftaddon.toc", "interface/addons/alpha/media/icon.tga"}));
  EXPECT_EQ(ReadWholeFile(game / "interface/addons/alpha/riftaddon.toc"), "new");

  // Only the missing level is made, with the canonical spelling.
  fs::remove_all(game / "interface" / "addons");
  Package("p", {ZipEntrySpec::File("Beta/x.lua", "x")});
  EXPECT_EQ(Unzip(u"t", u"p"), 1);
  EXPECT_TRUE(fs::is_regular_file(game / "interface" / "AddOns" / "Beta" / "x.lua"));
}

TEST_F(UnzipPluginTest, ReinstallingOverwritesAndKeepsWhatTheNewPackageLacks) {
  Package("alpha", {ZipEntrySpec::File("Alpha/RiftAddon.toc", "version 1").DosAttributes(testing::kDosReadOnly).AtUtc(1500000000),
                    ZipEntrySpec::File("Alpha/old.lua", "old")});
  ASSERT_EQ(Unzip(u"t", u"alpha"), 1);
  const fs::path manifest = AddOns() / "Alpha" / "RiftAddon.toc";
  constexpr fs::perms writeBits = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  EXPECT_EQ(fs::status(manifest).permissions() & writeBits, fs::perms::none);
  struct stat written {};
  ASSERT_EQ(::stat(manifest.c_str(), &written), 0);
  EXPECT_EQ(written.st_mtim.tv_sec, 1500000000);

  Package("alpha", {ZipEntrySpec::File("Alpha/RiftAddon.toc", "version 2")});
  {
    const testing::WithoutFileOverride asAUser;
    EXPECT_EQ(Unzip(u"t", u"alpha"), 1);
  }
  EXPECT_EQ(ReadWholeFile(manifest), "version 2");
  EXPECT_NE(fs::status(manifest).permissions() & writeBits, fs::perms::none);
  EXPECT_EQ(ReadWholeFile(AddOns() / "Alpha" / "old.lua"), "old");
}

TEST_F(UnzipPluginTest, APackageThatCannotBeInstalledWholeChangesNothing) {
  const std::string stored = "stored content that will be damaged";
  const std::vector<ZipEntrySpec> good = {ZipEntrySpec::File("Alpha/RiftAddon.toc", "version 2"), ZipEntrySpec::File("Alpha/new.lua", "new"),
                                          ZipEntrySpec::File("Alpha/stored.lua", stored).Stored(), ZipEntrySpec::File("Beta/b.lua", "b"),
                                          ZipEntrySpec::File("Alpha/Media/icon.tga", std::string(10000, 'd'))};
  auto with = [&](std::vector<ZipEntrySpec> more) {
    std::vector<ZipEntrySpec> entries = good;
    entries.insert(entries.end(), more.begin(), more.end());
    return entries;
  };
  struct Case {
    std::string what;
    std::vector<ZipEntrySpec> entries;
    std::function<void(const fs::path&)> spoil;  // the archive, once written
  };
  const Case cases[] = {
      {"a stored entry whose checksum does not match", good, [&](const fs::path& a) { Damage(a, stored, 3); }},
      {"a deflated entry damaged", good, [&](const fs::path& a) { Damage(a, "Alpha/Media/icon.tga", 25); }},
      {"an encrypted entry", with({ZipEntrySpec::File("Alpha/secret.lua", "secret").Encrypted("pw")}), {}},
      {"a directory record damaged", good,
       [&](const fs::path& a) {
         std::string bytes = *ReadWholeFile(a);
         bytes[bytes.find("PK\x01\x02", bytes.find("PK\x01\x02") + 4) + 3] = 9;
         ASSERT_TRUE(ReplaceFileContent(a, bytes));
       }},
      {"a name that is no text in any encoding", with({ZipEntrySpec::File("Alpha/\xFF\xFF.lua", "x")}), {}},
      {"sizes declared over the limit", good, [&](const fs::path& a) { DeclareSize(a, 0xFFFFFFF0u); }},
      {"a file where the package needs a folder", with({ZipEntrySpec::File("Alpha/keep.lua/inner.lua", "x")}), {}},
      {"a folder where the package has a file", with({ZipEntrySpec::File("Alpha/Sub", "x")}), {}},
      {"a link where the package needs a folder", with({ZipEntrySpec::File("Linked/x.lua", "x")}), {}},
      {"an add-on folder it may not write to", good,
       [&](const fs::path&) {
         fs::permissions(AddOns(), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write, fs::perm_options::remove);
       }},
  };
  for (const Case& c : cases) {
    if (fs::exists(AddOns())) fs::permissions(AddOns(), fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(AddOns());
    tree.WriteFile("game/Interface/AddOns/Alpha/RiftAddon.toc", "version 1");
    tree.WriteFile("game/Interface/AddOns/Alpha/keep.lua", "kept");
    tree.WriteFile("game/Interface/AddOns/Alpha/Sub/kept.lua", "kept");
    fs::create_directory_symlink(tree.Root(), AddOns() / "Linked");
    const std::set<std::string> before = Tree(AddOns());
    const fs::path archive = Package("p", c.entries);
    if (c.spoil) c.spoil(archive);
    const std::string package = *ReadWholeFile(archive);
    const size_t eventsBefore = host.Events().size();
    int result;
    {
      const testing::WithoutFileOverride asAUser;
      result = Unzip(u"t", u"p");
    }
    EXPECT_EQ(result, -2) << c.what;
    EXPECT_EQ(std::vector<std::string>(host.Events().begin() + static_cast<long>(eventsBefore), host.Events().end()),
              std::vector<std::string>{"msgbox 1004"})
        << c.what;
    EXPECT_EQ(Tree(AddOns()), before) << c.what;
    EXPECT_EQ(ReadWholeFile(AddOns() / "Alpha" / "RiftAddon.toc"), "version 1") << c.what;
    EXPECT_EQ(ReadWholeFile(archive), package) << c.what << ": the package stays for another try";
  }
}

TEST_F(UnzipPluginTest, NeverWritesOutsideTheAddOnFolder) {
  const fs::path outside = tree.Root() / "outside";
  tree.WriteFile("outside/victim.txt", "untouched");
  struct Case {
    std::string what;
    std::vector<ZipEntrySpec> entries;
    std::function<void()> before;
    std::set<std::string> addOns;  // what the add-on folder holds afterwards
    int result = 1;
  };
  const std::string absolute = (outside / "x").string();
  const Case cases[] = {
      {"parent part", {ZipEntrySpec::File("../x", "x"), ZipEntrySpec::Folder("../evil/")}, {}, {}},
      {"parent part inside", {ZipEntrySpec::File("a/../../../x", "x"), ZipEntrySpec::File("a/../b", "b")}, {}, {}},
      {"backslash parent part", {ZipEntrySpec::File("..\\..\\x", "x")}, {}, {}},
      {"absolute name", {ZipEntrySpec::File(absolute, "x"), ZipEntrySpec::Folder(absolute + "-folder/")}, {}, {}},
      {"absolute backslash name", {ZipEntrySpec::File("\\abs\\x", "x")}, {}, {}},
      {"drive letter", {ZipEntrySpec::File("C:\\x", "x"), ZipEntrySpec::File("C:x", "x"), ZipEntrySpec::File("c:/x", "x")}, {}, {}},
      {"link entry", {ZipEntrySpec::Link("Alpha/out", outside.string()), ZipEntrySpec::File("Alpha/ok.lua", "ok")}, {}, {"Alpha/", "Alpha/ok.lua"}},
      {"link entry then a file below its name",
       {ZipEntrySpec::Link("Alpha/out", outside.string()), ZipEntrySpec::File("Alpha/out/victim.txt", "overwritten")},
       {},
       {"Alpha/", "Alpha/out/", "Alpha/out/victim.txt"}},
      {"folder already a link out",
       {ZipEntrySpec::Folder("Alpha/"), ZipEntrySpec::File("Alpha/victim.txt", "overwritten"), ZipEntrySpec::File("Alpha/new.txt", "new")},
       [&] { fs::create_directory_symlink(outside, AddOns() / "Alpha"); },
       {"Alpha -> " + outside.string()},
       -2},
      {"folder already a link out, other case",
       {ZipEntrySpec::File("ALPHA/victim.txt", "overwritten")},
       [&] { fs::create_directory_symlink(outside, AddOns() / "alpha"); },
       {"alpha -> " + outside.string()},
       -2},
      {"file already a link out",
       {ZipEntrySpec::File("Alpha/victim.txt", "replaced")},
       [&] {
         fs::create_directories(AddOns() / "Alpha");
         fs::create_symlink(outside / "victim.txt", AddOns() / "Alpha" / "victim.txt");
       },
       {"Alpha/", "Alpha/victim.txt"}},
  };
  fs::create_directories(AddOns());
  // Backups is where a replaced add-on is kept; nothing else outside the add-on folder may change.
  const fs::path backups = tree.Root() / "Backups";
  const std::set<std::string> before = Tree(tree.Root(), {AddOns(), tree.Root() / "Temp", backups});
  for (const Case& c : cases) {
    fs::remove_all(AddOns());
    fs::create_directories(AddOns());
    if (c.before) c.before();
    Package("p", c.entries);
    EXPECT_EQ(Unzip(u"t", u"p"), c.result) << c.what;
    EXPECT_EQ(Tree(AddOns()), c.addOns) << c.what;
    EXPECT_EQ(Tree(tree.Root(), {AddOns(), tree.Root() / "Temp", backups}), before) << c.what;
    EXPECT_EQ(ReadWholeFile(outside / "victim.txt"), "untouched") << c.what;
  }
  EXPECT_FALSE(fs::exists("/abs"));
  EXPECT_EQ(ReadWholeFile(AddOns() / "Alpha" / "victim.txt"), "replaced");
}

TEST_F(UnzipPluginTest, RefusesPackageNamesThatLeaveTheTempFolder) {
  Package("p", {ZipEntrySpec::File("Alpha/RiftAddon.toc", "toc")});
  fs::rename(tree.Root() / "Temp" / "p.zip", tree.Root() / "p.zip");
  for (const std::u16string& name : std::vector<std::u16string>{u"../p", u"..\\p", std::u16string(u"p\0", 2)}) {
    EXPECT_EQ(Unzip(u"t", name), -2);
    EXPECT_TRUE(fs::exists(tree.Root() / "p.zip")) << "a file outside Temp is never deleted";
  }
  EXPECT_FALSE(fs::exists(AddOns() / "Alpha"));
  EXPECT_EQ(std::vector<std::string>(host.Events().end() - 3, host.Events().end()), std::vector<std::string>(3, "msgbox 1004"));
}

TEST_F(UnzipPluginTest, ReportsFailuresWithTheirMessageAndResult) {
  struct Case {
    std::string what;
    std::function<void()> arrange;  // runs after a good package "p" was written
    int result;
    std::vector<std::string> events;
    bool archiveStays;
    bool installed;
  };
  const std::string told = "page UnzipFinished(t,p) ok";
  const Case cases[] = {
      {"no package", [&] { fs::remove(tree.Root() / "Temp" / "p.zip"); }, -2, {"msgbox 1004"}, false, false},
      {"not an archive", [&] { tree.WriteFile("Temp/p.zip", "not a zip"); }, -2, {"msgbox 1004"}, true, false},
      {"entry list cut off",
       [&] {
         const std::string whole = tree.ReadFile("Temp/p.zip");
         tree.WriteFile("Temp/p.zip", whole.substr(0, whole.size() - 10));
       },
       -3,
       {"msgbox 1005"},
       true,
       false},
      {"no PluginPath",
       [&] {
         tree.WriteHive({{"Home", tree.Root().string()}});
       },
       -2,
       {"msgbox 1004"},
       true,
       false},
      {"no settings at all", [&] { fs::remove(tree.Root() / "registry.reg"); }, -2, {"msgbox 1004"}, true, false},
      {"PluginPath names no folder",
       [&] {
         tree.WriteHive({{"PluginPath", (tree.Root() / "gone").string() + "/"}});
       },
       -2,
       {"msgbox 1004"},
       true,
       false},
      {"page without UnzipFinished",
       [&] { host.pageFunctions.clear(); },
       -4,
       {"refresh", "page UnzipFinished(t,p) missing", "msgbox 1006"},
       false,
       true},
      {"archive cannot be deleted",
       [&] {
         fs::permissions(tree.Root() / "Temp", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write, fs::perm_options::remove);
       },
       1,
       {"refresh", told, "msgbox 1009"},
       true,
       true},
  };
  for (const Case& c : cases) {
    host.pageFunctions = {u"UnzipFinished"};
    tree.MakeGameFolder();
    fs::remove_all(game / "Interface");
    fs::permissions(tree.Root() / "Temp", fs::perms::owner_all, fs::perm_options::add);
    Package("p", {ZipEntrySpec::File("Alpha/RiftAddon.toc", "toc")});
    c.arrange();
    const size_t eventsBefore = host.Events().size();
    int result;
    {
      const testing::WithoutFileOverride asAUser;
      result = Unzip(u"t", u"p");
    }
    EXPECT_EQ(result, c.result) << c.what;
    EXPECT_EQ(std::vector<std::string>(host.Events().begin() + static_cast<long>(eventsBefore), host.Events().end()), c.events) << c.what;
    EXPECT_EQ(fs::exists(tree.Root() / "Temp" / "p.zip"), c.archiveStays) << c.what;
    EXPECT_EQ(fs::exists(AddOns() / "Alpha" / "RiftAddon.toc"), c.installed) << c.what;
  }
  EXPECT_EQ(Tree(tree.Root() / "gone"), std::set<std::string>{}) << "nothing is made where PluginPath points nowhere";
}

}  // namespace
}  // namespace wendrake

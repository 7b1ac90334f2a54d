#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "addons/CatalogDocument.h"
#include "addons/PluginCatalog.h"
#include "core/Text.h"
#include "support/TempInstallation.h"
#include "support/WithoutFileOverride.h"

namespace wendrake {
namespace {

namespace fs = std::filesystem;
using List = std::vector<std::u16string>;

const std::string kSeed = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n<Wendrake>\r\n    <plugin />\r\n</Wendrake>\r\n";
const std::string kHead = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n<Wendrake>\r\n    <plugin>\r\n";
const std::string kTail = "    </plugin>\r\n</Wendrake>\r\n";
const std::string kAlpha = "        <item pid=\"1\" ver=\"1.0\" PlugName=\"Alpha\" />\r\n";
const std::string kBeta = "        <item pid=\"2\" ver=\"2.0\" PlugName=\"Beta\" />\r\n";
const std::string kGamma = "        <item pid=\"3\" ver=\"3.0\" PlugName=\"Gamma\" />\r\n";
const std::string kThree = kHead + kAlpha + kBeta + kGamma + kTail;

// The bytes and the inode: a save replaces the file by renaming, so an unchanged
// inode means the file was not written.
struct FileState {
  std::optional<std::string> bytes;
  ino_t inode = 0;
  bool operator==(const FileState&) const = default;
};

class PluginCatalogTest : public ::testing::Test {
 protected:
  fs::path CatalogFile() const { return tree.Install().CatalogPath(); }
  void WriteCatalog(std::string_view bytes) const { tree.WriteFile("update_info.xml", bytes); }
  std::string Catalog() const { return tree.ReadFile("update_info.xml"); }
  FileState State() const {
    struct stat info {};
    if (::stat(CatalogFile().c_str(), &info) != 0) return {};
    return {Catalog(), info.st_ino};
  }
  fs::path MakeAddOns(const std::vector<std::string>& folders) const {
    const fs::path game = tree.MakeGameFolder();
    for (const auto& folder : folders) fs::create_directories(game / "Interface" / "AddOns" / folder);
    return game;
  }

  // What every operation answers for a catalogue it cannot load.
  void ExpectEveryOperationRefused() const {
    EXPECT_EQ(catalog.GetPluginCount(), 0);
    EXPECT_EQ(catalog.GetExistPlugin(), List{u"0"});
    EXPECT_EQ(catalog.IsExistPlugin(u"1"), 0);
    EXPECT_EQ(catalog.AddPlugin(u"1", u"1.0", u"Alpha"), 0);
    EXPECT_EQ(catalog.RemovePlugin(u"1"), 0);
    EXPECT_EQ(catalog.SetLocalPluginVer(u"1", u"2.0"), 0);
    EXPECT_EQ(catalog.ComparePluginVer(u"1", u"2.0"), 0);
  }

  testing::TempInstallation tree;
  PluginCatalog catalog{tree.Install()};
};

TEST_F(PluginCatalogTest, CataloguePathIsBesideTheProgramFolder) { EXPECT_EQ(catalog.CatalogPath(), tree.Root() / "update_info.xml"); }

TEST_F(PluginCatalogTest, EmptyCatalogue) {
  WriteCatalog(kSeed);
  MakeAddOns({});
  const FileState before = State();
  EXPECT_EQ(catalog.GetPluginCount(), 0);
  EXPECT_EQ(catalog.GetExistPlugin(), List{u"0"});
  EXPECT_EQ(catalog.IsExistPlugin(u"1719"), 0);
  EXPECT_EQ(catalog.RemovePlugin(u"1719"), 0);
  EXPECT_EQ(State(), before);
}

TEST_F(PluginCatalogTest, UnloadableCatalogueAnswersZeroAndIsNeverWritten) {
  const std::optional<std::string> contents[] = {std::nullopt, "", "<Wendrake><plugin>", "<?xml version=\"1.0\"?>\r\n", "\xEF\xBB\xBF"};
  for (const auto& content : contents) {
    SCOPED_TRACE(content.value_or("(missing)"));
    fs::remove(CatalogFile());
    if (content) WriteCatalog(*content);
    MakeAddOns({"Alpha"});
    const FileState before = State();

    ExpectEveryOperationRefused();
    EXPECT_EQ(State(), before);
    EXPECT_EQ(fs::exists(CatalogFile()), content.has_value());
  }
}

// A folder, a FIFO or a device where the catalogue belongs is refused as an
// unreadable catalogue: no exception, no hang.
TEST_F(PluginCatalogTest, ANonFileInTheCataloguesPlaceIsRefused) {
  const std::function<void(const fs::path&)> makers[] = {
      [](const fs::path& file) { fs::create_directory(file); },
      [](const fs::path& file) { ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0); },
      [](const fs::path& file) { fs::create_symlink("/dev/zero", file); },
  };
  MakeAddOns({"Alpha"});
  for (const auto& make : makers) {
    fs::remove_all(CatalogFile());
    make(CatalogFile());
    ExpectEveryOperationRefused();
    EXPECT_FALSE(fs::is_regular_file(fs::symlink_status(CatalogFile()))) << "replaced by a file";
  }
}

// Of two items of one pid, the one whose add-on is gone is the one dropped.
TEST_F(PluginCatalogTest, GetExistPluginDropsTheItemWhoseFolderIsGoneAmongDuplicates) {
  for (const bool goneFirst : {true, false}) {
    SCOPED_TRACE(goneFirst ? "gone first" : "gone second");
    const std::string gone = "        <item pid=\"7\" ver=\"1.0\" PlugName=\"Gone\" />\r\n";
    const std::string there = "        <item pid=\"7\" ver=\"2.0\" PlugName=\"There\" />\r\n";
    WriteCatalog(kHead + (goneFirst ? gone + there : there + gone) + kTail);
    MakeAddOns({"There"});
    EXPECT_EQ(catalog.GetExistPlugin(), List{u"7_2.0"});
    EXPECT_EQ(Catalog(), kHead + there + kTail);
  }
}

TEST_F(PluginCatalogTest, AddPluginAppendsAnItemInTheCatalogueLayout) {
  WriteCatalog(kSeed);
  MakeAddOns({"Alpha"});
  EXPECT_EQ(catalog.AddPlugin(u"1719", u"1.0", u"Alpha"), 1);
  EXPECT_EQ(Catalog(), kHead + "        <item pid=\"1719\" ver=\"1.0\" PlugName=\"Alpha\" />\r\n" + kTail);
  EXPECT_EQ(catalog.IsExistPlugin(u"1719"), 1);
  EXPECT_EQ(catalog.GetExistPlugin(), List{u"1719_1.0"});
}

TEST_F(PluginCatalogTest, AddPluginNeverDuplicatesAPid) {
  WriteCatalog(kThree);
  const FileState before = State();
  EXPECT_EQ(catalog.AddPlugin(u"2", u"9.9", u"Other"), 0);
  EXPECT_EQ(State(), before);
}

TEST_F(PluginCatalogTest, AddPluginWithoutContainerWritesNothing) {
  WriteCatalog("<?xml version=\"1.0\" ?>\r\n<Wendrake />\r\n");
  const FileState before = State();
  EXPECT_EQ(catalog.AddPlugin(u"1", u"1.0", u"Alpha"), 0);
  EXPECT_EQ(State(), before);
}

TEST_F(PluginCatalogTest, PageValuesAreStoredWholeAsUtf8) {
  WriteCatalog(kSeed);
  const std::u16string version = u"1.0-beta-build-20240101-\u7248";
  const std::u16string folder = u"\u00C4lpha \"Deluxe\" & more";
  ASSERT_EQ(catalog.AddPlugin(u"1719", version, folder), 1);
  EXPECT_EQ(Catalog(), kHead +
                           "        <item pid=\"1719\" ver=\"1.0-beta-build-20240101-\xE7\x89\x88\" "
                           "PlugName='\xC3\x84lpha &quot;Deluxe&quot; &amp; more' />\r\n" +
                           kTail);
  EXPECT_EQ(catalog.ComparePluginVer(u"1719", version), 0);
  fs::create_directories(tree.MakeGameFolder() / "Interface" / "AddOns" / "\xC3\x84lpha \"Deluxe\" & more");
  EXPECT_EQ(catalog.GetExistPlugin(), List{u"1719_" + version});
}

TEST_F(PluginCatalogTest, RemovePlugin) {
  WriteCatalog(kThree);
  const FileState before = State();
  EXPECT_EQ(catalog.RemovePlugin(u"9"), 0);
  EXPECT_EQ(State(), before);

  EXPECT_EQ(catalog.RemovePlugin(u"2"), 1);
  EXPECT_EQ(Catalog(), kHead + kAlpha + kGamma + kTail);
  EXPECT_EQ(catalog.IsExistPlugin(u"2"), 0);
}

TEST_F(PluginCatalogTest, SetLocalPluginVerReplacesOnlyTheVersionInPlace) {
  WriteCatalog(kHead + "        <item ver=\"1.0\" pid=\"1\" PlugName=\"Alpha\" />\r\n" + kBeta + kTail);
  EXPECT_EQ(catalog.SetLocalPluginVer(u"1", u"1.1"), 1);
  EXPECT_EQ(Catalog(), kHead + "        <item ver=\"1.1\" pid=\"1\" PlugName=\"Alpha\" />\r\n" + kBeta + kTail);
}

TEST_F(PluginCatalogTest, SetLocalPluginVerWithoutTargetWritesNothing) {
  WriteCatalog(kHead + "        <item pid=\"1\" PlugName=\"Alpha\" />\r\n" + kTail);
  const FileState before = State();
  EXPECT_EQ(catalog.SetLocalPluginVer(u"1", u"1.1"), 0);  // no ver attribute
  EXPECT_EQ(catalog.SetLocalPluginVer(u"2", u"1.1"), 0);  // not listed
  EXPECT_EQ(State(), before);
}

TEST_F(PluginCatalogTest, ComparePluginVerComparesPlainBytes) {
  WriteCatalog(kHead + "        <item pid=\"1\" ver=\"1.9\" PlugName=\"Alpha\" />\r\n" + kTail);
  const FileState before = State();
  const struct {
    std::u16string pid;
    std::u16string given;
    int expected;
  } cases[] = {
      {u"1", u"1.9", 0}, {u"1", u"1.10", -1}, {u"1", u"2.0", 1},    {u"1", u"1.9.1", 1},
      {u"1", u"1", -1},  {u"1", u"", -1},     {u"1", u"\u00E9", 1},  // bytes above 0x7F sort last
      {u"9", u"2.0", 0}, {u"9", u"0.1", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(catalog.ComparePluginVer(c.pid, c.given), c.expected) << ToUtf8(c.given);
  EXPECT_EQ(State(), before);
}

struct ExistCase {
  const char* name;
  std::vector<std::string> presentFolders;
  List expected;
  std::optional<std::string> fileAfter;  // nothing: not written
};
void PrintTo(const ExistCase& c, std::ostream* out) { *out << c.name; }

class GetExistPluginPass : public PluginCatalogTest, public ::testing::WithParamInterface<ExistCase> {};

TEST_P(GetExistPluginPass, ListsPresentItemsAndDropsTheOthers) {
  WriteCatalog(kThree);
  MakeAddOns(GetParam().presentFolders);
  const FileState before = State();
  EXPECT_EQ(catalog.GetExistPlugin(), GetParam().expected);
  if (GetParam().fileAfter) {
    EXPECT_EQ(Catalog(), *GetParam().fileAfter);
  } else {
    EXPECT_EQ(State(), before);
  }
}

const ExistCase kExistCases[] = {
    {"AllPresent", {"Alpha", "Beta", "Gamma"}, {u"1_1.0", u"2_2.0", u"3_3.0"}, std::nullopt},
    {"SecondMissing", {"Alpha", "Gamma"}, {u"1_1.0", u"3_3.0"}, kHead + kAlpha + kGamma + kTail},
    {"FirstTwoMissing", {"Gamma"}, {u"3_3.0"}, kHead + kGamma + kTail},
    {"LastTwoMissing", {"Alpha"}, {u"1_1.0"}, kHead + kAlpha + kTail},
    {"AllMissing", {}, {u"0"}, kSeed},
    {"FoundWithoutRegardToCase", {"alpha", "BETA", "gAmMa"}, {u"1_1.0", u"2_2.0", u"3_3.0"}, std::nullopt},
    {"SimilarNameIsNotTheFolder", {"Alpha", "Beta2", "Gamma"}, {u"1_1.0", u"3_3.0"}, kHead + kAlpha + kGamma + kTail},
};

INSTANTIATE_TEST_SUITE_P(Cases, GetExistPluginPass, ::testing::ValuesIn(kExistCases), [](const auto& info) { return std::string(info.param.name); });

TEST_F(PluginCatalogTest, GetExistPluginFindsFoldersWithoutRegardToCaseOnEveryLevel) {
  WriteCatalog(kHead + kAlpha + kBeta + kTail);
  const fs::path game = tree.MakeGameFolder();
  fs::create_directories(game / "interface" / "addons" / "alpha");
  // A file of the add-on's name counts as found as well.
  tree.WriteFile(fs::relative(game / "interface" / "addons" / "BETA", tree.Root()), "");
  const FileState before = State();
  EXPECT_EQ(catalog.GetExistPlugin(), (List{u"1_1.0", u"2_2.0"}));
  EXPECT_EQ(State(), before);
}

TEST_F(PluginCatalogTest, GetExistPluginSkipsIncompleteItemsWithoutDroppingThem) {
  const std::string incomplete =
      "        <item pid=\"1\" PlugName=\"Alpha\" />\r\n"
      "        <item pid=\"2\" ver=\"2.0\" />\r\n"
      "        <item ver=\"3.0\" PlugName=\"Gamma\" />\r\n";
  const std::string delta = "        <item pid=\"4\" ver=\"4.0\" PlugName=\"Delta\" />\r\n";
  const std::string echo = "        <item pid=\"5\" ver=\"5.0\" PlugName=\"Echo\" />\r\n";
  WriteCatalog(kHead + incomplete + delta + echo + kTail);
  MakeAddOns({"Echo"});
  EXPECT_EQ(catalog.GetExistPlugin(), List{u"5_5.0"});
  EXPECT_EQ(Catalog(), kHead + incomplete + echo + kTail);
}

TEST_F(PluginCatalogTest, GetExistPluginWithoutGameFolderDropsNothing) {
  const std::vector<std::vector<std::pair<std::string, std::string>>> hives = {
      {},  // no PluginPath value
      {{"PluginPath", ""}},  // empty value
  };
  for (const auto& hive : hives) {
    WriteCatalog(kThree);
    tree.WriteHive(hive);
    const FileState before = State();
    EXPECT_EQ(catalog.GetExistPlugin(), (List{u"1_1.0", u"2_2.0", u"3_3.0"}));
    EXPECT_EQ(State(), before);
  }
  fs::remove(tree.Install().HivePath());
  const FileState before = State();
  EXPECT_EQ(catalog.GetExistPlugin(), (List{u"1_1.0", u"2_2.0", u"3_3.0"}));
  EXPECT_EQ(State(), before);
}

TEST_F(PluginCatalogTest, GetExistPluginHasNoPathLengthLimit) {
  fs::path game = tree.Root();
  for (int i = 0; i < 4; ++i) game /= std::string(70, static_cast<char>('a' + i));
  fs::create_directories(game / "Interface" / "AddOns" / "Alpha");
  ASSERT_GT((game / "Interface" / "AddOns" / "Alpha").string().size(), 300u);
  tree.WriteHive({{"PluginPath", game.string() + "/"}});
  WriteCatalog(kHead + kAlpha + kBeta + kTail);
  EXPECT_EQ(catalog.GetExistPlugin(), List{u"1_1.0"});
  EXPECT_EQ(Catalog(), kHead + kAlpha + kTail);
}

TEST_F(PluginCatalogTest, IsGoneOnlyWhenTheGameFolderSaysSo) {
  MakeAddOns({"Alpha"});
  EXPECT_FALSE(catalog.IsGone(u"Alpha"));
  EXPECT_FALSE(catalog.IsGone(u"alpha"));  // Wine's names do not keep case
  EXPECT_TRUE(catalog.IsGone(u"Beta"));
  tree.WriteHive({});
  EXPECT_FALSE(catalog.IsGone(u"Beta")) << "without a game folder nothing is known to be gone";
}

enum class Protection { ReadOnlyFile, ReadOnlyFolder };

struct FailedSaveCase {
  const char* name;
  Protection protection;
};
void PrintTo(const FailedSaveCase& c, std::ostream* out) { *out << c.name; }

class FailedSave : public PluginCatalogTest, public ::testing::WithParamInterface<FailedSaveCase> {
 protected:
  void Protect() const {
    const fs::path target = GetParam().protection == Protection::ReadOnlyFile ? CatalogFile() : tree.Root();
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read | fs::perms::others_read);
  }
};

TEST_P(FailedSave, ChangingOperationsReportFailureAndLeaveTheFile) {
  const std::vector<std::pair<const char*, std::function<std::int32_t(const PluginCatalog&)>>> operations = {
      {"AddPlugin", [](const PluginCatalog& c) { return c.AddPlugin(u"4", u"4.0", u"Delta"); }},
      {"RemovePlugin", [](const PluginCatalog& c) { return c.RemovePlugin(u"2"); }},
      {"SetLocalPluginVer", [](const PluginCatalog& c) { return c.SetLocalPluginVer(u"2", u"2.1"); }},
  };
  WriteCatalog(kThree);
  Protect();
  const FileState before = State();
  const testing::WithoutFileOverride asAnOrdinaryUser;
  for (const auto& [name, operation] : operations) {
    EXPECT_EQ(operation(catalog), 0) << name;
    EXPECT_EQ(State(), before) << name;
  }
}

TEST_P(FailedSave, GetExistPluginStillListsWhatIsPresent) {
  WriteCatalog(kThree);
  MakeAddOns({"Alpha", "Gamma"});
  Protect();
  const FileState before = State();
  const testing::WithoutFileOverride asAnOrdinaryUser;
  EXPECT_EQ(catalog.GetExistPlugin(), (List{u"1_1.0", u"3_3.0"}));
  EXPECT_EQ(State(), before);
}

const FailedSaveCase kFailedSaveCases[] = {
    {"ReadOnlyFile", Protection::ReadOnlyFile},
    {"ReadOnlyFolder", Protection::ReadOnlyFolder},
};

INSTANTIATE_TEST_SUITE_P(Cases, FailedSave, ::testing::ValuesIn(kFailedSaveCases), [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace wendrake

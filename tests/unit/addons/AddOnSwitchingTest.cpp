#include "addons/AddOnSwitching.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "addons/Manifest.h"
#include "core/Text.h"
#include "support/TempInstallation.h"

namespace wendrake {
namespace {

namespace fs = std::filesystem;

// Entry names in a folder, sorted; a trailing "/" marks a folder.
using Entries = std::vector<std::string>;
// Add-on folder (relative to Interface/AddOns; "" is that folder itself) -> manifests.
using Folders = std::map<std::string, Entries>;

const Entries kOn = {"RiftAddon.toc"};
const Entries kOff = {"RiftAddon.txt"};

std::string Item(const std::string& pid, const std::string& version, const std::string& name) {
  return "        <item pid=\"" + pid + "\" ver=\"" + version + "\" PlugName=\"" + name + "\" />\r\n";
}
std::string Nameless(const std::string& pid, const std::string& version = "1.0") {
  return "        <item pid=\"" + pid + "\" ver=\"" + version + "\" />\r\n";
}
const std::string kAlpha = Item("1", "1.0", "Alpha");
const std::string kBeta = Item("2", "1.0", "Beta");
const std::string kGamma = Item("3", "1.0", "Gamma");
const std::string kGone = Item("9", "1.0", "Gone");

// A catalogue file in the layout the catalogue is saved in.
std::string Catalogue(const std::vector<std::string>& items) {
  if (items.empty()) return std::string(testing::kEmptyCatalog);
  std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n<Wendrake>\r\n    <plugin>\r\n";
  for (const auto& item : items) text += item;
  return text + "    </plugin>\r\n</Wendrake>\r\n";
}

// The bytes and the inode: a save replaces the file by renaming, so an unchanged
// inode means the file was not written.
struct FileState {
  std::optional<std::string> bytes;
  ino_t inode = 0;
  bool operator==(const FileState&) const = default;
};

class SwitchingTest : public ::testing::Test {
 protected:
  fs::path AddOns() const { return game / "Interface" / "AddOns"; }
  void WriteCatalogue(const std::string& bytes) const { tree.WriteFile("update_info.xml", bytes); }
  void WriteReference(const std::string& bytes) const { tree.WriteFile("update.xml", bytes); }
  std::string ReadCatalogue() const { return tree.ReadFile("update_info.xml"); }
  FileState State() const {
    struct stat info {};
    if (::stat(tree.Install().CatalogPath().c_str(), &info) != 0) return {};
    return {ReadCatalogue(), info.st_ino};
  }

  void MakeEntries(const fs::path& folder, const Entries& entries) const {
    fs::create_directories(folder);
    for (const auto& entry : entries) {
      if (entry.ends_with('/')) {
        fs::create_directories(folder / entry.substr(0, entry.size() - 1));
      } else {
        tree.WriteFile(folder / entry, "manifest");  // an absolute path stays as it is
      }
    }
  }
  void Lay(const Folders& folders) const {
    for (const auto& [folder, entries] : folders) MakeEntries(AddOns() / folder, entries);
  }
  // Only the manifests (any spelling) of a folder: they are what switching changes.
  static Entries Manifests(const fs::path& folder) {
    Entries names;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
      const std::string name = it->path().filename().string();
      if (EqualsIgnoreAsciiCase(std::string_view(name).substr(0, 10), "riftaddon.")) names.push_back(name + (it->is_directory() ? "/" : ""));
    }
    std::ranges::sort(names);
    return names;
  }
  void ExpectFolders(const Folders& expected) const {
    for (const auto& [folder, entries] : expected) EXPECT_EQ(Manifests(AddOns() / folder), entries) << "in folder '" << folder << "'";
  }

  testing::TempInstallation tree;
  fs::path game = tree.MakeGameFolder();
};

TEST_F(SwitchingTest, TwoAddOnsOffAndOnAgainLeavingOthersAlone) {
  WriteCatalogue(Catalogue({kAlpha, kBeta}));
  Lay({{"Alpha", kOn}, {"Beta", kOn}, {"StrayOn", kOn}, {"StrayOff", kOff}});
  const FileState catalogue = State();

  LogofToChangePlugName(tree.Install());
  ExpectFolders({{"Alpha", kOff}, {"Beta", kOff}, {"StrayOn", kOn}, {"StrayOff", kOff}});

  LogofToChangePlugName(tree.Install());
  ExpectFolders({{"Alpha", kOff}, {"Beta", kOff}, {"StrayOn", kOn}, {"StrayOff", kOff}});

  LoginToChangePlugName(tree.Install());
  ExpectFolders({{"Alpha", kOn}, {"Beta", kOn}, {"StrayOn", kOn}, {"StrayOff", kOff}});
  EXPECT_EQ(State(), catalogue);
}

enum class Pass { Logoff, Login };

struct PassCase {
  const char* name;
  Pass pass;
  std::vector<std::string> items;
  std::optional<std::vector<std::string>> reference;  // nothing: no update.xml
  Folders before;
  std::optional<std::vector<std::string>> itemsAfter;  // nothing: catalogue not written
  Folders after;
};
void PrintTo(const PassCase& c, std::ostream* out) { *out << c.name; }

class SwitchingPass : public SwitchingTest, public ::testing::WithParamInterface<PassCase> {};

TEST_P(SwitchingPass, SwitchesAndMaintainsTheCatalogue) {
  const PassCase& c = GetParam();
  WriteCatalogue(Catalogue(c.items));
  if (c.reference) WriteReference(Catalogue(*c.reference));
  Lay(c.before);
  const FileState before = State();

  if (c.pass == Pass::Logoff) {
    LogofToChangePlugName(tree.Install());
  } else {
    LoginToChangePlugName(tree.Install());
  }

  if (c.itemsAfter) {
    EXPECT_EQ(ReadCatalogue(), Catalogue(*c.itemsAfter));
  } else {
    EXPECT_EQ(State(), before);
  }
  ExpectFolders(c.after);
}

const std::vector<std::string> kGammaReference = {Item("5001", "1.0", "Other"), Item("5000", "2.0", "Gamma"), Item("5000", "3.0", "Later")};

const PassCase kPassCases[] = {
    {"LogoffDropsAGoneFirstItemAndTheNextMissesThePass",
     Pass::Logoff,
     {kGone, kBeta, kGamma},
     std::nullopt,
     {{"Beta", kOn}, {"Gamma", kOn}},
     {{kBeta, kGamma}},
     {{"Beta", kOn}, {"Gamma", kOff}}},
    {"LoginRepairPassDropsTheGoneItemBeforeSwitching",
     Pass::Login,
     {kGone, kBeta, kGamma},
     std::nullopt,
     {{"Beta", kOff}, {"Gamma", kOff}},
     {{kBeta, kGamma}},
     {{"Beta", kOn}, {"Gamma", kOn}}},
    {"LoginLeavesACompleteCatalogueUnwritten",
     Pass::Login,
     {kAlpha, kBeta},
     kGammaReference,
     {{"Alpha", kOff}, {"Beta", kOn}},
     std::nullopt,
     {{"Alpha", kOn}, {"Beta", kOn}}},
    // The moved item's placeholder answer "2" must not switch a folder of that name.
    {"LoginCompletesANamelessItemAndSwitchesItLaterInThePass",
     Pass::Login,
     {kAlpha, Nameless("5000"), kBeta},
     kGammaReference,
     {{"Alpha", kOff}, {"Beta", kOff}, {"Gamma", kOff}, {"2", kOff}},
     {{kAlpha, kBeta, Item("5000", "2.0", "Gamma")}},
     {{"Alpha", kOn}, {"Beta", kOff}, {"Gamma", kOn}, {"2", kOff}}},
    {"LoginRepairPassCompletesANamelessFirstItem",
     Pass::Login,
     {Nameless("5000"), kAlpha},
     kGammaReference,
     {{"Alpha", kOff}, {"Gamma", kOff}},
     {{kAlpha, Item("5000", "2.0", "Gamma")}},
     {{"Alpha", kOn}, {"Gamma", kOn}}},
    {"LoginDropsARetiredNamelessItemAndDeletesNothing",
     Pass::Login,
     {Nameless("1730"), kAlpha},
     {{Item("1730", "9.0", "Old")}},
     {{"Alpha", kOff}, {"Old", kOff}},
     {{kAlpha}},
     {{"Alpha", kOn}, {"Old", kOff}}},
    {"LoginKeepsANamelessItemTheReferenceDoesNotList",
     Pass::Login,
     {Nameless("6000"), kAlpha},
     kGammaReference,
     {{"Alpha", kOff}},
     std::nullopt,
     {{"Alpha", kOn}}},
    {"LoginWithoutReferenceCatalogueKeepsNamelessItems",
     Pass::Login,
     {Nameless("5000"), kAlpha},
     std::nullopt,
     {{"Alpha", kOff}, {"Gamma", kOff}},
     std::nullopt,
     {{"Alpha", kOn}, {"Gamma", kOff}}},
    {"LogoffPassesOverNamelessItems",
     Pass::Logoff,
     {Nameless("5000"), kAlpha},
     kGammaReference,
     {{"Alpha", kOn}, {"Gamma", kOn}},
     std::nullopt,
     {{"Alpha", kOff}, {"Gamma", kOn}}},
    {"ManifestsAndFoldersInAnotherCaseAreSwitchedToTheCanonicalName",
     Pass::Logoff,
     {Item("1", "1.0", "alpha"), Item("2", "1.0", "BETA")},
     std::nullopt,
     {{"Alpha", {"riftaddon.TOC"}}, {"Beta", {"RIFTADDON.toc"}}},
     std::nullopt,
     {{"Alpha", kOff}, {"Beta", kOff}}},
    {"NamesOutsideASingleAddOnFolderAreNeverUsed",
     Pass::Logoff,
     {Item("1", "1.0", ""), Item("2", "1.0", "."), Item("3", "1.0", ".."), Item("4", "1.0", "../Outside"), Item("5", "1.0", "Beta/Sub"),
      Item("6", "1.0", "Beta\\Sub"), kAlpha},
     std::nullopt,
     {{"", kOn}, {"..", kOn}, {"../Outside", kOn}, {"Beta/Sub", kOn}, {"Alpha", kOn}},
     std::nullopt,
     {{"", kOn}, {"..", kOn}, {"../Outside", kOn}, {"Beta/Sub", kOn}, {"Alpha", kOff}}},
};

INSTANTIATE_TEST_SUITE_P(Scenarios, SwitchingPass, ::testing::ValuesIn(kPassCases), [](const auto& info) { return std::string(info.param.name); });

TEST_F(SwitchingTest, AnItemThatMissedALoginIsSwitchedAtTheNext) {
  WriteCatalogue(Catalogue({kAlpha, Nameless("5000"), kBeta}));
  WriteReference(Catalogue(kGammaReference));
  Lay({{"Alpha", kOff}, {"Beta", kOff}, {"Gamma", kOff}});
  LoginToChangePlugName(tree.Install());
  ExpectFolders({{"Beta", kOff}});
  LoginToChangePlugName(tree.Install());
  ExpectFolders({{"Alpha", kOn}, {"Beta", kOn}, {"Gamma", kOn}});
}

TEST_F(SwitchingTest, AFailedRenameEndsThePassAtThatAddOn) {
  const struct {
    Pass pass;
    Entries usual;
    Entries both;
    const char* manifest;
  } cases[] = {
      {Pass::Logoff, kOn, {"RiftAddon.toc", "RiftAddon.txt"}, "RiftAddon.toc"},
      {Pass::Logoff, kOn, {"RiftAddon.toc", "riftaddon.TXT"}, "RiftAddon.toc"},
      {Pass::Login, kOff, {"RIFTADDON.TOC", "RiftAddon.txt"}, "RiftAddon.txt"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.both[0] + " " + c.both[1]);
    fs::remove_all(AddOns());
    WriteCatalogue(Catalogue({kAlpha, kBeta, kGamma}));
    Lay({{"Alpha", c.usual}, {"Beta", c.both}, {"Gamma", c.usual}});
    try {
      c.pass == Pass::Logoff ? LogofToChangePlugName(tree.Install()) : LoginToChangePlugName(tree.Install());
      ADD_FAILURE() << "no failure";
    } catch (const ManifestRenameError& failure) {
      EXPECT_EQ(failure.path1(), AddOns() / "Beta" / c.manifest);
      EXPECT_NE(std::string(failure.what()).find(c.manifest), std::string::npos) << failure.what();
    }
    ExpectFolders({{"Alpha", c.usual == kOn ? kOff : kOn}, {"Beta", c.both}, {"Gamma", c.usual}});
  }
}

TEST_F(SwitchingTest, WithoutTheGameFolderNothingIsRenamedOrDropped) {
  WriteCatalogue(Catalogue({kGone, kAlpha, Nameless("1730")}));
  WriteReference(Catalogue({Item("1730", "1.0", "Old")}));
  Lay({{"Alpha", kOn}});
  tree.WriteHive({});
  const FileState before = State();
  LogofToChangePlugName(tree.Install());
  LoginToChangePlugName(tree.Install());
  EXPECT_EQ(State(), before);
  ExpectFolders({{"Alpha", kOn}});
}

TEST_F(SwitchingTest, AnUnloadableCatalogueSwitchesNothing) {
  Lay({{"Alpha", kOn}, {"Beta", kOff}});
  const std::optional<std::string> contents[] = {std::nullopt, "", "<Wendrake><plugin>", std::string(testing::kEmptyCatalog)};
  for (const auto& content : contents) {
    SCOPED_TRACE(content.value_or("(missing)"));
    fs::remove(tree.Install().CatalogPath());
    if (content) WriteCatalogue(*content);
    const FileState before = State();
    LogofToChangePlugName(tree.Install());
    LoginToChangePlugName(tree.Install());
    EXPECT_EQ(State(), before);
    EXPECT_EQ(ResolvePluginFolderName(tree.Install(), 1, tree.Install().ReferenceCatalogPath()), u"");
    ExpectFolders({{"Alpha", kOn}, {"Beta", kOff}});
  }
}

struct ResolveCase {
  const char* name;
  std::string catalogue;
  int index;
  std::optional<std::string> reference;  // update.xml's bytes; nothing: no such file
  bool passReference;
  std::u16string expected;
  std::optional<std::string> catalogueAfter;  // nothing: not written
};
void PrintTo(const ResolveCase& c, std::ostream* out) { *out << c.name; }

class ResolveFolderName : public SwitchingTest, public ::testing::WithParamInterface<ResolveCase> {};

TEST_P(ResolveFolderName, AnswersAndMaintainsTheCatalogue) {
  const ResolveCase& c = GetParam();
  WriteCatalogue(c.catalogue);
  if (c.reference) WriteReference(*c.reference);
  Lay({{"Alpha", kOn}, {"Beta", kOn}, {"Gamma", kOn}});
  const FileState before = State();

  const auto reference = c.passReference ? std::optional(tree.Install().ReferenceCatalogPath()) : std::nullopt;
  EXPECT_EQ(ResolvePluginFolderName(tree.Install(), c.index, reference), c.expected);

  if (c.catalogueAfter) {
    EXPECT_EQ(ReadCatalogue(), *c.catalogueAfter);
  } else {
    EXPECT_EQ(State(), before);
  }
}

const std::string kReference = Catalogue(kGammaReference);
const std::string kSecondContainer = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n<Wendrake>\r\n    <plugin />\r\n    <plugin>\r\n" +
                                     Nameless("5000") + "    </plugin>\r\n</Wendrake>\r\n";

const ResolveCase kResolveCases[] = {
    {"NamedItemWithItsFolder", Catalogue({kAlpha, kBeta}), 2, kReference, true, u"Beta", std::nullopt},
    {"NamedItemFolderInAnotherCase", Catalogue({Item("1", "1.0", "gAMMA")}), 1, std::nullopt, false, u"gAMMA", std::nullopt},
    {"NamedItemWithoutFolderIsDropped", Catalogue({kGone, kBeta}), 1, kReference, true, u"", Catalogue({kBeta})},
    {"NamelessItemMovesToTheEndCompleted", Catalogue({Nameless("5000"), kAlpha}), 1, kReference, true, u"1",
     Catalogue({kAlpha, Item("5000", "2.0", "Gamma")})},
    {"NamelessItemAnswersItsIndex", Catalogue({kAlpha, Nameless("5000"), kBeta}), 2, kReference, true, u"2",
     Catalogue({kAlpha, kBeta, Item("5000", "2.0", "Gamma")})},
    {"NamelessItemTheReferenceDoesNotList", Catalogue({Nameless("6000")}), 1, kReference, true, u"", std::nullopt},
    {"NamelessItemWithoutReference", Catalogue({Nameless("5000")}), 1, kReference, false, u"", std::nullopt},
    {"NamelessItemReferenceMissing", Catalogue({Nameless("5000")}), 1, std::nullopt, true, u"", std::nullopt},
    {"NamelessItemReferenceNotWellFormed", Catalogue({Nameless("5000")}), 1, "<Wendrake><plugin>", true, u"", std::nullopt},
    {"NamelessItemReferenceEntryWithoutFolderName", Catalogue({Nameless("5000")}), 1, Catalogue({Nameless("5000", "2.0")}), true, u"", std::nullopt},
    {"NamelessItemOutsideTheFirstContainerIsNotDuplicated", kSecondContainer, 1, kReference, true, u"", std::nullopt},
    {"ItemWithoutPid", Catalogue({"        <item ver=\"1.0\" PlugName=\"Gone\" />\r\n"}), 1, kReference, true, u"", std::nullopt},
    {"EmptyFolderNameNeverNamesTheAddOnsFolder", Catalogue({Item("1", "1.0", "")}), 1, kReference, true, u"", std::nullopt},
    {"IndexBeyondTheCatalogue", Catalogue({kAlpha}), 2, kReference, true, u"", std::nullopt},
};

INSTANTIATE_TEST_SUITE_P(Cases, ResolveFolderName, ::testing::ValuesIn(kResolveCases), [](const auto& info) { return std::string(info.param.name); });

TEST_F(SwitchingTest, OnlyTheSixRetiredPidsAreDropped) {
  const struct {
    const char* pid;
    bool retired;
  } cases[] = {
      {"1719", true}, {"1720", true},  {"1721", true},   {"1730", true}, {"1732", true},
      {"1733", true}, {"1731", false}, {"17300", false}, {"730", false}, {"01730", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pid);
    WriteCatalogue(Catalogue({Nameless(c.pid), kAlpha}));
    WriteReference(Catalogue({Item(c.pid, "2.0", "Delta")}));
    EXPECT_EQ(ResolvePluginFolderName(tree.Install(), 1, tree.Install().ReferenceCatalogPath()), c.retired ? u"" : u"1");
    EXPECT_EQ(ReadCatalogue(), Catalogue(c.retired ? std::vector{kAlpha} : std::vector{kAlpha, Item(c.pid, "2.0", "Delta")}));
  }
}

struct RenameCase {
  Entries before;
  bool renamed;
  bool fails;
  Entries after;
};

TEST_F(SwitchingTest, RenameManifestNeverReplacesTheOtherName) {
  const RenameCase cases[] = {
      {{"RiftAddon.toc"}, true, false, {"RiftAddon.txt"}},
      {{"riftaddon.TOC"}, true, false, {"RiftAddon.txt"}},
      {{"RiftAddon.toc/"}, true, false, {"RiftAddon.txt/"}},
      {{}, false, false, {}},
      {{"RiftAddon.txt"}, false, false, {"RiftAddon.txt"}},
      {{"RiftAddon.toc", "RiftAddon.txt"}, false, true, {"RiftAddon.toc", "RiftAddon.txt"}},
      {{"RiftAddon.toc", "RIFTADDON.TXT"}, false, true, {"RIFTADDON.TXT", "RiftAddon.toc"}},
      {{"RiftAddon.toc", "RiftAddon.txt/"}, false, true, {"RiftAddon.toc", "RiftAddon.txt/"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.before));
    const fs::path folder = AddOns() / "Alpha";
    fs::remove_all(folder);
    MakeEntries(folder, c.before);
    if (c.fails) {
      EXPECT_THROW(RenameManifest(folder, kActiveManifest, kInactiveManifest), ManifestRenameError);
    } else {
      EXPECT_EQ(RenameManifest(folder, kActiveManifest, kInactiveManifest), c.renamed);
    }
    EXPECT_EQ(Manifests(folder), c.after);
  }
}

TEST_F(SwitchingTest, RenameManifestKeepsWhatTheManifestHolds) {
  const fs::path folder = AddOns() / "Alpha";
  MakeEntries(folder, {});
  tree.WriteFile(folder / "RiftAddon.toc", "## Title: Alpha\n");
  ASSERT_TRUE(RenameManifest(folder, kActiveManifest, kInactiveManifest));
  EXPECT_EQ(tree.ReadFile(folder / "RiftAddon.txt"), "## Title: Alpha\n");
}

}  // namespace
}  // namespace wendrake

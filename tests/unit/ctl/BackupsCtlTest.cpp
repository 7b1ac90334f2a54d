// wendrakectl backups: the snapshots listed, one put back, and its answers to
// words it cannot use.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "platform/AtomicFile.h"
#include "support/ProcessRun.h"
#include "support/TempInstallation.h"
#include "support/ZipBuilder.h"

namespace wendrake {
namespace {

namespace fs = std::filesystem;
using testing::ZipEntrySpec;

class BackupsCtl : public ::testing::Test {
 protected:
  void SetUp() override {
    installation.WriteFile("update_info.xml", testing::kEmptyCatalog);
    addOns = installation.MakeGameFolder() / "Interface" / "AddOns";
  }
  testing::ProcessOutcome Ctl(std::vector<std::string> words) const {
    words.insert(words.begin(), {WENDRAKECTL_PATH, "--root", installation.Root().string()});
    return testing::RunProcess(words);
  }
  void Install(const std::string& folder, const std::string& version) const {
    testing::WriteZip(installation.Root() / "Temp" / "p.zip", {ZipEntrySpec::File(folder + "/RiftAddon.toc", folder + " " + version)});
    ASSERT_EQ(Ctl({"call", "UnzipPlugin", "t", "p"}).status, 0);
  }
  // Each line of `backups list` split at its tabs.
  std::vector<std::vector<std::string>> List(std::vector<std::string> words = {}) const {
    words.insert(words.begin(), {"backups", "list"});
    const auto outcome = Ctl(words);
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    std::vector<std::vector<std::string>> lines;
    std::istringstream text(outcome.out);
    for (std::string line; std::getline(text, line);) {
      std::vector<std::string> fields;
      std::istringstream parts(line);
      for (std::string field; std::getline(parts, field, '\t');) fields.push_back(field);
      if (line.ends_with('\t')) fields.emplace_back();
      lines.push_back(fields);
    }
    return lines;
  }

  testing::TempInstallation installation;
  fs::path addOns;
};

TEST_F(BackupsCtl, ListsNewestFirstAndPutsOneBack) {
  Install("Alpha", "1");
  ASSERT_EQ(Ctl({"call", "AddPlugin", "1719", "1.0", "Alpha"}).status, 0);
  Install("Alpha", "2");
  ASSERT_EQ(Ctl({"call", "SetLocalPluginVer", "1719", "2.0"}).status, 0);
  Install("Beta", "1");
  ASSERT_EQ(Ctl({"call", "RemovePlugfolder", "Beta", "0"}).status, 0);

  const auto all = List();
  ASSERT_EQ(all.size(), 2u);
  const std::regex localTime(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d)");
  for (const auto& fields : all) {
    ASSERT_EQ(fields.size(), 4u);
    EXPECT_TRUE(std::regex_match(fields[3], localTime)) << fields[3];
  }
  EXPECT_EQ(all[0][1], "Beta");
  EXPECT_EQ(all[0][2], "") << "Beta had no catalogue item";
  EXPECT_EQ(all[1][1], "Alpha");
  EXPECT_EQ(all[1][2], "1.0");
  EXPECT_GT(all[0][0], all[1][0]);
  EXPECT_EQ(List({"alpha"}), std::vector<std::vector<std::string>>{all[1]});
  EXPECT_EQ(List({"Gamma"}), std::vector<std::vector<std::string>>{});

  const auto restored = Ctl({"backups", "restore", "Alpha", all[1][0]});
  EXPECT_EQ(restored.status, 0) << restored.err;
  EXPECT_EQ(ReadWholeFile(addOns / "Alpha" / "RiftAddon.toc"), "Alpha 1");
  EXPECT_EQ(Ctl({"call", "ComparePluginVer", "1719", "1.0"}).out, R"({"result": 0, "events": []})"
                                                                  "\n");
  const auto alpha = List({"Alpha"});
  ASSERT_EQ(alpha.size(), 1u);
  EXPECT_EQ(restored.out, alpha[0][0] + "\n") << "the snapshot that undoes the restore";
  EXPECT_EQ(alpha[0][2], "2.0");

  ASSERT_EQ(Ctl({"backups", "restore", "beta", all[0][0]}).status, 0);
  EXPECT_EQ(ReadWholeFile(addOns / "Beta" / "RiftAddon.toc"), "Beta 1");
}

TEST_F(BackupsCtl, AnswersWhatItCannotUse) {
  Install("Alpha", "1");
  Install("Alpha", "2");
  const std::string id = List()[0][0];
  const std::string usage = "wendrakectl: backups takes list [FOLDER] or restore FOLDER ID\n";
  struct Case {
    std::vector<std::string> words;
    int status;
    std::string errStart;
  };
  const Case cases[] = {
      {{"backups"}, 2, usage},
      {{"backups", "show"}, 2, usage},
      {{"backups", "list", "Alpha", "Beta"}, 2, usage},
      {{"backups", "restore", "Alpha"}, 2, usage},
      {{"backups", "restore", "Beta", id}, 1, "wendrakectl: no backup " + id + " of Beta\n"},
      {{"backups", "restore", "Alpha", "../Temp"}, 1, "wendrakectl: no backup ../Temp of Alpha\n"},
  };
  for (const Case& c : cases) {
    const auto outcome = Ctl(c.words);
    EXPECT_EQ(outcome.status, c.status) << c.words.back();
    EXPECT_EQ(outcome.err.substr(0, c.errStart.size()), c.errStart) << c.words.back();
    EXPECT_EQ(outcome.out, "") << c.words.back();
  }
  EXPECT_EQ(ReadWholeFile(addOns / "Alpha" / "RiftAddon.toc"), "Alpha 2");
  installation.WriteHive({});
  const auto outcome = Ctl({"backups", "restore", "Alpha", id});
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err, "wendrakectl: the game's add-on folder is unknown; set PluginPath\n");
}

}  // namespace
}  // namespace wendrake

// Installing and removing add-on folders with wendrakectl against a temporary installation.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/AtomicFile.h"
#include "support/ProcessRun.h"
#include "support/TempInstallation.h"
#include "support/ZipBuilder.h"

namespace wendrake {
namespace {

namespace fs = std::filesystem;
using testing::ZipEntrySpec;

class AddOnFilesCtl : public ::testing::Test {
 protected:
  void SetUp() override {
    installation.WriteFile("update_info.xml", testing::kEmptyCatalog);
    game = installation.MakeGameFolder();
  }
  std::string Line(std::vector<std::string> words) const {
    words.insert(words.begin(), {WENDRAKECTL_PATH, "--root", installation.Root().string()});
    const auto outcome = testing::RunProcess(words);
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    return outcome.out;
  }
  fs::path Package(const std::string& name) const {
    const fs::path archive = installation.Root() / "Temp" / (name + ".zip");
    testing::WriteZip(archive, {ZipEntrySpec::Folder(name + "/"), ZipEntrySpec::File(name + "/RiftAddon.toc", name)});
    return archive;
  }

  testing::TempInstallation installation;
  fs::path game;
};

TEST_F(AddOnFilesCtl, InstallsAndRemovesAddOnFolders) {
  const fs::path addOns = game / "Interface" / "AddOns";
  const fs::path alpha = Package("Alpha");
  EXPECT_EQ(Line({"call", "UnzipPlugin", "t", "Alpha"}), R"({"result": 1, "events": [{"page": "UnzipFinished", "args": ["t", "Alpha"], "ok": true}]})"
                                                         "\n");
  EXPECT_EQ(ReadWholeFile(addOns / "Alpha" / "RiftAddon.toc"), "Alpha");
  EXPECT_FALSE(fs::exists(alpha));

  Package("Beta");
  EXPECT_EQ(Line({"--page-functions", "", "call", "UnzipPlugin", "t", "Beta"}),
            R"({"result": -4, "events": [{"page": "UnzipFinished", "args": ["t", "Beta"], "ok": false}, {"msgbox": "1006"}]})"
            "\n");
  EXPECT_TRUE(fs::exists(addOns / "Beta" / "RiftAddon.toc"));
  EXPECT_EQ(Line({"call", "UnzipPlugin", "t", "Gamma"}), R"({"result": -2, "events": [{"msgbox": "1004"}]})"
                                                         "\n");

  EXPECT_EQ(Line({"call", "AddPlugin", "1719", "1.0", "Alpha"}), R"({"result": 1, "events": []})"
                                                                 "\n");
  const std::pair<std::vector<std::string>, std::string> removals[] = {
      {{"call", "RemovePlugfolder", "..", "1719"}, R"({"result": 0, "events": []})"},
      {{"call", "RemovePlugfolder", "Alpha", "1719"}, R"({"result": 1, "events": []})"},
      {{"call", "RemovePlugfolder", "Beta", "1720"}, R"({"result": 0, "events": []})"},
  };
  for (const auto& [words, line] : removals) EXPECT_EQ(Line(words), line + "\n") << words[2];
  EXPECT_TRUE(fs::is_directory(addOns));
  EXPECT_TRUE(fs::is_empty(addOns));
  EXPECT_EQ(Line({"call", "GetPluginCount"}), R"({"result": 0, "events": []})"
                                              "\n");
}

}  // namespace
}  // namespace wendrake

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <random>

#include "platform/AtomicFile.h"
#include "platform/ZipArchive.h"
#include "support/TempInstallation.h"
#include "support/WithoutFileOverride.h"
#include "support/ZipBuilder.h"

namespace wendrake {
namespace {

namespace fs = std::filesystem;
using testing::ZipEntrySpec;

std::string Noise(size_t size, unsigned seed) {
  std::mt19937 generator(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(generator());
  return bytes;
}

// Flips the byte `offset` bytes after the first occurrence of `marker`.
void Damage(const fs::path& file, std::string_view marker, size_t offset) {
  std::string bytes = *ReadWholeFile(file);
  const size_t at = bytes.find(marker);
  ASSERT_NE(at, std::string::npos);
  bytes[at + offset] = static_cast<char>(~bytes[at + offset]);
  ASSERT_TRUE(ReplaceFileContent(file, bytes));
}

std::vector<std::string> Listing(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class ZipArchiveTest : public ::testing::Test {
 protected:
  fs::path Zip(const std::vector<ZipEntrySpec>& entries) {
    const fs::path archive = tree.Root() / "Temp" / "test.zip";
    testing::WriteZip(archive, entries);
    return archive;
  }
  fs::path Out() const { return tree.Root() / "out"; }
  void SetUp() override { fs::create_directories(Out()); }

  testing::TempInstallation tree;
  ZipArchive zip;
};

TEST_F(ZipArchiveTest, OpensOnlyZipArchives) {
  const fs::path archive = Zip({ZipEntrySpec::File("a.txt", "a")});
  std::string whole = *ReadWholeFile(archive);
  const std::pair<std::string, fs::path> cases[] = {
      {"missing", tree.Root() / "Temp" / "missing.zip"},
      {"text", tree.WriteFile("Temp/text.zip", "this is no archive")},
      {"empty", tree.WriteFile("Temp/empty.zip", "")},
      {"folder", tree.Root() / "Temp"},
      {"cut in half", tree.WriteFile("Temp/half.zip", whole.substr(0, whole.size() / 2))},
  };
  for (const auto& [what, path] : cases) {
    EXPECT_FALSE(zip.Open(path)) << what;
    EXPECT_FALSE(zip.IsOpen()) << what;
    EXPECT_EQ(zip.EntryCount(), std::nullopt) << what;
  }
  ASSERT_TRUE(zip.Open(archive));
  EXPECT_EQ(zip.EntryCount(), 1u);
  zip.Close();
  EXPECT_EQ(zip.EntryCount(), std::nullopt);
  // The directory's end record survives but the directory it points to is cut.
  ASSERT_TRUE(zip.Open(tree.WriteFile("Temp/cut.zip", whole.substr(0, whole.size() - 10))));
  EXPECT_EQ(zip.EntryCount(), std::nullopt);
}

TEST_F(ZipArchiveTest, ReportsEachEntrysKindFromItsAttributes) {
  struct Case {
    ZipEntrySpec spec;
    bool folder, link, readOnly, encrypted;
  };
  const Case cases[] = {
      {ZipEntrySpec::File("Alpha/RiftAddon.toc", "toc"), false, false, false, false},
      {ZipEntrySpec::Folder("Alpha/"), true, false, false, false},
      {ZipEntrySpec::Folder("NoSlash"), true, false, false, false},
      {ZipEntrySpec::UnixFolder("Unix"), true, false, false, false},
      {ZipEntrySpec::File("Slashed/", ""), true, false, false, false},
      {ZipEntrySpec::File("Back\\slashed\\", ""), true, false, false, false},
      {ZipEntrySpec::Link("link", "/etc/passwd"), false, true, false, false},
      {ZipEntrySpec::File("dos-ro.txt", "x").DosAttributes(testing::kDosReadOnly), false, false, true, false},
      {ZipEntrySpec::UnixFile("unix-ro.txt", "x", 0444), false, false, true, false},
      {ZipEntrySpec::UnixFile("unix-rw.txt", "x", 0644), false, false, false, false},
      {ZipEntrySpec::File("secret.txt", "x").Encrypted("pw"), false, false, false, true},
  };
  std::vector<ZipEntrySpec> specs;
  for (const Case& c : cases) specs.push_back(c.spec);
  ASSERT_TRUE(zip.Open(Zip(specs)));
  ASSERT_EQ(zip.EntryCount(), std::size(cases));
  // Backwards first: indexes are reachable in any order.
  for (size_t i = std::size(cases); i-- > 0;) {
    const auto entry = zip.Entry(i);
    ASSERT_TRUE(entry) << i;
    EXPECT_EQ(entry->name, cases[i].spec.name);
    EXPECT_EQ(entry->isFolder, cases[i].folder) << entry->name;
    EXPECT_EQ(entry->isLink, cases[i].link) << entry->name;
    EXPECT_EQ(entry->readOnly, cases[i].readOnly) << entry->name;
    EXPECT_EQ(entry->encrypted, cases[i].encrypted) << entry->name;
  }
  EXPECT_EQ(zip.Entry(std::size(cases)), std::nullopt);
}

TEST_F(ZipArchiveTest, CountsTheDirectoryWhenTheArchiveCannotSayHowManyEntriesItHolds) {
  // minizip's writer, like others without ZIP64, records 0xFFFF for this many.
  std::vector<ZipEntrySpec> specs;
  for (int i = 0; i < 70000; ++i) specs.push_back(ZipEntrySpec::File("f" + std::to_string(i), "").Stored());
  ASSERT_TRUE(zip.Open(Zip(specs)));
  EXPECT_EQ(zip.EntryCount(), 70000u);
  EXPECT_EQ(zip.Entry(69999)->name, "f69999");
}

TEST_F(ZipArchiveTest, ReadsNamesInTheEncodingTheArchiverWrote) {
  struct Case {
    ZipEntrySpec spec;
    std::optional<std::string> name;  // nothing: the entry cannot be named
  };
  const Case cases[] = {
      {ZipEntrySpec::File("Plain/ascii.txt", "x"), "Plain/ascii.txt"},
      {ZipEntrySpec::File("\xB2\xE5\xBC\xFE\\\xC4\xE3\xBA\xC3.txt", "x"), "\u63D2\u4EF6\\\u4F60\u597D.txt"},
      {ZipEntrySpec::File("\u63D2\u4EF6/a.txt", "x").MarkedUtf8(), "\u63D2\u4EF6/a.txt"},
      {ZipEntrySpec::File("\xB2\xE5\xBC\xFE/a.txt", "x").WithUnicodePath("\u63D2\u4EF6 (unicode)/a.txt"), "\u63D2\u4EF6 (unicode)/a.txt"},
      {ZipEntrySpec::File("\xFF\xFE.txt", "x").MarkedUtf8(), std::nullopt},
      {ZipEntrySpec::File("\xFF\xFF.txt", "x"), std::nullopt},
  };
  std::vector<ZipEntrySpec> specs;
  for (const Case& c : cases) specs.push_back(c.spec);
  ASSERT_TRUE(zip.Open(Zip(specs)));
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto entry = zip.Entry(i);
    EXPECT_EQ(entry ? std::optional(entry->name) : std::nullopt, cases[i].name) << i;
  }
}

TEST_F(ZipArchiveTest, ExtractsStoredAndDeflatedContent) {
  const std::string text(300000, 'a');
  const std::string noise = Noise(200000, 7);  // several read buffers, incompressible
  const std::vector<ZipEntrySpec> specs = {
      ZipEntrySpec::File("deflated-text", text),
      ZipEntrySpec::File("stored-text", text).Stored(),
      ZipEntrySpec::File("deflated-noise", noise),
      ZipEntrySpec::File("stored-noise", noise).Stored(),
      ZipEntrySpec::File("empty", ""),
      ZipEntrySpec::File("empty-stored", "").Stored(),
  };
  ASSERT_TRUE(zip.Open(Zip(specs)));
  for (size_t i = 0; i < specs.size(); ++i) {
    ASSERT_TRUE(zip.ExtractTo(i, Out() / specs[i].name)) << specs[i].name;
    EXPECT_EQ(ReadWholeFile(Out() / specs[i].name), specs[i].content) << specs[i].name;
  }
  EXPECT_EQ(Listing(Out()).size(), specs.size()) << "no temporary file is left behind";
}

TEST_F(ZipArchiveTest, GivesTheFileItsReadOnlyStateAndTime) {
  std::tm local{};
  local.tm_year = 2019 - 1900;
  local.tm_mon = 6;
  local.tm_mday = 14;
  local.tm_hour = 9;
  local.tm_min = 30;
  local.tm_sec = 42;
  std::tm forMktime = local;
  forMktime.tm_isdst = -1;
  const std::time_t dosTime = std::mktime(&forMktime);
  ASSERT_TRUE(zip.Open(Zip({
      ZipEntrySpec::File("plain", "p").At(local),
      ZipEntrySpec::File("dos-ro", "d").DosAttributes(testing::kDosReadOnly).At(local),
      ZipEntrySpec::UnixFile("unix-ro", "u", 0444).At(local).AtUtc(1234567891),
  })));
  struct Case {
    std::string name;
    bool writable;
    std::time_t modified;
  };
  const Case cases[] = {{"plain", true, dosTime}, {"dos-ro", false, dosTime}, {"unix-ro", false, 1234567891}};
  for (size_t i = 0; i < std::size(cases); ++i) {
    ASSERT_TRUE(zip.ExtractTo(i, Out() / cases[i].name));
    struct stat written {};
    ASSERT_EQ(::lstat((Out() / cases[i].name).c_str(), &written), 0);
    EXPECT_TRUE(S_ISREG(written.st_mode));
    EXPECT_EQ((written.st_mode & 0222) == 0, !cases[i].writable) << cases[i].name;
    EXPECT_EQ(written.st_mtim.tv_sec, cases[i].modified) << cases[i].name;
  }
}

TEST_F(ZipArchiveTest, ReplacesWhatTheTargetNameHeldWithoutFollowingLinks) {
  ASSERT_TRUE(zip.Open(Zip({ZipEntrySpec::File("new.txt", "new")})));
  const fs::path outside = tree.WriteFile("outside/victim.txt", "untouched");
  {
    const testing::WithoutFileOverride asAUser;
    const fs::path readOnly = tree.WriteFile("out/read-only.txt", "old content");
    fs::permissions(readOnly, fs::perms::owner_read);
    fs::create_symlink(outside, Out() / "link.txt");
    fs::create_symlink(tree.Root() / "outside" / "dangling.txt", Out() / "dangling.txt");
    for (const char* name : {"read-only.txt", "link.txt", "dangling.txt"}) {
      ASSERT_TRUE(zip.ExtractTo(0, Out() / name)) << name;
      EXPECT_FALSE(fs::is_symlink(Out() / name)) << name;
      EXPECT_EQ(ReadWholeFile(Out() / name), "new") << name;
    }
  }
  EXPECT_EQ(ReadWholeFile(outside), "untouched");
  EXPECT_EQ(Listing(tree.Root() / "outside"), std::vector<std::string>{"victim.txt"});
}

TEST_F(ZipArchiveTest, RefusesWhatItCannotWriteAndLeavesTheTargetAsItWas) {
  const std::string content = "stored content whose checksum will not match";
  const fs::path archive = Zip({
      ZipEntrySpec::File("ok.txt", "ok"),
      ZipEntrySpec::Folder("Folder/"),
      ZipEntrySpec::Link("link", "/etc/passwd"),
      ZipEntrySpec::File("secret.txt", "secret").Encrypted("pw"),
      ZipEntrySpec::File("damaged.txt", content).Stored(),
      ZipEntrySpec::File("damaged-deflated.txt", Noise(5000, 3)),
  });
  Damage(archive, content, 5);
  Damage(archive, "damaged-deflated.txt", 40);
  tree.WriteFile("out/damaged.txt", "previous");
  ASSERT_TRUE(zip.Open(archive));
  const std::pair<size_t, fs::path> cases[] = {
      {0, Out() / "missing-folder" / "ok.txt"},
      {0, Out() / "out-is-a-folder"},
      {1, Out() / "Folder"},
      {2, Out() / "link"},
      {3, Out() / "secret.txt"},
      {4, Out() / "damaged.txt"},
      {5, Out() / "damaged-deflated.txt"},
  };
  fs::create_directories(Out() / "out-is-a-folder");
  for (const auto& [index, target] : cases) EXPECT_FALSE(zip.ExtractTo(index, target)) << target;
  EXPECT_FALSE(fs::exists(Out() / "missing-folder"));
  EXPECT_EQ(Listing(Out()), (std::vector<std::string>{"damaged.txt", "out-is-a-folder"}));
  EXPECT_EQ(ReadWholeFile(Out() / "damaged.txt"), "previous");
  EXPECT_TRUE(zip.ExtractTo(0, Out() / "ok.txt")) << "one bad entry spoils no other";
}

TEST_F(ZipArchiveTest, UnreadableDirectoryRecordsEndTheListing) {
  const fs::path archive = Zip({ZipEntrySpec::File("first", "1"), ZipEntrySpec::File("second", "2"), ZipEntrySpec::File("third", "3")});
  const std::string whole = *ReadWholeFile(archive);
  const size_t directory = whole.find("PK\x01\x02");
  const size_t secondRecord = whole.find("PK\x01\x02", directory + 4);

  std::string damaged = whole;
  damaged[secondRecord + 3] = 9;
  const fs::path secondBad = tree.WriteFile("Temp/second-bad.zip", damaged);
  ASSERT_TRUE(zip.Open(secondBad));
  EXPECT_EQ(zip.EntryCount(), 3u);
  EXPECT_EQ(zip.Entry(0)->name, "first");
  EXPECT_EQ(zip.Entry(1), std::nullopt);
  EXPECT_EQ(zip.Entry(2), std::nullopt);
  EXPECT_EQ(zip.Entry(0)->name, "first");

  damaged = whole;
  damaged[directory + 3] = 9;
  const fs::path firstBad = tree.WriteFile("Temp/first-bad.zip", damaged);
  ASSERT_TRUE(zip.Open(firstBad));
  EXPECT_EQ(zip.EntryCount(), std::nullopt);
}

}  // namespace
}  // namespace wendrake

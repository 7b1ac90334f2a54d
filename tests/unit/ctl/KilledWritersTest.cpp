// wendrakectl killed at any moment of a save, an installation, a snapshot or a
// restore: every file stays whole, each add-on is its old state or its new one,
// every snapshot listed is whole, and what the kill left half made goes (a
// restore is undone) at the next start.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <iostream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "addons/AddOnSnapshots.h"
#include "addons/PluginCatalog.h"
#include "commands/SettingsStore.h"
#include "core/Text.h"
#include "platform/AtomicFile.h"
#include "support/TempInstallation.h"
#include "support/ZipBuilder.h"

namespace wendrake {
namespace {

namespace fs = std::filesystem;
using testing::ZipEntrySpec;

constexpr int kRounds = 200;

pid_t Start(const std::string& root, const std::vector<std::string>& words) {
  const pid_t child = ::fork();
  if (child != 0) return child;
  const int null = ::open("/dev/null", O_WRONLY);
  ::dup2(null, 1);
  ::dup2(null, 2);
  std::vector<const char*> argv{WENDRAKECTL_PATH, "--root", root.c_str()};
  for (const auto& word : words) argv.push_back(word.c_str());
  argv.push_back(nullptr);
  ::execv(argv[0], const_cast<char* const*>(argv.data()));
  ::_exit(127);
}

int Wait(pid_t child) {
  int status = 0;
  ::waitpid(child, &status, 0);
  return status;
}

// How long one whole call takes, so the kills spread over all of it.
std::chrono::microseconds Duration(const std::string& root, const std::vector<std::string>& words) {
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Wait(Start(root, words)), 0);
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
}

// Kills calls at random moments within a span that follows how long calls take
// on this machine now: longer after a kill, shorter after a call that ended, so
// about half the calls are killed at some moment of their work.
class Killer {
 public:
  explicit Killer(std::chrono::microseconds start) : within_(start) {}

  // True when the call was killed before its end.
  bool KillPartWay(const std::string& root, const std::vector<std::string>& words) {
    const pid_t child = Start(root, words);
    ::usleep(static_cast<useconds_t>(std::uniform_int_distribution<long>(0, within_.count())(random_)));
    ::kill(child, SIGKILL);
    const bool killed = WIFSIGNALED(Wait(child));
    within_ = killed ? within_ * 11 / 10 : within_ * 10 / 11;
    killed_ += killed;
    return killed;
  }
  int Killed() const { return killed_; }

 private:
  std::chrono::microseconds within_;
  std::mt19937 random_{20261211};
  int killed_ = 0;
};

std::set<std::string> Leftovers(const fs::path& folder, const std::string& prefix) {
  std::set<std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    if (entry.path().filename().string().starts_with(prefix)) found.insert(entry.path().lexically_relative(folder).string());
  return found;
}

TEST(KilledWriters, SavesKilledAtAnyMomentLeaveEveryFileWhole) {
  testing::TempInstallation tree;
  tree.MakeGameFolder();
  std::vector<std::string> names;
  for (int i = 0; i < 3000; ++i) names.push_back("Existing" + std::to_string(i));
  tree.WriteCatalog(names);
  const std::string root = tree.Root().string();
  Killer killer(Duration(root, {"call", "AddPlugin", "99999", "1.0", "Probe"}));
  Duration(root, {"call", "RemovePlugin", "99999"});

  int count = static_cast<int>(names.size());
  for (int round = 0; round < kRounds; ++round) {
    const std::string n = std::to_string(round);
    const std::vector<std::string> words = round % 2 ? std::vector<std::string>{"settings", "set", "Note" + n, std::string(2000, 'x')}
                                                     : std::vector<std::string>{"call", "AddPlugin", "5" + n, "1.0", "Added" + n};
    killer.KillPartWay(root, words);
    const int now = PluginCatalog(tree.Install()).GetPluginCount();
    ASSERT_TRUE(now == count || now == count + 1) << "round " << round << ": " << now << " items";
    count = now;
    ASSERT_EQ(OpenSettingsKey(tree.Install()).QueryValue(SettingsValue::PluginPath), ToUtf16((tree.Root() / "game").string() + "/"))
        << "round " << round;
  }
  std::cout << killer.Killed() << " of " << kRounds << " saves killed before their end\n";
  EXPECT_EQ(Wait(Start(root, {"call", "GetPluginCount"})), 0);
  EXPECT_EQ(Leftovers(tree.Root(), ".update_info.xml."), std::set<std::string>{});
  EXPECT_EQ(Leftovers(tree.Root(), ".registry.reg."), std::set<std::string>{});
}

TEST(KilledWriters, InstallationsKilledAtAnyMomentLeaveTheOldAddOnOrTheNew) {
  testing::TempInstallation tree;
  const fs::path addOns = tree.MakeGameFolder() / "Interface" / "AddOns";
  const std::string root = tree.Root().string();
  auto package = [&](int version) {
    std::vector<ZipEntrySpec> entries;
    for (int i = 0; i < 100; ++i) entries.push_back(ZipEntrySpec::File("Alpha/f" + std::to_string(i) + ".lua", "version " + std::to_string(version)));
    testing::WriteZip(tree.Root() / "Temp" / "Alpha.zip", entries);
  };
  const std::vector<std::string> words = {"call", "UnzipPlugin", "t", "Alpha"};
  package(0);
  Killer killer(Duration(root, words));

  for (int round = 1; round <= kRounds; ++round) {
    package(round);
    const bool killed = killer.KillPartWay(root, words);
    std::set<std::string> contents;
    int files = 0;
    for (const auto& entry : fs::directory_iterator(addOns / "Alpha")) {
      ++files;
      contents.insert(*ReadWholeFile(entry.path()));
    }
    ASSERT_EQ(files, 100) << "round " << round;
    ASSERT_EQ(contents.size(), 1u) << "round " << round << ": a mix of versions";
    if (!killed) {
      ASSERT_EQ(*contents.begin(), "version " + std::to_string(round));
    }
  }
  std::cout << killer.Killed() << " of " << kRounds << " installations killed before their end\n";
  EXPECT_EQ(Wait(Start(root, {"call", "GetPluginCount"})), 0);
  EXPECT_EQ(Leftovers(addOns, ".wendrake"), std::set<std::string>{});
}

// An add-on of 100 files "version N" as one package.
void WriteVersionedPackage(const testing::TempInstallation& tree, int version) {
  std::vector<ZipEntrySpec> entries;
  for (int i = 0; i < 100; ++i) entries.push_back(ZipEntrySpec::File("Alpha/f" + std::to_string(i) + ".lua", "version " + std::to_string(version)));
  testing::WriteZip(tree.Root() / "Temp" / "Alpha.zip", entries);
}

// N when the folder holds the whole add-on of version N, else nothing.
std::optional<std::string> VersionOf(const fs::path& folder) {
  std::set<std::string> contents;
  int files = 0;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    ++files;
    contents.insert(ReadWholeFile(it->path()).value_or(""));
  }
  if (files != 100 || contents.size() != 1 || !contents.begin()->starts_with("version ")) return std::nullopt;
  return contents.begin()->substr(8);
}

// Every snapshot listed holds a whole add-on of the version its item names.
void ExpectSnapshotsWhole(const testing::TempInstallation& tree, const std::string& when) {
  for (const Snapshot& snapshot : ListSnapshots(tree.Install())) {
    const std::optional<std::string> version = VersionOf(SnapshotContent(tree.Install(), snapshot.id));
    ASSERT_TRUE(version) << when << ": snapshot " << snapshot.id << " is not whole";
    ASSERT_TRUE(snapshot.item) << when;
    ASSERT_EQ(snapshot.item->version, version) << when << ": snapshot " << snapshot.id;
  }
}

TEST(KilledWriters, SnapshotsOfKilledInstallationsAreWholeOrAbsent) {
  testing::TempInstallation tree;
  const fs::path addOns = tree.MakeGameFolder() / "Interface" / "AddOns";
  tree.WriteCatalog({"Alpha"});
  const std::string root = tree.Root().string();
  const std::vector<std::string> words = {"call", "UnzipPlugin", "t", "Alpha"};
  WriteVersionedPackage(tree, 0);
  Killer killer(Duration(root, words));

  for (int round = 1; round <= kRounds; ++round) {
    const std::string when = "round " + std::to_string(round);
    // The catalogue names the version installed, as the page keeps it.
    const std::optional<std::string> live = VersionOf(addOns / "Alpha");
    ASSERT_TRUE(live) << when;
    ASSERT_EQ(PluginCatalog(tree.Install()).SetLocalPluginVer(u"1", ToUtf16(*live)), 1) << when;
    WriteVersionedPackage(tree, round);
    killer.KillPartWay(root, words);
    ExpectSnapshotsWhole(tree, when);
    ASSERT_LE(ListSnapshots(tree.Install()).size(), 5u) << when;
    // Once the next start has cleared up, the version an update replaced is kept.
    ASSERT_EQ(Wait(Start(root, {"call", "GetPluginCount"})), 0) << when;
    const std::optional<std::string> now = VersionOf(addOns / "Alpha");
    ASSERT_TRUE(now) << when;
    if (*now != *live) {
      const std::vector<Snapshot> kept = ListSnapshots(tree.Install());
      ASSERT_FALSE(kept.empty()) << when << ": version " << *live << " was replaced and not kept";
      ASSERT_EQ(VersionOf(SnapshotContent(tree.Install(), kept.front().id)), live) << when << ": the newest snapshot is not what was replaced";
    }
  }
  std::cout << killer.Killed() << " of " << kRounds << " installations killed before their end\n";
  EXPECT_EQ(Wait(Start(root, {"call", "GetPluginCount"})), 0);
  EXPECT_EQ(Leftovers(BackupsFolder(tree.Install()), "."), std::set<std::string>{});
  EXPECT_EQ(Leftovers(addOns, ".wendrake"), std::set<std::string>{});
}

TEST(KilledWriters, RestoresKilledAtAnyMomentLeaveTheOldAddOnAndItemOrTheNew) {
  testing::TempInstallation tree;
  const fs::path addOns = tree.MakeGameFolder() / "Interface" / "AddOns";
  tree.WriteCatalog({"Alpha"});
  const std::string root = tree.Root().string();
  for (const int version : {1, 2}) {
    WriteVersionedPackage(tree, version);
    ASSERT_EQ(Wait(Start(root, {"call", "UnzipPlugin", "t", "Alpha"})), 0);
    ASSERT_EQ(PluginCatalog(tree.Install()).SetLocalPluginVer(u"1", ToUtf16(std::to_string(version))), 1);
  }
  const auto restoreNewest = [&] { return std::vector<std::string>{"backups", "restore", "Alpha", ListSnapshots(tree.Install()).front().id}; };
  Killer killer(Duration(root, restoreNewest()));

  for (int round = 1; round <= kRounds; ++round) {
    const std::string when = "round " + std::to_string(round);
    const std::vector<std::string> words = restoreNewest();
    const std::optional<std::string> before = VersionOf(addOns / "Alpha");
    const std::optional<std::string> restoring = VersionOf(SnapshotContent(tree.Install(), words.back()));
    const bool killed = killer.KillPartWay(root, words);
    // The next start undoes what a kill left half done.
    ASSERT_EQ(Wait(Start(root, {"call", "GetPluginCount"})), 0) << when;
    const std::optional<std::string> now = VersionOf(addOns / "Alpha");
    ASSERT_TRUE(now) << when << ": the add-on is not whole";
    ASSERT_TRUE(*now == *before || *now == *restoring) << when;
    if (!killed) {
      ASSERT_EQ(*now, *restoring) << when;
    }
    ASSERT_EQ(PluginCatalog(tree.Install()).ComparePluginVer(u"1", ToUtf16(*now)), 0) << when << ": the item does not name the add-on's version";
    ASSERT_EQ(PluginCatalog(tree.Install()).GetPluginCount(), 1) << when;
    ExpectSnapshotsWhole(tree, when);
  }
  std::cout << killer.Killed() << " of " << kRounds << " restores killed before their end\n";
  EXPECT_EQ(Leftovers(BackupsFolder(tree.Install()), "."), std::set<std::string>{});
  EXPECT_EQ(Leftovers(addOns, ".wendrake"), std::set<std::string>{});
}

}  // namespace
}  // namespace wendrake

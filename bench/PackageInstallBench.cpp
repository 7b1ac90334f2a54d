// Installs one large add-on package with UnzipPlugin (through the bridge, on a
// headless page host) and with Info-ZIP's `unzip`, and prints both times.
//
//   package_install_bench [RUNS] [--updates-only]
//
// Also one folder of 10,000 and of 100,000 small files, where the cost of finding
// each name without regard to case shows; and an update of the installed large
// package with its snapshots beside the same update without (an installation
// without a catalogue keeps none).
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "addons/AddOnSnapshots.h"
#include "pagehost/HeadlessHost.h"
#include "pagehost/ScriptBridge.h"
#include "support/ProcessRun.h"
#include "support/TempInstallation.h"
#include "support/ZipBuilder.h"

namespace {

namespace fs = std::filesystem;
using wendrake::testing::ZipEntrySpec;

constexpr int kFiles = 2000;
constexpr int kFoldersPerAddOn = 5;
constexpr int kFilesPerFolder = 40;

// Lua-like text (compresses well) and noise (as textures and sounds, which do not).
std::string Content(std::mt19937& random, bool text, size_t size) {
  std::string bytes;
  bytes.reserve(size);
  if (text) {
    static const char* const words[] = {
        "local ", "function ", "end\n", "return ", "self.", "frame:", "SetPoint(", "\"TOPLEFT\", ", "nil", "true", ")\n", "  "};
    while (bytes.size() < size) bytes += words[random() % std::size(words)];
    bytes.resize(size);
  } else {
    while (bytes.size() < size) {
      const auto value = random();
      bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
    }
    bytes.resize(size);
  }
  return bytes;
}

std::vector<ZipEntrySpec> LargePackage(size_t& totalBytes) {
  std::mt19937 random(1719);
  std::vector<ZipEntrySpec> entries;
  totalBytes = 0;
  for (int file = 0; file < kFiles; ++file) {
    const int folder = file / kFilesPerFolder;
    const std::string addOn = "AddOn" + std::to_string(folder / kFoldersPerAddOn);
    const std::string path = addOn + "/Part" + std::to_string(folder % kFoldersPerAddOn) + "/";
    if (file % kFilesPerFolder == 0) {
      if (folder % kFoldersPerAddOn == 0) entries.push_back(ZipEntrySpec::Folder(addOn + "/"));
      entries.push_back(ZipEntrySpec::Folder(path));
    }
    const bool text = file % 2 == 0;
    const size_t size = 1024 + random() % (text ? 24 * 1024 : 48 * 1024);
    totalBytes += size;
    entries.push_back(ZipEntrySpec::File(path + "file" + std::to_string(file) + (text ? ".lua" : ".tga"), Content(random, text, size)));
  }
  return entries;
}

double Seconds(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

size_t CountFiles(const fs::path& folder) {
  size_t count = 0;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) count += entry.is_regular_file();
  return count;
}

// The same package installed both ways, `runs` times each, alternating.
bool Compare(const std::vector<ZipEntrySpec>& entries, size_t files, int runs) {
  wendrake::testing::TempInstallation installation;
  const fs::path game = installation.MakeGameFolder();
  const fs::path addOns = game / "Interface" / "AddOns";
  const fs::path master = installation.Root() / "bench-package.zip";
  const fs::path archive = installation.Root() / "Temp" / "bench.zip";
  const fs::path unzipTarget = installation.Root() / "unzip-target";
  wendrake::testing::WriteZip(master, entries);
  std::printf("  archive %.1f MB; %d runs each\n", static_cast<double>(fs::file_size(master)) / 1e6, runs);
  std::fflush(stdout);

  wendrake::HeadlessHost host;
  const wendrake::PageHost view(installation.Install(), host, host, host.Services());
  std::vector<double> ours, infoZip;
  for (int run = 0; run < runs; ++run) {
    // Each run installs afresh; preparing the folders and the archive is not timed.
    fs::remove_all(addOns);
    fs::copy_file(master, archive, fs::copy_options::overwrite_existing);
    wendrake::InvokeOutcome outcome;
    ours.push_back(Seconds([&] { outcome = wendrake::ScriptBridge::Call(view, u"UnzipPlugin", {u"bench", u"bench"}); }));
    const size_t installed = CountFiles(addOns);
    if (outcome.code != wendrake::S_OK || std::get<std::int32_t>(outcome.result) != 1 || installed != files) {
      std::fprintf(stderr, "UnzipPlugin did not install the package (answer %d, %zu files of %zu)\n",
                   outcome.code == wendrake::S_OK ? std::get<std::int32_t>(outcome.result) : 0, installed, files);
      return false;
    }

    fs::remove_all(unzipTarget);
    wendrake::testing::ProcessOutcome unzip;
    infoZip.push_back(Seconds([&] {
      unzip = wendrake::testing::RunProcess({"/usr/bin/unzip", "-o", "-q", master.string(), "-d", unzipTarget.string()});
    }));
    // Over 65,535 entries unzip complains (status 3) that the directory holds more
    // than the count minizip's writer records, and extracts them all the same.
    const bool unzipDone = unzip.status == 0 || (unzip.status == 3 && files > 0xFFFF);
    if (!unzipDone || CountFiles(unzipTarget) != files) {
      std::fprintf(stderr, "unzip failed (%d): %s\n", unzip.status, unzip.err.c_str());
      return false;
    }
  }

  const auto report = [](const char* what, const std::vector<double>& times) {
    std::printf("  %-22s median %9.1f ms   best %9.1f ms\n", what, Median(times) * 1e3, *std::min_element(times.begin(), times.end()) * 1e3);
  };
  report("UnzipPlugin (bridge)", ours);
  report("unzip -o -q", infoZip);
  std::printf("  ratio UnzipPlugin / unzip: %.2f (median), %.2f (best)\n", Median(ours) / Median(infoZip),
              *std::min_element(ours.begin(), ours.end()) / *std::min_element(infoZip.begin(), infoZip.end()));
  std::fflush(stdout);
  return true;
}

// Processor time of the whole process (every extraction worker), user and system:
// on a shared, loaded machine it wavers far less than the time on the wall.
double ProcessorSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The installed package updated again and again, in an installation that keeps
// snapshots and in one that does not, alternating. The first has already made
// five of each add-on, so every update also drops the oldest: the steady state.
bool CompareUpdates(const std::vector<ZipEntrySpec>& entries, size_t files, int runs) {
  wendrake::testing::TempInstallation with, without;
  with.WriteFile("update_info.xml", wendrake::testing::kEmptyCatalog);
  // A file where Backups would be: that data folder cannot hold snapshots.
  without.WriteFile("Backups", "");
  const fs::path master = with.Root() / "bench-package.zip";
  wendrake::testing::WriteZip(master, entries);
  wendrake::HeadlessHost host;
  double processor = 0;  // of the last update
  const auto update = [&](const wendrake::testing::TempInstallation& installation) {
    fs::copy_file(master, installation.Root() / "Temp" / "bench.zip", fs::copy_options::overwrite_existing);
    const wendrake::PageHost view(installation.Install(), host, host, host.Services());
    wendrake::InvokeOutcome outcome;
    const double processorBefore = ProcessorSeconds();
    const double seconds = Seconds([&] { outcome = wendrake::ScriptBridge::Call(view, u"UnzipPlugin", {u"bench", u"bench"}); });
    processor = ProcessorSeconds() - processorBefore;
    const bool installed = outcome.code == wendrake::S_OK && std::get<std::int32_t>(outcome.result) == 1 &&
                           CountFiles(installation.Root() / "game" / "Interface" / "AddOns") == files;
    return installed ? seconds : -1.0;
  };
  for (const auto* installation : {&with, &without}) {
    installation->MakeGameFolder();
    if (update(*installation) < 0) return false;
  }
  for (int warm = 0; warm < 5; ++warm)
    if (update(with) < 0) return false;
  const size_t kept = wendrake::ListSnapshots(with.Install()).size();
  std::printf("  %zu snapshots kept before the timed updates; %d runs each\n", kept, runs);
  std::vector<double> snapshots, plain, snapshotsProcessor, plainProcessor;
  for (int run = 0; run < runs; ++run) {
    snapshots.push_back(update(with));
    snapshotsProcessor.push_back(processor);
    plain.push_back(update(without));
    plainProcessor.push_back(processor);
    if (snapshots.back() < 0 || plain.back() < 0 || wendrake::ListSnapshots(with.Install()).size() != kept ||
        !wendrake::ListSnapshots(without.Install()).empty()) {
      std::fprintf(stderr, "an update did not install the package or keep its snapshots as it should\n");
      return false;
    }
  }
  const auto report = [](const char* what, const std::vector<double>& times) {
    std::printf("  %-26s median %9.1f ms   best %9.1f ms\n", what, Median(times) * 1e3, *std::min_element(times.begin(), times.end()) * 1e3);
  };
  const auto ratio = [](const char* what, const std::vector<double>& with, const std::vector<double>& without) {
    std::printf("  ratio with / without, %s: %.2f (median), %.2f (best)\n", what, Median(with) / Median(without),
                *std::min_element(with.begin(), with.end()) / *std::min_element(without.begin(), without.end()));
  };
  report("update with snapshots", snapshots);
  report("update without", plain);
  report("  processor time, with", snapshotsProcessor);
  report("  processor time, without", plainProcessor);
  ratio("wall", snapshots, plain);
  ratio("processor", snapshotsProcessor, plainProcessor);
  std::fflush(stdout);
  return true;
}

// Many small files in one folder: the cost that grows with a folder's size.
std::vector<ZipEntrySpec> OneFolder(int files) {
  std::vector<ZipEntrySpec> entries;
  for (int file = 0; file < files; ++file)
    entries.push_back(ZipEntrySpec::File("Big/f" + std::to_string(file) + ".lua", "return " + std::to_string(file)));
  return entries;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  size_t totalBytes = 0;
  const std::vector<ZipEntrySpec> large = LargePackage(totalBytes);
  std::printf("large package: %d files in %d folders, %.1f MB of content\n", kFiles, kFiles / kFilesPerFolder, static_cast<double>(totalBytes) / 1e6);
  const bool updatesOnly = argc > 2 && std::string(argv[2]) == "--updates-only";
  if (!updatesOnly && !Compare(large, kFiles, runs)) return 1;
  std::printf("updating the installed large package\n");
  if (!CompareUpdates(large, kFiles, runs)) return 1;
  if (updatesOnly) return 0;
  for (const int files : {10000, 100000}) {
    std::printf("one folder of %d small files\n", files);
    if (!Compare(OneFolder(files), static_cast<size_t>(files), std::max(1, runs / 2))) return 1;
  }
  return 0;
}

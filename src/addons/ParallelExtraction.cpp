#include "addons/ParallelExtraction.h"

#include <fcntl.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "platform/UniqueFd.h"

namespace wendrake {
namespace {

// Jobs are taken in runs of this many, so that a worker mostly stays in one
// folder and walks the archive's directory forwards.
constexpr std::size_t kRun = 64;
constexpr unsigned kMostWorkers = 4;
// Each further worker must have this much to inflate: for small files the work is
// making them, which workers in one folder only contend for.
constexpr std::uint64_t kBytesPerWorker = std::uint64_t{8} << 20;

class Workers {
 public:
  Workers(const std::filesystem::path& archive, int baseFolderFd, std::span<const ExtractionJob> jobs)
      : archive_(archive), baseFolderFd_(baseFolderFd), jobs_(jobs) {}

  void Work() {
    ZipArchive archive;
    if (!archive.Open(archive_)) {
      failed_ = true;
      return;
    }
    std::string openFolder;
    UniqueFd folder;
    for (std::size_t start = next_.fetch_add(kRun); start < jobs_.size() && !failed_; start = next_.fetch_add(kRun)) {
      for (const ExtractionJob& job : jobs_.subspan(start, std::min(kRun, jobs_.size() - start))) {
        if (folder.Get() < 0 || job.folder != openFolder) {
          folder.Reset(::openat(baseFolderFd_, job.folder.empty() ? "." : job.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
          openFolder = job.folder;
        }
        if (folder.Get() < 0 || !archive.ExtractNew(job.index, *job.info, folder.Get(), job.name)) {
          failed_ = true;
          return;
        }
      }
    }
  }
  bool Failed() const { return failed_; }

 private:
  const std::filesystem::path& archive_;
  const int baseFolderFd_;
  const std::span<const ExtractionJob> jobs_;
  std::atomic<std::size_t> next_{0};
  std::atomic<bool> failed_{false};
};

}  // namespace

bool ExtractAll(const std::filesystem::path& archive, int baseFolderFd, std::span<const ExtractionJob> jobs) {
  Workers workers(archive, baseFolderFd, jobs);
  std::uint64_t bytes = 0;
  for (const ExtractionJob& job : jobs) bytes += job.info->size;
  const unsigned cores = std::clamp(std::thread::hardware_concurrency(), 1u, kMostWorkers);
  const auto helpers = static_cast<unsigned>(std::min<std::uint64_t>({cores - 1, jobs.size() / kRun, bytes / kBytesPerWorker}));
  std::vector<std::thread> threads;
  for (unsigned i = 0; i < helpers; ++i) threads.emplace_back([&workers] { workers.Work(); });
  workers.Work();
  for (std::thread& thread : threads) thread.join();
  return !workers.Failed();
}

}  // namespace wendrake

#include "logger/FileLogger.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <utility>

#include "core/Installation.h"
#include "platform/PrivateFolder.h"

namespace wendrake {
namespace {

std::string Timestamp() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  ::localtime_r(&now.tv_sec, &local);
  char date[32];
  char zone[8];
  std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
  std::strftime(zone, sizeof zone, "%z", &local);
  char millis[16];
  std::snprintf(millis, sizeof millis, ".%03d", static_cast<int>(now.tv_nsec / 1000000));
  return std::string(date) + millis + zone;
}

}  // namespace

FileLogger::FileLogger(std::filesystem::path file) : file_(std::move(file)) {}

FileLogger::~FileLogger() {
  if (fd_ >= 0) ::close(fd_);
}

bool FileLogger::Open(bool truncate) {
  if (file_.empty()) return false;
  if (file_.has_parent_path() && !MakePrivateFolders(file_.parent_path())) return false;
  // CLOEXEC: the game and other programs started from here must not inherit the log.
  const int fd = ::open(file_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY | (truncate ? O_TRUNC : 0), 0600);
  if (fd < 0) return false;
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
  return true;
}

int FileLogger::Start(int destination, int threshold, int append) {
  if (fd_ >= 0) return 1;
  if (destination != 0 || !Open(append == 0)) return 0;
  threshold_ = threshold;
  AppendLine({}, "started");
  return 1;
}

void FileLogger::Stop() {
  if (fd_ < 0) return;
  AppendLine({}, "stopped");
  ::close(fd_);
  fd_ = -1;
}

void FileLogger::Write(int level, std::string_view message) {
  if (fd_ < 0 || level > threshold_) return;
  const auto label = labels_.find(level);
  AppendLine(label != labels_.end() ? label->second : std::to_string(level), message);
}

void FileLogger::SetLevelLabel(int level, std::string_view label) { labels_[level] = std::string(label); }
void FileLogger::SetTag(std::string_view tag) { tag_ = std::string(tag); }
void FileLogger::SetFileCheck(std::string_view mode) { checkFile_ = mode == "check"; }
void FileLogger::SetOverflow(std::string_view action) { clearOnOverflow_ = action == "clear"; }

void FileLogger::AppendLine(std::string_view label, std::string_view text) {
  if (checkFile_) {
    struct stat named {};
    struct stat held {};
    const bool same = ::stat(file_.c_str(), &named) == 0 && ::fstat(fd_, &held) == 0 && named.st_dev == held.st_dev && named.st_ino == held.st_ino;
    // Keep the old file when the new one cannot be made: a line there beats none.
    if (!same) Open(false);
  }
  if (clearOnOverflow_) {
    struct stat held {};
    // A log that cannot be cleared still takes the line.
    if (::fstat(fd_, &held) == 0 && held.st_size > kOverflowBytes) {
      [[maybe_unused]] const int cleared = ::ftruncate(fd_, 0);
    }
  }
  std::string line = Timestamp() + " " + ApplicationName() + "[" + std::to_string(::getpid()) + "]";
  for (std::string_view part : {std::string_view(tag_), label})
    if (!part.empty()) line.append(" ").append(part);
  line.append(" ").append(text);
  for (char& c : line)
    if (c == '\n' || c == '\r') c = ' ';
  line.push_back('\n');
  // One write per line: O_APPEND keeps lines of two instances from interleaving.
  ssize_t written;
  while ((written = ::write(fd_, line.data(), line.size())) < 0 && errno == EINTR) {
  }
}

}  // namespace wendrake

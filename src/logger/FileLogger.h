#pragma once
// ILogger over one append-only text file: a line per start, stop and kept
// message, each with a local timestamp, the program's name and process id.
// Writes nothing at all (not even folders) unless started. One thread only.
#include <filesystem>
#include <map>
#include <string>
#include <string_view>

#include "logger/ILogger.h"

namespace wendrake {

class FileLogger final : public ILogger {
 public:
  explicit FileLogger(std::filesystem::path file);
  ~FileLogger() override;
  FileLogger(const FileLogger&) = delete;
  FileLogger& operator=(const FileLogger&) = delete;

  void Write(int level, std::string_view message) override;
  int Start(int destination, int threshold, int append) override;
  void Stop() override;
  void SetLevelLabel(int level, std::string_view label) override;
  void SetTag(std::string_view tag) override;
  void SetFileCheck(std::string_view mode) override;
  void SetOverflow(std::string_view action) override;

 private:
  bool Open(bool truncate);
  void AppendLine(std::string_view label, std::string_view text);

  std::filesystem::path file_;
  int fd_ = -1;
  int threshold_ = 0;
  std::map<int, std::string> labels_;
  std::string tag_;
  bool checkFile_ = false;
  bool clearOnOverflow_ = false;
};

}  // namespace wendrake

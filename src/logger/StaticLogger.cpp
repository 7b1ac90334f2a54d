#include "logger/StaticLogger.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <utility>

#include "logger/FileLogger.h"

namespace wendrake {
namespace {

class SilentLogger final : public ILogger {
 public:
  void Write(int, std::string_view) override {}
  int Start(int, int, int) override { return 0; }
  void Stop() override {}
  void SetLevelLabel(int, std::string_view) override {}
  void SetTag(std::string_view) override {}
  void SetFileCheck(std::string_view) override {}
  void SetOverflow(std::string_view) override {}
};

// Empty when there is none: a relative folder would put the log wherever we run.
std::filesystem::path HomeFolder() {
  if (const char* home = std::getenv("HOME"); home && std::filesystem::path(home).is_absolute()) return home;
  if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir && std::filesystem::path(entry->pw_dir).is_absolute())
    return entry->pw_dir;
  return {};
}

std::shared_ptr<ILogger> Make(int kind, std::filesystem::path file) {
  if (kind == CStaticLogger::kLogFile) return std::make_shared<FileLogger>(std::move(file));
  return std::make_shared<SilentLogger>();
}

}  // namespace

std::filesystem::path DefaultLogFile() {
  std::filesystem::path state;
  // The base directory rules say a relative value is to be ignored.
  if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg && std::filesystem::path(xdg).is_absolute())
    state = xdg;
  else if (const auto home = HomeFolder(); !home.empty())
    state = home / ".local" / "state";
  else
    return {};
  return state / "wendrake" / "wendrake.log";
}

CStaticLogger::CStaticLogger(int kind) : CStaticLogger(kind, kind == kLogFile ? DefaultLogFile() : std::filesystem::path()) {}

CStaticLogger::CStaticLogger(int kind, std::filesystem::path file)
    : implementation_(Make(kind, file)), file_(kind == kLogFile ? std::move(file) : std::filesystem::path()) {}

CStaticLogger::CStaticLogger(std::shared_ptr<ILogger> implementation) : implementation_(std::move(implementation)) {}

}  // namespace wendrake

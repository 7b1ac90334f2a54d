#pragma once
// The process-wide logger holder. Callers reach the interface through operator->
// for every single call, so the holder alone decides what stands behind it.
#include <filesystem>
#include <memory>

#include "logger/ILogger.h"

namespace wendrake {

// $XDG_STATE_HOME/wendrake/wendrake.log, or ~/.local/state/wendrake/wendrake.log
// when that is unset or not absolute; empty (a logger that never starts) when
// there is no home folder either.
std::filesystem::path DefaultLogFile();

class CStaticLogger {
 public:
  // Kinds: kLogFile writes to a log file; any other kind never starts.
  static constexpr int kSilent = 0;
  static constexpr int kLogFile = 1;

  // kLogFile logs to DefaultLogFile().
  explicit CStaticLogger(int kind);
  CStaticLogger(int kind, std::filesystem::path file);
  // Stands any implementation behind the holder (a test's recorder, for one).
  explicit CStaticLogger(std::shared_ptr<ILogger> implementation);

  ILogger* operator->() const { return implementation_.get(); }
  // The file a kLogFile logger writes; empty for any other.
  const std::filesystem::path& File() const { return file_; }

 private:
  std::shared_ptr<ILogger> implementation_;
  std::filesystem::path file_;
};

}  // namespace wendrake

#pragma once
// The program: one instance per user and program name, whose whole life is the
// modal run of the main window.
#include <optional>

#include "logger/StaticLogger.h"
#include "platform/SingleInstance.h"

namespace wendrake {

class CPagewickApp {
 public:
  explicit CPagewickApp(const CStaticLogger& logger) : logger_(logger) {}

  // Start-up and the main window's run. Always false: no message loop follows.
  bool InitInstance(int& argc, char**& argv);
  // Stops the logger; the program's exit code.
  int ExitInstance();

 private:
  const CStaticLogger& logger_;
  std::optional<SingleInstanceGuard> instance_;
  int exitCode_ = 0;
};

}  // namespace wendrake

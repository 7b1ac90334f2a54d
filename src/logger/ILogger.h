#pragma once
// The logging interface the program drives at start-up and exit. The operations
// keep the order of the interface the program was first written against; one slot
// of it that no caller ever used is left out.
#include <string_view>

namespace wendrake {

class ILogger {
 public:
  virtual ~ILogger() = default;

  // Appends `message` as one line when started and `level` <= the threshold given
  // to Start. The program itself logs nothing through it.
  virtual void Write(int level, std::string_view message) = 0;
  // Opens the destination (0: the log file; no other is known) and writes a
  // "started" line. `threshold` is the most verbose level Write keeps; `append`
  // zero empties the log first. Non-zero when started (or already started), zero
  // when the log cannot be opened.
  virtual int Start(int destination, int threshold, int append) = 0;
  // Writes a "stopped" line and closes the log; nothing when not started.
  virtual void Stop() = 0;
  // The label Write lines of `level` carry instead of the number.
  virtual void SetLevelLabel(int level, std::string_view label) = 0;
  // A tag every line carries after the process name.
  virtual void SetTag(std::string_view tag) = 0;
  // "check": before each line, make sure the path still names the open file and
  // reopen it when it was moved or removed (log rotation). Anything else: never.
  virtual void SetFileCheck(std::string_view mode) = 0;
  // "clear": empty the log before a line once it has grown past kOverflowBytes.
  // Anything else: let it grow.
  virtual void SetOverflow(std::string_view action) = 0;

  static constexpr long long kOverflowBytes = 1 << 20;
};

}  // namespace wendrake

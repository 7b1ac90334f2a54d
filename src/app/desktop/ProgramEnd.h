#pragma once
// The ways the desktop ends the program besides its own menu: termination
// signals (a logout, `kill`, Ctrl+C) and the loss of the display.
#include <functional>

#include "core/Installation.h"

namespace wendrake {

// SIGTERM, SIGINT and SIGHUP call `end` on the main loop while the object lives.
class EndOnSignals {
 public:
  explicit EndOnSignals(std::function<void()> end);
  ~EndOnSignals();
  EndOnSignals(const EndOnSignals&) = delete;
  EndOnSignals& operator=(const EndOnSignals&) = delete;

 private:
  std::function<void()> end_;
  unsigned sources_[3] = {};
};

// When the display goes away with the session, no window can run its ending any
// more: the add-ons of `installation` are switched off directly and the process
// ends. nullptr: the process just ends, as it would without this.
void SwitchOffOnDisplayLoss(const Installation* installation);

}  // namespace wendrake

#pragma once
// The program's only logger calls: set up first thing at start-up, stopped first
// thing in the exit routine. Each call goes through the holder anew.
#include "logger/StaticLogger.h"

namespace wendrake {

// Start(0, 3, 1); only when that returns non-zero, in this order:
// SetLevelLabel(3, "W"), SetFileCheck("check"), SetTag("fattor"), SetOverflow("clear").
// Returns whether the logger started; start-up goes on either way.
bool StartLogging(const CStaticLogger& logger);

// Stop(), whether or not StartLogging succeeded.
void StopLogging(const CStaticLogger& logger);

}  // namespace wendrake

#pragma once
// The program's only logger calls: set up first thing at start-up, stopped first
// thing in the exit routine. Each call goes through the holder anew.
#include "logger/StaticLogger.h"

namespace wendrake {

// Start(0, 3, 1); only when that returns non-zero, in this order:
// SetLevelLabel(3, "W"), SetFileCheck("check"), SetTag("fattor"), SetOverflow("clear").
// Returns whether the logger started; start-up goes on either way. Once started,
// diagnostics (GLib's warnings and criticals, the program's own among them) are
// written to the log at level 3 as well as to standard error, so a player can
// send one file when something goes wrong.
bool StartLogging(const CStaticLogger& logger);

// Stop(), whether or not StartLogging succeeded; diagnostics go to standard
// error alone from then on.
void StopLogging(const CStaticLogger& logger);

}  // namespace wendrake

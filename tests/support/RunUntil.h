#pragma once
// Waiting, with a deadline, for something that happens on the main loop or in
// another process, while this process's own windows keep running.
#include <glib.h>

#include <chrono>
#include <functional>

namespace wendrake::testing {

// Runs the main loop until the condition holds; false when the time ran out.
inline bool RunUntil(const std::function<bool()>& condition, double seconds = 20) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  // Wakes the loop now and then, so a condition that changes outside it is seen.
  const guint tick = g_timeout_add(
      10, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr);
  bool met = condition();
  while (!met && std::chrono::steady_clock::now() < deadline) {
    g_main_context_iteration(nullptr, TRUE);
    met = condition();
  }
  g_source_remove(tick);
  return met;
}

}  // namespace wendrake::testing

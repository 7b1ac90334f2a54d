#include "logger/LoggerSetup.h"

#include <glib.h>

#include <mutex>
#include <string>

namespace wendrake {
namespace {

constexpr int kDiagnosticLevel = 3;
constexpr GLogLevelFlags kDiagnostics = static_cast<GLogLevelFlags>(G_LOG_LEVEL_ERROR | G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING);

// GLib logs from its worker threads too, and the log file is written by one at a time.
std::mutex gRouteMutex;
const CStaticLogger* gRoutedTo = nullptr;

void WriteDiagnostic(const gchar* domain, GLogLevelFlags level, const gchar* message, gpointer) {
  if (level & kDiagnostics) {
    const std::lock_guard hold(gRouteMutex);
    if (gRoutedTo) (*gRoutedTo)->Write(kDiagnosticLevel, std::string(domain ? domain : "wendrake") + ": " + (message ? message : ""));
  }
  g_log_default_handler(domain, level, message, nullptr);
}

void RouteDiagnostics(const CStaticLogger* logger) {
  const std::lock_guard hold(gRouteMutex);
  gRoutedTo = logger;
  if (logger)
    g_log_set_default_handler(WriteDiagnostic, nullptr);
  else
    g_log_set_default_handler(g_log_default_handler, nullptr);
}

}  // namespace

bool StartLogging(const CStaticLogger& logger) {
  if (logger->Start(0, 3, 1) == 0) return false;
  logger->SetLevelLabel(kDiagnosticLevel, "W");
  logger->SetFileCheck("check");
  logger->SetTag("fattor");
  logger->SetOverflow("clear");
  RouteDiagnostics(&logger);
  return true;
}

void StopLogging(const CStaticLogger& logger) {
  RouteDiagnostics(nullptr);
  logger->Stop();
}

}  // namespace wendrake

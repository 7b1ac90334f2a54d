#include "app/LoggerSetup.h"

namespace wendrake {

bool StartLogging(const CStaticLogger& logger) {
  if (logger->Start(0, 3, 1) == 0) return false;
  logger->SetLevelLabel(3, "W");
  logger->SetFileCheck("check");
  logger->SetTag("fattor");
  logger->SetOverflow("clear");
  return true;
}

void StopLogging(const CStaticLogger& logger) { logger->Stop(); }

}  // namespace wendrake

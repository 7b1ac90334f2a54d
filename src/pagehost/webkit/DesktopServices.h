#pragma once
// The system services of the desktop program's pages.
#include "core/PageHost.h"
#include "platform/ConnectionCheck.h"
#include "platform/ShellStart.h"

namespace wendrake {

// Ends the instances from the main loop, once the page has its answer.
class IdleInstanceEnder : public IInstanceEnder {
 public:
  void EndAllInstances() override;
};

class DesktopServices {
 public:
  explicit DesktopServices(const Installation& installation);
  HostServices Services() { return {shell_, network_, instances_}; }

 private:
  ShellStarter shell_;
  ConnectionCheck network_;
  IdleInstanceEnder instances_;
};

}  // namespace wendrake

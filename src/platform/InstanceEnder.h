#pragma once
// Ending every running instance of the program, as the page's exit command does.
#include <string_view>

#include "core/PageHost.h"

namespace wendrake {

// The launcher's file name: instances are recognised by it alone, so a copy under
// another name is another program.
inline constexpr std::string_view kProgramFileName = "wendrake";

// Forcibly ends every process of this user whose executable's file name is exactly
// `name`, together with every process each of them started. Other users'
// processes are never touched. This process, when it is one of them, goes last.
void EndProcessesNamed(std::string_view name);

class InstanceEnder : public IInstanceEnder {
 public:
  // A dry run only remembers the request.
  explicit InstanceEnder(bool dryRun = false) : dryRun_(dryRun) {}
  void EndAllInstances() override { requested_ = true; }
  // Called once the page call has returned to its page.
  void RunPending();

 private:
  bool dryRun_;
  bool requested_ = false;
};

}  // namespace wendrake

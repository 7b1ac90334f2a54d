#pragma once
// What "open" does on the desktop: addresses and documents go to their default
// handler, native programs start directly, Windows programs start through Wine.
#include <string_view>

#include "core/PageHost.h"

namespace wendrake {

class ShellStarter : public IShell {
 public:
  // A dry run decides success exactly as a real start would, but starts nothing.
  explicit ShellStarter(bool dryRun = false) : dryRun_(dryRun) {}
  bool ShellOpen(std::u16string_view target) override;

 private:
  bool dryRun_;
};

}  // namespace wendrake

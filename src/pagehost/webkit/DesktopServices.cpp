#include "pagehost/webkit/DesktopServices.h"

#include <glib.h>

#include "commands/SettingsStore.h"
#include "platform/InstanceEnder.h"

namespace wendrake {

DesktopServices::DesktopServices(const Installation& installation) : shell_([installation] { return ReadWineCommand(installation); }) {}

void IdleInstanceEnder::EndAllInstances() {
  g_idle_add(
      [](gpointer) -> gboolean {
        EndProcessesNamed(kProgramFileName);
        return G_SOURCE_REMOVE;
      },
      nullptr);
}

}  // namespace wendrake

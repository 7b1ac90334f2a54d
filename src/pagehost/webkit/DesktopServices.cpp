#include "pagehost/webkit/DesktopServices.h"

#include <glib.h>

#include "platform/InstanceEnder.h"

namespace wendrake {

void IdleInstanceEnder::EndAllInstances() {
  g_idle_add(
      [](gpointer) -> gboolean {
        EndProcessesNamed(kProgramFileName);
        return G_SOURCE_REMOVE;
      },
      nullptr);
}

}  // namespace wendrake

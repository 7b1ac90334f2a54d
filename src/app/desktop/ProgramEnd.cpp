#include "app/desktop/ProgramEnd.h"

#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#include <glib-unix.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>

#include "app/SessionSequence.h"

namespace wendrake {
namespace {

std::atomic<const Installation*> switchOffOnLoss{nullptr};

int DisplayLost(Display*) {
  if (const Installation* installation = switchOffOnLoss.exchange(nullptr)) RunLogoffSequence(*installation);
  ::_exit(0);
}

}  // namespace

EndOnSignals::EndOnSignals(std::function<void()> end) : end_(std::move(end)) {
  const int signals[] = {SIGTERM, SIGINT, SIGHUP};
  for (size_t i = 0; i < std::size(signals); ++i)
    sources_[i] = g_unix_signal_add(
        signals[i],
        +[](gpointer self) -> gboolean {
          static_cast<EndOnSignals*>(self)->end_();
          return G_SOURCE_CONTINUE;
        },
        this);
}

EndOnSignals::~EndOnSignals() {
  for (unsigned source : sources_)
    if (source) g_source_remove(source);
}

void SwitchOffOnDisplayLoss(const Installation* installation) {
  switchOffOnLoss = installation;
  // Replaces GDK's handler, which only reports the loss and exits.
  if (GDK_IS_X11_DISPLAY(gdk_display_get_default())) XSetIOErrorHandler(DisplayLost);
}

}  // namespace wendrake

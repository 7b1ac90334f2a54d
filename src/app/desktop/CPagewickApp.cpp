#include "app/desktop/CPagewickApp.h"

#include <gtk/gtk.h>

#include <cstdlib>
#include <exception>
#include <optional>

#include "addons/Leftovers.h"
#include "app/desktop/CPagewickDlg.h"
#include "app/desktop/ProgramEnd.h"
#include "commands/DataFolder.h"
#include "core/Installation.h"
#include "dialogs/CBoxDlg.h"
#include "logger/LoggerSetup.h"
#include "pagehost/webkit/DesktopServices.h"
#include "pagehost/webkit/PlainMessageBox.h"
#include "pagehost/webkit/WebViewEnvironment.h"

namespace wendrake {

bool CPagewickApp::InitInstance(int& argc, char**& argv) {
  const bool logging = StartLogging(logger_);

  const std::string name = ApplicationName();
  instance_ = SingleInstanceGuard::Acquire(name);
  if (!instance_) {
    // The startup-notification id lets the window manager accept the raise.
    const char* token = std::getenv("DESKTOP_STARTUP_ID");
    AskRunningInstanceToComeForward(name, DefaultInstanceFolder(), token ? token : "");
    return false;
  }

  // Window placement, shapes, move drags and the tray are X11 services; on a
  // Wayland desktop they come through XWayland.
  gdk_set_allowed_backends("x11");
  if (!gtk_init_check(&argc, &argv)) {
    g_warning("cannot open the display");
    exitCode_ = 1;
    return false;
  }

  const Installation installation = Installation::OfRunningProgram();
  if (!PrepareDataFolder(installation)) g_warning("cannot make the data folder %s", installation.DataFolder().c_str());
  RemoveLeftovers(installation);
  std::optional<WebViewEnvironment> environment;
  try {
    environment.emplace(installation, installation.ModuleDirectory() / "webext", logging ? logger_.File() : std::filesystem::path());
  } catch (const std::exception& error) {
    // Without the page channel no page could reach the program.
    g_warning("%s", error.what());
    exitCode_ = 1;
    return false;
  }
  DesktopServices services(installation);
  GtkPlainMessageBox messageBox;
  CPagewickDlg mainWindow(*environment, messageBox, services.Services(), *instance_);
  instance_->OnBringForward([&mainWindow](const std::string& token) { mainWindow.BringForward(token); });
  EndOnSignals signals([&mainWindow] { mainWindow.EndModalLoop(0); });
  SwitchOffOnDisplayLoss(&environment->Install());
  if (mainWindow.DoModal() == kMainPageMissing) exitCode_ = 1;
  SwitchOffOnDisplayLoss(nullptr);
  instance_->OnBringForward(nullptr);
  return false;
}

int CPagewickApp::ExitInstance() {
  StopLogging(logger_);
  return exitCode_;
}

}  // namespace wendrake

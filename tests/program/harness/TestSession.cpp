#include "harness/TestSession.h"

#include <cstdlib>
#include <map>
#include <stdexcept>

#include "platform/PrivateFolder.h"

extern char** environ;

namespace wendrake::programtest {

TestSession::TestSession(std::filesystem::path folder) : folder_(std::move(folder)) {
  for (const char* name : {"run", "state", "cache", "data", "config", "home"})
    if (!MakePrivateFolders(folder_ / name)) throw std::runtime_error("cannot make " + (folder_ / name).string() + " private");
}

std::vector<std::string> TestSession::Environment(const std::string& sessionBus) const {
  const std::map<std::string, std::string> own = {
      {"XDG_RUNTIME_DIR", (folder_ / "run").string()},
      {"XDG_STATE_HOME", StateHome().string()},
      {"XDG_CACHE_HOME", (folder_ / "cache").string()},
      {"XDG_DATA_HOME", DataHome().string()},
      {"XDG_CONFIG_HOME", (folder_ / "config").string()},
      {"HOME", (folder_ / "home").string()},
      {"GDK_BACKEND", "x11"},
      {"NO_AT_BRIDGE", "1"},
      {"DISPLAY", std::getenv("DISPLAY") ? std::getenv("DISPLAY") : ""},
  };
  std::vector<std::string> environment;
  for (char** entry = environ; *entry; ++entry) {
    const std::string text = *entry;
    const std::string name = text.substr(0, text.find('='));
    // A desktop session's own display, bus and start-up notification stay out.
    if (own.contains(name) || name == "WAYLAND_DISPLAY" || name == "DBUS_SESSION_BUS_ADDRESS" || name == "DESKTOP_STARTUP_ID" ||
        name == "XDG_ACTIVATION_TOKEN")
      continue;
    environment.push_back(text);
  }
  for (const auto& [name, value] : own) environment.push_back(name + "=" + value);
  if (!sessionBus.empty()) environment.push_back("DBUS_SESSION_BUS_ADDRESS=" + sessionBus);
  return environment;
}

}  // namespace wendrake::programtest

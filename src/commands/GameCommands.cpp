#include "commands/GameCommands.h"

#include "commands/SettingsStore.h"

namespace wendrake {

std::int32_t IsExistGamePath(const PageHost& view) {
  CRegistry registry(OpenSettingsKey(view.Install()));
  std::u16string path;
  const bool known = registry.Key.IsOpen() && registry.Read(SettingsValue::OsmarGamePath, path) && !path.empty();
  registry.Close();
  return known ? 1 : 0;
}

void RunGame(const PageHost& view) {
  if (IsExistGamePath(view) == 1)
    ExecuteGame(view);
  else
    SelectGamePath(view, 1);
}

void SelectGamePath(const PageHost& view, std::int32_t mode) {
  if (IsExistGamePath(view) == 1) {
    if (mode == 1) ExecuteGame(view);
    return;
  }
  const std::u16string_view page = mode == 0 ? u"..\\UI\\pages\\sc\\select_game.html" : u"..\\UI\\pages\\sc\\run_game.html";
  view.HoldingWindow().RunPageDialog({view.Install().ModuleRelative(page).string(), 520, 204, u""});
}

void SelectGameOK(const PageHost& view, std::u16string_view path, std::int32_t mode) {
  if (path.find(u"riftpatchchinese.exe") == std::u16string_view::npos) {
    view.ShowMsgBox(u"1011");
    return;
  }
  const std::u16string_view keyPath = IsWow64() ? kWow64SettingsKeyPath : kSettingsKeyPath;
  const RegistryKey machine = RegistryKey::LocalMachine(view.Install().HivePath());
  // A created key is a lasting one: later runs look for the game path in it.
  CRegistry registry(machine.OpenSubKey(keyPath));
  if (!registry.Key.IsOpen()) {
    registry.Key = machine;
    if (!registry.Create(keyPath)) registry.Key = RegistryKey();
  }
  if (!registry.Key.SetValue(SettingsValue::OsmarGamePath, path))
    view.ShowMsgBox(u"1010");
  else if (mode == 1)
    ExecuteGame(view);
  registry.Close();
}

void ExecuteGame(const PageHost& view) {
  CRegistry registry(OpenSettingsKey(view.Install()));
  std::u16string path;
  if (!registry.Key.IsOpen() || !registry.Read(SettingsValue::OsmarGamePath, path))
    view.ShowMsgBox(u"1013");
  else if (view.Services().shell.ShellOpen(path))
    view.HoldingWindow().Minimize();
  else
    view.ShowMsgBox(u"1012");
  registry.Close();
}

}  // namespace wendrake

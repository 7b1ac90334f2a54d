#include "commands/VersionCommands.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>

#include "commands/SettingsStore.h"
#include "core/Text.h"

namespace wendrake {

std::u16string GetLocalProgVer(const PageHost& view) {
  CRegistry registry(OpenSettingsKey(view.Install()));
  std::u16string version;
  registry.Read(SettingsValue::Version, version);
  registry.Close();
  return version;
}

std::int32_t InstallUpdate(const PageHost& view, std::u16string_view name) {
  CRegistry registry(OpenSettingsKey(view.Install()));
  std::u16string home;
  const bool known = registry.Read(SettingsValue::Home, home);
  registry.Close();
  if (!known) return -1;
  // Joined exactly as given: a Home ending in a separator gives two in a row.
  const std::filesystem::path installer = NativePath(home + u"\\Temp\\" + std::u16string(name) + u".exe");
  if (view.Services().shell.ShellOpen(ToUtf16(installer.string()))) return 0;
  view.ShowMsgBox(u"1016");
  return -2;
}

std::u16string ChangeSkin(const PageHost& view, std::u16string_view skin) {
  CRegistry registry(OpenSettingsKey(view.Install()));
  const std::int32_t number = LeadingNumber(skin);
  std::u16string previous;
  registry.Read(SettingsValue::Skin, previous);
  std::u16string result = previous;
  if (number >= 1 && number <= 3 && !registry.Key.SetValue(SettingsValue::Skin, skin)) result.clear();
  registry.Close();
  return result;
}

std::int32_t LeadingNumber(std::u16string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  // Saturates on overflow as the run-time does, so "4294967297" is no skin 1.
  std::int64_t value = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) value = std::min<std::int64_t>(value * 10 + (text[i] - u'0'), 1ll << 32);
  value = negative ? -value : value;
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, INT32_MIN, INT32_MAX));
}

}  // namespace wendrake

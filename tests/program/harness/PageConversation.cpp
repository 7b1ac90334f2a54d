#include "harness/PageConversation.h"

#include <algorithm>
#include <sstream>
#include <stdexcept>

#include "commands/SettingsStore.h"
#include "core/Text.h"
#include "harness/Wait.h"

namespace wendrake::programtest {

void PageConversation::Send(const std::string& page, const std::string& script) {
  const std::string command = std::to_string(++sent_) + "|" + page + "|" + script;
  if (!OpenSettingsKey(installation_).SetValue(SettingsValue::Version, ToUtf16(command)))
    throw std::runtime_error("cannot write the command to the hive");
}

std::string PageConversation::Text() const {
  const auto stored = OpenSettingsKey(installation_).QueryValue(SettingsValue::Data);
  return stored ? ToUtf8(FromStoredUserData(*stored)) : std::string();
}

std::vector<std::string> PageConversation::Lines() const {
  std::vector<std::string> lines;
  std::istringstream text(Text());
  for (std::string line; std::getline(text, line);) lines.push_back(line);
  return lines;
}

int PageConversation::Count(const std::string& line) const {
  const auto lines = Lines();
  return static_cast<int>(std::count(lines.begin(), lines.end(), line));
}

std::optional<std::string> PageConversation::After(const std::string& prefix) const {
  for (const auto& line : Lines())
    if (line.starts_with(prefix)) return line.substr(prefix.size());
  return std::nullopt;
}

bool PageConversation::WaitFor(const std::string& line, int times, double seconds) const {
  return RunUntil([&] { return Count(line) >= times; }, seconds);
}

}  // namespace wendrake::programtest

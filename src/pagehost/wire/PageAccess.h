#pragma once
// Which documents get window.external, and what the UI process hands the web-process
// extension at start-up. Shared by both sides so that the rule can be tested
// without a web process.
#include <glib.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace wendrake::wire {

// A file address under the UI folder (after decoding and resolving "." and "..",
// so no escape above it), or an address whose origin is exactly the site's.
bool IsPageAllowed(std::string_view documentUri, std::string_view uiFolderUri, std::string_view siteOrigin);

struct ExtensionSettings {
  std::string socketPath;
  std::string secret;
  std::vector<std::string> methodNames;  // member-ID order: ID = index + 1
  // window.wendrake's, for installation pages: ID = programMemberBase + index + 1.
  std::vector<std::string> programMethodNames;
  std::int32_t programMemberBase = 0;
  std::string uiFolderUri;
  std::string siteOrigin;
  // The program's log, which the web process's diagnostics join; empty while it logs nothing.
  std::string diagnosticsLog;
};

// A floating GVariant.
GVariant* SettingsVariant(const ExtensionSettings& settings);
bool ReadSettings(GVariant* data, ExtensionSettings& out);

}  // namespace wendrake::wire

#pragma once
// wendrake-data:///update.xml and wendrake-data:///update_info.xml: the one way the
// installation's pages read the catalogues, wherever the installation keeps its
// data. Nothing else is served, and only to pages of the installation.
#include <webkit2/webkit2.h>

#include "core/Installation.h"

namespace wendrake {

inline constexpr char kDataScheme[] = "wendrake-data";

// Registers the scheme on the context; `uiFolderUri` names the installation's pages.
void ServeCatalogues(WebKitWebContext* context, const Installation& installation, const std::string& uiFolderUri);

}  // namespace wendrake

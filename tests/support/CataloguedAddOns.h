#pragma once
// An installation whose catalogue lists the add-on folders Alpha and Beta of its
// game folder; each test lays down the manifests it needs.
#include <filesystem>
#include <string>

#include "support/TempInstallation.h"

namespace wendrake::testing {

class CataloguedAddOns {
 public:
  CataloguedAddOns() : addOns(installation.MakeGameFolder() / "Interface" / "AddOns") { installation.WriteCatalog({"Alpha", "Beta"}); }

  void Manifest(const std::string& folder, const std::string& name) const { installation.WriteFile(addOns / folder / name, "manifest"); }
  bool Has(const std::string& folder, const std::string& name) const { return std::filesystem::exists(addOns / folder / name); }

  TempInstallation installation;
  const std::filesystem::path addOns;
};

}  // namespace wendrake::testing

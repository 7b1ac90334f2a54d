#pragma once
// A package the player chose somewhere on the disk, brought into the
// installation's Temp folder, where UnzipPlugin finds packages by name.
#include <filesystem>
#include <optional>

#include "core/Installation.h"

namespace wendrake {

// Copies the .zip file into Temp under its own name (its extension spelled
// ".zip"), replacing a package of that name only once the copy is complete, and
// answers the copy's path. Nothing for a name that could leave Temp or is no
// package's, or when the copy fails. The chosen file is only read.
std::optional<std::filesystem::path> ImportPackage(const Installation& installation, const std::filesystem::path& chosen);

// Removes the partial copies left in Temp by imports whose process has ended.
void RemoveImportLeftovers(const Installation& installation);

}  // namespace wendrake

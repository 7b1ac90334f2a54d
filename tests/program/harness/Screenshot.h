#pragma once
// What the screen shows, kept as a test artefact for a person to look at.
#include <filesystem>

namespace wendrake::programtest {

// Saves the whole screen as a PNG once two looks a moment apart agree, since
// a window that has just been mapped or changed is drawn a little later; false
// when it could not be taken or written.
bool SaveScreenshot(const std::filesystem::path& file);

}  // namespace wendrake::programtest

#pragma once
// What the screen shows, kept as a test artefact for a person to look at.
#include <filesystem>
#include <string>

namespace wendrake::programtest {

// Saves the whole screen as a PNG once two looks a moment apart agree, since
// a window that has just been mapped or changed is drawn a little later; false
// when it could not be taken or written.
bool SaveScreenshot(const std::filesystem::path& file);

// The screen's rectangle as raw pixels, to compare looks.
std::string LookAt(int x, int y, int width, int height);
// Waits until the screen's rectangle shows a drawn page: many colours, the same
// in two looks a moment apart, and other than `before` when one is given. For
// pages the test cannot hear from.
bool WaitUntilDrawn(int x, int y, int width, int height, const std::string& before = {}, double seconds = 30);

}  // namespace wendrake::programtest

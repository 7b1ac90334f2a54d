#pragma once
// <input type="file"> in the installation's pages: the desktop's own file chooser
// (the portal where the desktop has one), modal to the page's window and opened
// where the file is likely to be. The page learns the chosen file's full path, and
// a chosen add-on package is brought into Temp for UnzipPlugin. Pages of any other
// origin keep WebKit's own chooser.
#include <webkit2/webkit2.h>

#include <functional>
#include <string_view>

#include "pagehost/webkit/WebViewEnvironment.h"

namespace wendrake {

using TellPlayer = std::function<void(std::u16string_view text)>;

// Handles the view's file inputs for as long as the view lives.
void HandleFileInputs(WebKitWebView* view, WebViewEnvironment& environment, TellPlayer tell);

}  // namespace wendrake

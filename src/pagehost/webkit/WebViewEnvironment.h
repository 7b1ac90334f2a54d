#pragma once
// What every view of the process shares: one WebKit context whose web processes load
// the extension, and the channel their pages call through.
#include <webkit2/webkit2.h>

#include <filesystem>

#include "core/Installation.h"
#include "pagehost/webkit/PageChannel.h"

namespace wendrake {

class WebViewEnvironment {
 public:
  // The web processes' diagnostics join the log `diagnosticsLog`, when there is one.
  WebViewEnvironment(const Installation& installation, std::filesystem::path extensionFolder, std::filesystem::path diagnosticsLog = {});
  ~WebViewEnvironment();
  WebViewEnvironment(const WebViewEnvironment&) = delete;
  WebViewEnvironment& operator=(const WebViewEnvironment&) = delete;

  const Installation& Install() const { return installation_; }
  WebKitWebContext* Context() const { return context_; }
  PageChannel& Channel() { return channel_; }
  // "file:///root/UI/": the installation's own pages lie below it.
  const std::string& UiFolderUri() const { return uiFolderUri_; }
  // Whether the view shows one of them (never a web page, not even the site's).
  bool ShowsInstallationPage(WebKitWebView* view) const;

 private:
  Installation installation_;
  std::filesystem::path extensionFolder_;
  std::filesystem::path diagnosticsLog_;
  std::string uiFolderUri_;
  PageChannel channel_;
  WebKitWebContext* context_;
};

}  // namespace wendrake

#pragma once
// The UI process's end of window.external: one private stream socket per page,
// served from the GLib main loop, and synchronous, re-entrant both ways. While one
// side waits for its reply it serves whatever requests the other side sends.
#include <glib.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/HResult.h"
#include "core/PageValue.h"
#include "pagehost/ScriptBridge.h"

namespace wendrake {

// What a connected page reaches in the UI process: the view that hosts it.
class IPageEndpoint {
 public:
  virtual ~IPageEndpoint() = default;
  // A window.external call; runs the handler before answering.
  virtual InvokeOutcome OnPageCall(std::int32_t memberId, const std::vector<PageValue>& arguments) = 0;
  // A click whose link walk found an address holding "http".
  virtual void OnLinkClicked(const std::u16string& address) = 0;
  // Enter ("VK_RETURN") or Escape ("VK_ESCAPE") pressed in the page, in its place
  // among the page's keys; the page waits until this returns.
  virtual void OnKeyPressed(const std::u16string& key) = 0;
};

struct PageAccessRule {
  std::string uiFolderUri;  // "file:///root/UI/": pages of the installation
  std::string siteOrigin;  // "https://www.lumifold.com": the product's web site
};

// How long a call into a page may take: a page whose script never returns must
// not hold the program.
inline constexpr std::chrono::milliseconds kPageCallDeadline{10000};

class PageChannel {
 public:
  // Makes the private folder, the listening socket and the secret, and starts
  // accepting connections on the thread-default main context. Throws, with the
  // reason, when no socket can be made.
  explicit PageChannel(PageAccessRule rule, std::chrono::milliseconds callDeadline = kPageCallDeadline);
  ~PageChannel();
  PageChannel(const PageChannel&) = delete;
  PageChannel& operator=(const PageChannel&) = delete;

  // What the web-process extension needs at start-up (a floating GVariant): the
  // socket address, the secret, the method names in member-ID order, the rule,
  // and the log its diagnostics join (none when empty).
  GVariant* ExtensionInitializationData(const std::filesystem::path& diagnosticsLog = {}) const;

  // Routes the page with this WebKit page id to an endpoint, or stops routing.
  void Attach(std::uint64_t pageId, IPageEndpoint* endpoint);
  void Detach(std::uint64_t pageId);
  // Whether the page's web process has connected.
  bool IsConnected(std::uint64_t pageId) const;

  // Calls a function of the page's main frame with text arguments. While the page
  // works, the main loop runs (the page's web process may need WebKit's own answers
  // first), so other pages' calls and events may be served meanwhile; call it from
  // the main-loop thread only. S_OK, DISP_E_UNKNOWNNAME when it has no such
  // function, DISP_E_EXCEPTION when it throws, E_FAIL when the page cannot be
  // reached, does not answer within the deadline, or the program is ending.
  HRESULT CallPageFunction(std::uint64_t pageId, const std::u16string& function, const std::vector<std::u16string>& arguments);
  // Tells the page the native paths of the files the player has just chosen for
  // it, before WebKit hands it the files: waits as CallPageFunction does.
  HRESULT DeliverChosenFiles(std::uint64_t pageId, const std::vector<std::u16string>& paths);

  // The program is ending: every call that waits for a page fails now, and so does
  // every later one.
  void EndWaits();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace wendrake

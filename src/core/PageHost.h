#pragma once
// What a page method's handler runs on: the host of the calling page. Handlers reach
// windows, dialogs, page scripts and the system only through these interfaces, so
// the desktop implements them with GTK and WebKit while tests and wendrakectl run
// headless.
#include <string>
#include <string_view>
#include <vector>

#include "core/Installation.h"

namespace wendrake {

struct PageDialogRequest {
  std::string address;  // a local page path or a web address
  int width = 0;
  int height = 0;
  std::u16string message;  // a message code for the message box, else empty
};

// The result of a page dialog that could not be shown at all.
inline constexpr int kDialogNotShown = -1;

// The window that holds a page: the main window or a page dialog.
class IHostWindow {
 public:
  virtual ~IHostWindow() = default;
  // Runs a modal page dialog over this window and answers its result once it has
  // ended, or kDialogNotShown.
  virtual int RunPageDialog(const PageDialogRequest& request) = 0;
  // The system close command, sent to the top-level window that owns the page.
  virtual void CloseTopLevel() = 0;
  virtual void Minimize() = 0;
  // Ends the window with this result when it is a page dialog; otherwise nothing.
  virtual void EndDialog(int result) = 0;
};

// The page shown in a view, as native code calls it.
class IPageScript {
 public:
  virtual ~IPageScript() = default;
  // Waits a bounded while for a page that is still loading; pages load beside
  // each other, and a call that needs one waits here rather than fail.
  virtual void AwaitLoaded() {}
  virtual bool RefreshDocument() = 0;
  // Calls a function of the page with text arguments, first argument first;
  // reports its own failures to the user and answers false.
  virtual bool CallPageScript(std::u16string_view function, const std::vector<std::u16string>& arguments) = 0;
};

// Opening a file, program or address as the desktop does; true once started.
class IShell {
 public:
  virtual ~IShell() = default;
  virtual bool ShellOpen(std::u16string_view target) = 0;
};

// Whether the outside network can be reached.
class INetworkCheck {
 public:
  virtual ~INetworkCheck() = default;
  virtual bool CheckConnection() = 0;
};

// Ends every running instance of the program, once the current page call has
// returned to its page.
class IInstanceEnder {
 public:
  virtual ~IInstanceEnder() = default;
  virtual void EndAllInstances() = 0;
};

struct HostServices {
  IShell& shell;
  INetworkCheck& network;
  IInstanceEnder& instances;
};

class PageHost {
 public:
  PageHost(const Installation& installation, IHostWindow& holdingWindow, IPageScript& page, const HostServices& services, PageHost* opener = nullptr)
      : installation_(installation), holdingWindow_(holdingWindow), page_(page), services_(services), opener_(opener) {}

  const Installation& Install() const { return installation_; }
  IHostWindow& HoldingWindow() const { return holdingWindow_; }
  IPageScript& Page() const { return page_; }
  const HostServices& Services() const { return services_; }
  // The host of the page that opened this page's dialog; none for the main page.
  PageHost* OpenerViewWindow() const { return opener_; }

  // Opens the message box page for a message code over the holding window.
  void ShowMsgBox(std::u16string_view code) const;

 private:
  const Installation& installation_;
  IHostWindow& holdingWindow_;
  IPageScript& page_;
  HostServices services_;
  PageHost* opener_;
};

}  // namespace wendrake

#pragma once
// A page host without a display: the holding window, the page and the services of
// a headless page call. What would have been shown, called or started is recorded
// as events, in order.
#include <optional>
#include <set>
#include <string>
#include <variant>
#include <vector>

#include "core/PageHost.h"
#include "platform/ConnectionCheck.h"
#include "platform/InstanceEnder.h"
#include "platform/ShellStart.h"

namespace wendrake {

struct MessageBoxEvent {
  std::u16string code;
};
struct PageCallEvent {
  std::u16string function;
  std::vector<std::u16string> arguments;
  bool ok = false;
};
struct DialogEvent {
  PageDialogRequest request;
};
struct OpenEvent {
  std::u16string target;
  bool started = false;
  StartReport start;  // what was, or would be, started
};
struct WindowEvent {
  std::string command;  // "close", "minimize" or "end-dialog"
};
using HostEvent = std::variant<MessageBoxEvent, PageCallEvent, DialogEvent, OpenEvent, WindowEvent>;

struct HeadlessOptions {
  // The functions the page defines; without a list, every function the program
  // calls on pages.
  std::optional<std::set<std::u16string>> pageFunctions;
  // Decide what a start would do, but start and end nothing.
  bool noExec = false;
  ShellStarter::WineCommandSource wineCommand;
  std::string connectivityAddress = kConnectivityCheckAddress;
};

class HeadlessHost : public IHostWindow, public IPageScript, public IShell {
 public:
  explicit HeadlessHost(HeadlessOptions options = {});

  // A headless dialog cannot be shown, so it ends at once; a message box is
  // recorded as its code.
  int RunPageDialog(const PageDialogRequest& request) override;
  void CloseTopLevel() override { events_.emplace_back(WindowEvent{"close"}); }
  void Minimize() override { events_.emplace_back(WindowEvent{"minimize"}); }
  void EndDialog(int) override { events_.emplace_back(WindowEvent{"end-dialog"}); }

  bool RefreshDocument() override { return true; }
  bool CallPageScript(std::u16string_view function, const std::vector<std::u16string>& arguments) override;

  bool ShellOpen(std::u16string_view target) override;

  const HostServices& Services() const { return services_; }
  // Work that waits until the page call has returned: ending the instances.
  void RunPendingWork() { instances_.RunPending(); }

  const std::vector<HostEvent>& Events() const { return events_; }

 private:
  std::set<std::u16string> pageFunctions_;
  ShellStarter shell_;
  ConnectionCheck network_;
  InstanceEnder instances_;
  HostServices services_;
  std::vector<HostEvent> events_;
};

}  // namespace wendrake

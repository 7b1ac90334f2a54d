#pragma once
// The page host an add-on handler runs on, headless: message boxes and page calls
// are recorded as lines of text, in order.
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "core/PageHost.h"
#include "core/Text.h"

namespace wendrake::testing {

class HandlerHost : public IHostWindow, public IPageScript, public IShell, public INetworkCheck, public IInstanceEnder {
 public:
  explicit HandlerHost(const Installation& installation) : view_(installation, *this, *this, HostServices{*this, *this, *this}) {}

  const PageHost& View() const { return view_; }
  // "msgbox CODE", "refresh" and "page FUNCTION(ARG,ARG) ok|missing", in order.
  const std::vector<std::string>& Events() const { return events_; }

  std::set<std::u16string> pageFunctions = {u"UnzipFinished"};
  // Runs inside each page call, as the page's own code would.
  std::function<void()> duringPageCall;
  // Stands in for the user of each page dialog; without it a dialog ends with 1.
  std::function<int(const PageDialogRequest&)> duringDialog;

  int RunPageDialog(const PageDialogRequest& request) override {
    events_.push_back("msgbox " + ToUtf8(request.message));
    return duringDialog ? duringDialog(request) : 1;
  }
  void CloseTopLevel() override {}
  void Minimize() override {}
  void EndDialog(int) override {}
  bool RefreshDocument() override {
    events_.push_back("refresh");
    return true;
  }
  bool CallPageScript(std::u16string_view function, const std::vector<std::u16string>& arguments) override {
    std::string line = "page " + ToUtf8(function) + "(";
    for (size_t i = 0; i < arguments.size(); ++i) line += (i ? "," : "") + ToUtf8(arguments[i]);
    const bool defined = pageFunctions.contains(std::u16string(function));
    events_.push_back(line + (defined ? ") ok" : ") missing"));
    if (defined && duringPageCall) duringPageCall();
    return defined;
  }
  bool ShellOpen(std::u16string_view) override { return false; }
  bool CheckConnection() override { return false; }
  void EndAllInstances() override {}

 private:
  PageHost view_;
  std::vector<std::string> events_;
};

}  // namespace wendrake::testing

#include "pagehost/HeadlessHost.h"

namespace wendrake {
namespace {

const std::set<std::u16string> kFunctionsTheProgramCalls = {u"KeyPressed", u"InitMsgBox", u"SetUserInfo", u"UnzipFinished"};

}  // namespace

HeadlessHost::HeadlessHost(HeadlessOptions options)
    : pageFunctions_(options.pageFunctions ? std::move(*options.pageFunctions) : kFunctionsTheProgramCalls),
      shell_(std::move(options.wineCommand), options.noExec),
      network_(std::move(options.connectivityAddress)),
      instances_(options.noExec),
      services_{*this, network_, instances_} {}

int HeadlessHost::RunPageDialog(const PageDialogRequest& request) {
  if (request.message.empty())
    events_.emplace_back(DialogEvent{request});
  else
    events_.emplace_back(MessageBoxEvent{request.message});
  return kDialogNotShown;
}

bool HeadlessHost::CallPageScript(std::u16string_view function, const std::vector<std::u16string>& arguments) {
  // Script function names are case-sensitive.
  const bool ok = pageFunctions_.contains(std::u16string(function));
  events_.emplace_back(PageCallEvent{std::u16string(function), arguments, ok});
  return ok;
}

bool HeadlessHost::ShellOpen(std::u16string_view target) {
  StartReport start;
  const bool started = shell_.Open(target, &start);
  events_.emplace_back(OpenEvent{std::u16string(target), started, std::move(start)});
  return started;
}

}  // namespace wendrake

#pragma once
// A headless page host over a temporary installation, for calling page methods
// through the bridge as a page would.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/PageValue.h"
#include "core/Text.h"
#include "pagehost/HeadlessHost.h"
#include "pagehost/ScriptBridge.h"
#include "support/TempInstallation.h"

namespace wendrake::testing {

inline std::string Relative(std::string text, const std::string& root) {
  if (root.empty()) return text;
  for (size_t at = 0; (at = text.find(root, at)) != std::string::npos;) text.erase(at, root.size());
  return text;
}

inline std::vector<std::string> DescribeEvents(const HeadlessHost& host, const std::string& root) {
  struct Describe {
    const std::string& root;
    std::string operator()(const MessageBoxEvent& e) const { return "msgbox " + ToUtf8(e.code); }
    std::string operator()(const WindowEvent& e) const { return "window " + e.command; }
    std::string operator()(const OpenEvent& e) const { return "open " + Relative(ToUtf8(e.target), root) + (e.started ? " started" : " failed"); }
    std::string operator()(const DialogEvent& e) const {
      return "dialog " + Relative(e.request.address, root) + " " + std::to_string(e.request.width) + "x" + std::to_string(e.request.height);
    }
    std::string operator()(const PageCallEvent& e) const {
      std::string line = "page " + ToUtf8(e.function) + "(";
      for (size_t i = 0; i < e.arguments.size(); ++i) line += (i ? "|" : "") + Relative(ToUtf8(e.arguments[i]), root);
      return line + (e.ok ? ") ok" : ") failed");
    }
  };
  std::vector<std::string> lines;
  for (const auto& event : host.Events()) lines.push_back(std::visit(Describe{root}, event));
  return lines;
}

class BridgeFixture : public ::testing::Test {
 protected:
  InvokeOutcome Call(std::u16string_view method, const std::vector<PageValue>& arguments = {}) { return ScriptBridge::Call(view, method, arguments); }
  // The result of a call that must succeed.
  MethodResult Result(std::u16string_view method, const std::vector<PageValue>& arguments = {}) {
    const InvokeOutcome outcome = Call(method, arguments);
    EXPECT_EQ(outcome.code, S_OK) << "calling " << std::string(method.begin(), method.end());
    return outcome.result;
  }
  template <typename Event>
  std::vector<Event> EventsOf() const {
    std::vector<Event> found;
    for (const auto& event : host.Events())
      if (const auto* match = std::get_if<Event>(&event)) found.push_back(*match);
    return found;
  }
  std::vector<std::u16string> MessageCodes() const {
    std::vector<std::u16string> codes;
    for (const auto& box : EventsOf<MessageBoxEvent>()) codes.push_back(box.code);
    return codes;
  }
  // The events as short lines ("msgbox 1010", "window minimize", "open <target> started",
  // "dialog <page file or address> 520x204", "page SetUserInfo(a|b) ok"), paths
  // relative to the installation root.
  std::vector<std::string> EventLines() const { return DescribeEvents(host, installation.Root().string() + "/"); }

  TempInstallation installation;
  // Decides starts without making them: a test never opens the desktop's browser.
  HeadlessHost host{{.noExec = true}};
  PageHost view{installation.Install(), host, host, host.Services()};
};

}  // namespace wendrake::testing

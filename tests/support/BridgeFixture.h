#pragma once
// A headless page host over a temporary installation, for calling page methods
// through the bridge as a page would.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/PageValue.h"
#include "pagehost/HeadlessHost.h"
#include "pagehost/ScriptBridge.h"
#include "support/TempInstallation.h"

namespace wendrake::testing {

class BridgeFixture : public ::testing::Test {
 protected:
  InvokeOutcome Call(std::u16string_view method, const std::vector<PageValue>& arguments = {}) {
    return ScriptBridge::Call(view, method, arguments);
  }
  // The result of a call that must succeed.
  MethodResult Result(std::u16string_view method, const std::vector<PageValue>& arguments = {}) {
    const InvokeOutcome outcome = Call(method, arguments);
    EXPECT_EQ(outcome.code, S_OK) << "calling " << std::string(method.begin(), method.end());
    return outcome.result;
  }
  std::vector<std::u16string> MessageCodes() const {
    std::vector<std::u16string> codes;
    for (const auto& event : host.Events())
      if (const auto* box = std::get_if<MessageBoxEvent>(&event)) codes.push_back(box->code);
    return codes;
  }

  TempInstallation installation;
  HeadlessHost host;
  PageHost view{installation.Install(), host, host, host.Services()};
};

}  // namespace wendrake::testing

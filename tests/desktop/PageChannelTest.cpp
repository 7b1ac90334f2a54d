#include <gtest/gtest.h>

#include "desktop/support/PageHarness.h"
#include "pagehost/ScriptBridge.h"

namespace wendrake {
namespace {

using testing::PageHarness;
using testing::RecordingEndpoint;
using testing::RunUntil;
using testing::TestView;

class PageChannelTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { harness_ = new PageHarness(); }
  static void TearDownTestSuite() {
    delete harness_;
    harness_ = nullptr;
  }
  static PageHarness* harness_;
};
PageHarness* PageChannelTest::harness_ = nullptr;

TEST_F(PageChannelTest, Smoke) {
  RecordingEndpoint endpoint;
  endpoint.onCall = [](std::int32_t, const std::vector<PageValue>&) { return InvokeOutcome{S_OK, std::int32_t{42}}; };
  TestView view(*harness_, &endpoint);
  ASSERT_TRUE(view.Load("<html><body>hi</body></html>", harness_->UiPage("test.html")));
  EXPECT_EQ(view.Evaluate("typeof window.external"), "object");
  EXPECT_EQ(view.Evaluate("String(window.external.GetPluginCount(1, 'a'))"), "42");
  ASSERT_EQ(endpoint.calls.size(), 1u);
}

}  // namespace
}  // namespace wendrake

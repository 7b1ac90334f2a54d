// Add-on switching called as a page calls it, through wendrakectl.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/CataloguedAddOns.h"
#include "support/ProcessRun.h"

namespace wendrake {
namespace {

class SwitchingCtl : public ::testing::Test, protected testing::CataloguedAddOns {
 protected:
  testing::ProcessOutcome Call(const std::string& method) const {
    return testing::RunProcess({WENDRAKECTL_PATH, "--root", installation.Root().string(), "call", method});
  }
};

TEST_F(SwitchingCtl, SwitchesOffAndOn) {
  Manifest("Alpha", "RiftAddon.toc");
  Manifest("Beta", "RiftAddon.toc");
  const struct {
    const char* method;
    const char* present;
    const char* absent;
  } steps[] = {
      {"LogofToChangePlugName", "RiftAddon.txt", "RiftAddon.toc"},
      {"LoginToChangePlugName", "RiftAddon.toc", "RiftAddon.txt"},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.method);
    const auto outcome = Call(step.method);
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.out, "{\"result\": null, \"events\": []}\n");
    for (const char* folder : {"Alpha", "Beta"}) {
      EXPECT_TRUE(Has(folder, step.present)) << folder;
      EXPECT_FALSE(Has(folder, step.absent)) << folder;
    }
  }
}

TEST_F(SwitchingCtl, AFailedRenameFailsTheCall) {
  Manifest("Alpha", "RiftAddon.toc");
  Manifest("Alpha", "RiftAddon.txt");
  Manifest("Beta", "RiftAddon.toc");
  const auto outcome = Call("LogofToChangePlugName");
  EXPECT_EQ(outcome.status, 3);
  EXPECT_EQ(outcome.out, "{\"error\": \"DISP_E_EXCEPTION\", \"hresult\": -2147352567}\n");
  EXPECT_TRUE(Has("Alpha", "RiftAddon.toc"));
  EXPECT_TRUE(Has("Beta", "RiftAddon.toc"));
  EXPECT_FALSE(Has("Beta", "RiftAddon.txt"));
}

}  // namespace
}  // namespace wendrake

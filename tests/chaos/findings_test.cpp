// What the fault campaign found on terminals that only its drawn packages
// have, replayed as the seed drew it.

#include <gtest/gtest.h>

#include <algorithm>

#include "chaos/bench.hpp"
#include "chaos/oracle.hpp"
#include "chaos/terminal_plan.hpp"
#include "platform/control_ids.hpp"

namespace tavro::chaos {
namespace {

// Seed 1796794812016: a package of one parameter area. The power went at
// the second block of the area's download, the terminal having cleared the
// data's intact mark at the first. The record of that download has as few
// keys as an E2PROM record, was taken for one, found incomplete and
// deleted; the next Upgrade found the terminal's data damaged and replaced
// it with the initial data instead of resuming with the terminal's own.
TEST(FaultCampaignFindings, Seed1796794812016_AOneAreaRecordIsResumed) {
  TerminalPlan plan;
  plan.blVersion = 0x0215;
  plan.areaData = {89};
  plan.terminalApp = 5000;
  plan.packageApp = 7000;
  plan.behaviour.clearMarkOnArrival = true;

  Bench reference(plan, MakeTerminal(plan), TAVRO_CHAOS_PACKAGE_DIR);
  ASSERT_TRUE(reference.Start());
  ASSERT_TRUE(reference.Press(platform::kDeviceInfoButton, 60000));
  ASSERT_TRUE(reference.Press(platform::kUpgradeButton, 600000));
  reference.loop.Advance(15000);
  ASSERT_EQ(reference.screen.boxes().back(), reference.Text("Run_RunOk"));

  Bench b(plan, MakeTerminal(plan), TAVRO_CHAOS_PACKAGE_DIR);
  ASSERT_TRUE(b.Start());
  ASSERT_TRUE(b.Press(platform::kDeviceInfoButton, 60000));
  b.terminal().faults().powerCut = sim::TransferKind::Para;
  b.terminal().faults().powerCutBlock = 1;
  ASSERT_TRUE(b.Press(platform::kUpgradeButton, 600000));
  ASSERT_FALSE(b.terminal().Powered()) << "the power was cut";
  b.terminal().PowerUp();
  b.loop.Advance(5000);
  b.screen.Clear();
  ASSERT_TRUE(b.Press(platform::kUpgradeButton, 600000));
  b.loop.Advance(15000);
  const std::vector<std::string>& boxes = b.screen.boxes();
  ASSERT_FALSE(boxes.empty());
  EXPECT_EQ(boxes.back(), b.Text("Run_RunOk"));
  for (const std::string& box : boxes)
    EXPECT_NE(box.rfind(b.Text("Run_Intg_Warn_L0"), 0), 0u) << "asked to replace the data";
  EXPECT_EQ(StateOf(b.terminal().device()), StateOf(reference.terminal().device()))
      << Difference(StateOf(b.terminal().device()), StateOf(reference.terminal().device()));
}

}  // namespace
}  // namespace tavro::chaos

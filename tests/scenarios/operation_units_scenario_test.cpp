// Operation units against the simulated terminal: which unit an
// identification hands over to, what runs after a read, and what happens
// when nothing runs.

#include <gtest/gtest.h>

#include <memory>

#include "engine/read_back.hpp"
#include "engine/stage_control.hpp"
#include "link/messages.hpp"
#include "operations/identify.hpp"
#include "platform/control_ids.hpp"
#include "scenarios/scenario.hpp"

namespace tavro::test {
namespace {

// An operation that records where the engine handed over to it.
class Probe final : public operations::IdentifyingOperation {
 public:
  explicit Probe(bool endWhenIdentified = true) : endWhenIdentified_(endWhenIdentified) {}
  bool CheckFileSet(engine::Context& ctx) override {
    ++fileSetChecks;
    return IdentifyingOperation::CheckFileSet(ctx);
  }
  void OnIdentified(engine::Context& ctx, engine::Identification) override {
    ++identified;
    if (endWhenIdentified_) {
      // Ends itself: the slot lets go of it while this call still runs.
      engine::SetBusy(ctx, engine::WindowState::kIdle);
      ++identified;  // touches the object after it was removed
    }
  }
  void OnProgressTick(engine::Context&, int) override { ++progressTicks; }

  int fileSetChecks = 0;
  int identified = 0;
  int progressTicks = 0;

 private:
  bool endWhenIdentified_;
};

bool Idle(Scenario& s) {
  return s.dlg->controls().Get(platform::kDeviceInfoButton).enabled;
}

// Connects as the developer panel's restart button does: no operation is
// installed by it.
bool Connect(Scenario& s) {
  s.ctx().link.CmdID = link::MsgConnect;
  engine::StartCommand(s.ctx());
  return s.loop.RunUntil([&] { return Idle(s); }, 60000);
}

TEST(OperationUnits, TheButtonInstallsItsUnitAndTheReturnToIdleRemovesIt) {
  Scenario s(PackageDevice(0x0215, 1));
  ASSERT_TRUE(s.Start().packageReady);
  EXPECT_FALSE(s.ctx().operations.IsRunning());
  s.dlg->OnButton(platform::kDeviceInfoButton);
  EXPECT_TRUE(s.ctx().operations.IsRunning());
  ASSERT_TRUE(s.loop.RunUntil([&] { return Idle(s); }, 60000));
  EXPECT_FALSE(s.ctx().operations.IsRunning());
  EXPECT_NE(s.Info().find(s.Text("Dis_Ver_Para") + ": 1.2.0.0"), std::string::npos);
}

TEST(OperationUnits, TheLastInstalledUnitGetsTheHandOverAndMayEndItself) {
  Scenario s(PackageDevice(0x0230, 1));
  ASSERT_TRUE(s.Start().packageReady);
  auto first = std::make_shared<Probe>();
  auto second = std::make_shared<Probe>();
  s.ctx().operations.Install(first);
  s.ctx().operations.Install(second);
  const std::string before = s.Info();
  ASSERT_TRUE(Connect(s));
  EXPECT_EQ(first->fileSetChecks, 0);
  EXPECT_EQ(first->identified, 0);
  EXPECT_EQ(second->fileSetChecks, 1);
  EXPECT_EQ(second->identified, 2);
  EXPECT_FALSE(s.ctx().operations.IsRunning());
  EXPECT_EQ(s.Info(), before) << "the probe shows nothing; the view unit did not run";
  EXPECT_EQ(s.ctx().link.DevIdentified, 1);
  EXPECT_TRUE(s.screen.boxes().empty());
}

TEST(OperationUnits, WithNothingRunningTheTerminalIsIdentifiedAndShown) {
  Scenario s(PackageDevice(0x0215, 1));
  ASSERT_TRUE(s.Start().packageReady);
  ASSERT_TRUE(Connect(s));
  EXPECT_FALSE(s.ctx().operations.IsRunning());
  EXPECT_NE(s.Info().find(s.Text("Dis_Bl_Ver") + ": 2.15"), std::string::npos);
  EXPECT_EQ(s.ctx().link.DevIdentified, 1);
}

TEST(OperationUnits, AWholeE2promReadGoesToItsOwnStepNotToTheHeaderStep) {
  Scenario s(PackageDevice(0x0230, 1));
  ASSERT_TRUE(s.Start().packageReady);
  ASSERT_TRUE(s.Press(platform::kDeviceInfoButton));
  const std::string shown = s.Info();
  const std::string version = s.ctx().device.ParaVersion;

  auto probe = std::make_shared<Probe>(false);
  s.ctx().operations.Install(probe);
  int done = 0;
  link::Bytes image;
  engine::StartE2Read(s.ctx(), {0, engine::kE2ImageLength, [&] {
                                  ++done;
                                  image = s.ctx().link.buffers.backupImage2;
                                }});
  ASSERT_TRUE(s.loop.RunUntil([&] { return done > 0; }, 120000));
  s.loop.Advance(1000);
  EXPECT_EQ(done, 1);
  EXPECT_EQ(probe->identified, 0) << "the header step of the identification ran again";
  EXPECT_EQ(s.Info(), shown);
  EXPECT_EQ(s.ctx().device.ParaVersion, version);
  EXPECT_EQ(s.SentDuringPress(link::MsgE2ReadBlock), 1u + 16u);
  ASSERT_EQ(image.size(), engine::kE2ImageLength + 2);
  EXPECT_TRUE(std::equal(s.terminal().device().e2prom.begin(), s.terminal().device().e2prom.end(),
                         image.begin()));
  EXPECT_TRUE(s.screen.boxes().empty());
}

TEST(OperationUnits, ProgressTicksReachTheRunningUnitOnly) {
  Scenario s(PackageDevice(0x0215, 1));
  ASSERT_TRUE(s.Start().packageReady);
  auto probe = std::make_shared<Probe>(false);
  s.ctx().operations.Install(probe);
  s.loop.StartTimer(engine::kTimerProgress, 1000);
  s.loop.StartTimer(engine::kTimerBackupProgress, 1000);
  s.loop.Advance(3000);
  EXPECT_EQ(probe->progressTicks, 6);
  EXPECT_EQ(s.ctx().link.ElapsedSec, 6);
  const std::string info = s.Info();
  s.ctx().operations.Remove();
  s.loop.Advance(2000);
  EXPECT_EQ(probe->progressTicks, 6);
  EXPECT_EQ(s.Info(), info) << "the fallback shows no stages";
}

}  // namespace
}  // namespace tavro::test

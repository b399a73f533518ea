// What the fault campaign (tests/chaos) found, each replayed here as the
// schedule its seed drew: a terminal, an operation and the faults that
// struck. Each left the window busy for good or reported a success the
// terminal did not hold.

#include <gtest/gtest.h>

#include <algorithm>

#include "link/messages.hpp"
#include "platform/control_ids.hpp"
#include "scenarios/scenario.hpp"
#include "scenarios/upgrade_package.hpp"
#include "sim/device_factory.hpp"

namespace tavro::test {
namespace {

bool Shown(Scenario& s, const char* key) {
  const std::vector<std::string> boxes = s.BoxTexts();
  return std::find(boxes.begin(), boxes.end(), s.Text(key)) != boxes.end();
}

// The last box begins with the text of `key` (an error box may carry the
// resume hint after it).
bool LastBoxIs(Scenario& s, const char* key) {
  const std::vector<std::string> boxes = s.BoxTexts();
  return !boxes.empty() && boxes.back().rfind(s.Text(key), 0) == 0;
}

// Seed 17: the terminal took the App read-back's start as a frame cut off
// and said so twice; the request has no block to send again, and the
// window waited for ever.
TEST(FaultCampaignFindings, Seed17_ACutOffReadBackStartEndsWithTheAnswerTimeOut) {
  Scenario s(SmallTerminal(0x0230));
  MakeUpgradePackage(s, kPackageData, true, kSmallAppSize);
  ASSERT_TRUE(ConnectQuietly(s));
  s.terminal().faults().rxTimeoutOn = {true, link::MsgAppBackupStart,
                                       s.terminal().ReceivedCount(link::MsgAppBackupStart) + 1, 1};
  s.terminal().faults().rxTimeoutBurst = 2;
  const std::uint64_t started = s.loop.NowMs();
  ASSERT_TRUE(s.Press(platform::kBackupButton, 60000)) << "the window stayed busy";
  EXPECT_LE(s.loop.NowMs() - started, 12000u) << "the answer time-out of nine seconds";
  EXPECT_EQ(s.BoxTexts(), std::vector<std::string>{s.Text("Run_ConnectOverTime")});
}

// Seed 35: both of the terminal's reports that it was writing the App were
// lost; the download waited for them with no watchdog running.
TEST(FaultCampaignFindings, Seed35_LostAppWriteReportsEndWithTheTerminalWatchdog) {
  Scenario s(SmallTerminal(0x0215));
  MakeUpgradePackage(s, kPackageData, true, kSmallAppSize);
  ASSERT_TRUE(ConnectQuietly(s));
  // Nor does a run report end the wait: this terminal stays quiet.
  s.terminal().behaviour().runDelayMs = 3600000;
  // The first two reports answer the download's start, the next two follow
  // the last App block.
  s.terminal().faults().dropReply = {true, link::MsgDataBackupState,
                                     s.terminal().SentCount(link::MsgDataBackupState) + 3, 2};
  ASSERT_TRUE(s.Press(platform::kUpgradeButton, 600000)) << "the window stayed busy";
  EXPECT_TRUE(LastBoxIs(s, "F_BackupErr")) << s.BoxTexts().back();
  EXPECT_FALSE(Shown(s, "Dis_DevRestart"));
}

// Seed 42: the terminal's answer to the data download's start was lost;
// two seconds later the terminal ended its session and reported its App
// running, which the window showed as the upgrade's success although no
// data had been written.
TEST(FaultCampaignFindings, Seed42_ARunReportBeforeTheEndIsNoSuccess) {
  Scenario s(SmallTerminal(0x0215));
  MakeUpgradePackage(s, kPackageData, true, kSmallAppSize);
  ASSERT_TRUE(ConnectQuietly(s));
  const std::vector<link::Bytes> own = DataOf(s.terminal().device());
  s.terminal().faults().dropReply = {true, link::MsgParaDownloadState,
                                     s.terminal().SentCount(link::MsgParaDownloadState) + 1, 2};
  ASSERT_TRUE(RunUpgrade(s));
  EXPECT_GT(s.terminal().SentCount(link::MsgRunResult), 0u) << "the terminal reported its run";
  EXPECT_TRUE(LastBoxIs(s, "Ext_RunBeforeEnd")) << s.BoxTexts().back();
  EXPECT_FALSE(Shown(s, "Run_RunOk"));
  EXPECT_EQ(DataOf(s.terminal().device()), own) << "no data was written";
  // The interrupted upgrade is finished by the next one.
  s.terminal().faults() = {};
  s.screen.Clear();
  ASSERT_TRUE(s.Press(platform::kDeviceInfoButton));
  ASSERT_TRUE(RunUpgrade(s));
  ASSERT_FALSE(s.BoxTexts().empty());
  EXPECT_EQ(s.BoxTexts().back(), s.Text("Run_RunOk"));
  EXPECT_EQ(DataOf(s.terminal().device()), UninterruptedUpgradeData(0x0215));
}

// Seed 138: an E2PROM read-back block came twice; the acknowledgements ran
// ahead of the blocks, one block was not taken and the read waited for ever.
// A lost block did the same.
TEST(FaultCampaignFindings, Seed138_AStalledE2promReadEndsWithTheAnswerTimeOut) {
  for (const bool repeated : {true, false}) {
    SCOPED_TRACE(repeated ? "block sent twice" : "block lost");
    Scenario s(SmallTerminal(0x0230));
    MakeUpgradePackage(s, kPackageData, true, kSmallAppSize);
    ASSERT_TRUE(ConnectQuietly(s));
    sim::FrameMatch match{true, link::MsgE2ReadBlock,
                          s.terminal().SentCount(link::MsgE2ReadBlock) + 3, 1};
    (repeated ? s.terminal().faults().repeatReply : s.terminal().faults().dropReply) = match;
    ASSERT_TRUE(s.Press(platform::kBackupButton, 120000)) << "the window stayed busy";
    ASSERT_FALSE(s.BoxTexts().empty());
    // Either the read got every block or it ended with the time-out.
    const std::string last = s.BoxTexts().back();
    EXPECT_TRUE(last == s.Text("Sw_Backup_Ok") || last == s.Text("Run_ConnectOverTime")) << last;
    if (!repeated) {
      EXPECT_EQ(last, s.Text("Run_ConnectOverTime"));
    }
  }
}

// Seed 174: the power went while the RAM loader that brings the new
// bootloader was sent; after the restart the upgrade went on with the App
// and the data as if the bootloader were in place, and reported success.
TEST(FaultCampaignFindings, Seed174_NoDataAfterARestartWithoutTheNewBootloader) {
  sim::DeviceSpec spec = PackageDevice(0x0225, 1);
  spec.dataVersion = kPackageData;
  sim::Device device = sim::MakeDevice(spec);
  for (std::size_t i = 0; i < device.para.size(); ++i) {
    device.para[i].primary.bytes =
        sim::MakeParaImage(i, kPackageData, spec.model, 200 + i, spec.stamp);
    if (device.para[i].copy.capacity > 0)
      device.para[i].copy.bytes = device.para[i].primary.bytes;
  }
  Scenario s(device);
  SetBlUpDataConfig(s, 1);
  SameAppAreaAfterTheUpgrade(s);
  MakeUpgradePackage(s, kPackageData, /*withRules=*/false);
  const link::Bytes app = sim::MakeAppFile(0x01000300, "TR100", 2 * 4096 + 10);
  ASSERT_TRUE(PutFile(s, "SW/E2prom/App.bin", app));
  ASSERT_TRUE(PutFile(s, "Data/Bl/New_BL_230.bin", link::Bytes(3 * 4096 + 10, 0x42)));
  ASSERT_TRUE(ConnectQuietly(s));
  const sim::Device before = s.terminal().device();
  s.terminal().faults().powerCut = sim::TransferKind::Ram;
  s.terminal().faults().powerCutBlock = 1;
  s.terminal().SetPowerCutHook(
      [&s] { s.loop.ScheduleAfter(700, [&s] { s.terminal().PowerUp(); }); });
  ASSERT_TRUE(s.Press(platform::kUpgradeButton, 900000)) << "the window stayed busy";
  s.loop.Advance(15000);
  ASSERT_FALSE(s.BoxTexts().empty());
  EXPECT_EQ(s.BoxTexts().back(), s.Text("Ext_BlNotUpgraded"));
  EXPECT_FALSE(Shown(s, "Run_RunOk"));
  EXPECT_EQ(s.terminal().device().bootloader.version, 0x0225);
  EXPECT_EQ(s.terminal().device().app, before.app) << "no App was sent";
  EXPECT_EQ(DataOf(s.terminal().device()), DataOf(before)) << "no data was sent";

  // The next upgrade puts the bootloader in and moves the data.
  s.screen.Clear();
  ASSERT_TRUE(s.Press(platform::kDeviceInfoButton));
  ASSERT_TRUE(RunUpgrade(s));
  ASSERT_FALSE(s.BoxTexts().empty());
  EXPECT_EQ(s.BoxTexts().back(), s.Text("Run_RunOk"));
  EXPECT_EQ(s.terminal().device().bootloader.version, 0x0230);
  EXPECT_EQ(s.terminal().device().app.image, app);
}

}  // namespace
}  // namespace tavro::test

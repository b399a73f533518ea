// Every reply of the identification and of an upgrade, damaged on the line
// once, twice and three times in a row. Once or twice the tool asks again
// and ends exactly as without the damage; three times it stops with a box
// and leaves the terminal as a fresh window can finish. It never goes on
// with a default or stale value, never reports success for a terminal that
// does not hold what was sent, and never stays busy.

#include <gtest/gtest.h>

#include <cstdio>

#include "link/messages.hpp"
#include "platform/control_ids.hpp"
#include "scenarios/scenario.hpp"
#include "scenarios/upgrade_package.hpp"
#include "sim/faults.hpp"

namespace tavro::test {
namespace {

enum class Run { kDeviceInfo, kUpgrade };

struct Damage {
  std::uint16_t blVersion;
  Run run;
  std::uint16_t reply;
  std::uint32_t times;
};

void PrintTo(const Damage& d, std::ostream* os) {
  *os << "bootloader " << std::hex << d.blVersion << std::dec << ", reply " << d.reply
      << " damaged " << d.times << "x during "
      << (d.run == Run::kDeviceInfo ? "Device Info" : "Upgrade");
}

std::string CaseName(const ::testing::TestParamInfo<Damage>& info) {
  const Damage& d = info.param;
  return "Bl" + std::to_string(d.blVersion) + (d.run == Run::kDeviceInfo ? "_Info_" : "_Upgrade_") +
         std::to_string(d.reply) + "_x" + std::to_string(d.times);
}

bool Press(Scenario& s, Run run) {
  return run == Run::kDeviceInfo ? s.Press(platform::kDeviceInfoButton) : RunUpgrade(s);
}

// The run ended as an undamaged one does. The terminal's run report cannot
// be asked for again: damaged, the completion's own box is the last word,
// and nothing is claimed about the App running.
void ExpectAsUndamaged(Scenario& s, Run run, std::uint16_t blVersion, bool runReportLost = false) {
  EXPECT_EQ(s.ctx().device.BlVersion, blVersion);
  if (run == Run::kDeviceInfo) {
    EXPECT_TRUE(s.screen.boxes().empty()) << s.BoxTexts().front();
    EXPECT_EQ(s.ctx().link.DevIdentified, 1);
    EXPECT_NE(s.Info().find(s.Text("Dis_Ver_Para")), std::string::npos) << s.Info();
    return;
  }
  ASSERT_FALSE(s.BoxTexts().empty());
  EXPECT_EQ(s.BoxTexts().back(), s.Text(runReportLost ? "Dis_DevRestart" : "Run_RunOk"));
  EXPECT_EQ(DataOf(s.terminal().device()), UninterruptedUpgradeData(blVersion));
}

class DamagedReply : public ::testing::TestWithParam<Damage> {};

TEST_P(DamagedReply, EndsAsUndamagedOrStopsClearly) {
  const Damage& d = GetParam();
  Scenario s(SmallTerminal(d.blVersion));
  MakeUpgradePackage(s, kPackageData, true, kSmallAppSize);
  ASSERT_TRUE(ConnectQuietly(s));
  // Counted from power-up: the next `times` replies of this kind.
  s.terminal().faults().crcErrorReply = {true, d.reply, s.terminal().SentCount(d.reply) + 1,
                                         d.times};
  const std::uint32_t before = s.terminal().SentCount(d.reply);
  ASSERT_TRUE(Press(s, d.run)) << "the window stayed busy";
  ASSERT_GT(s.terminal().SentCount(d.reply), before) << "the reply was never sent";
  const std::vector<std::string> boxes = s.BoxTexts();
  std::printf("[ outcome  ] reply %u damaged %ux (bootloader %x): %s\n", d.reply, d.times,
              d.blVersion, boxes.empty() ? "no box" : boxes.back().c_str());

  const bool runReportLost = d.reply == link::MsgRunResult;
  if (d.times < 3) {
    ExpectAsUndamaged(s, d.run, d.blVersion, runReportLost);
    return;
  }
  // Three in a row: a clear stop, or an end as undamaged when the terminal
  // repeats the reply unasked; never success over wrong contents.
  const bool succeeded = d.run == Run::kDeviceInfo
                             ? boxes.empty()
                             : !boxes.empty() && (boxes.back() == s.Text("Run_RunOk") ||
                                                  boxes.back() == s.Text("Dis_DevRestart"));
  if (succeeded) {
    ExpectAsUndamaged(s, d.run, d.blVersion, runReportLost);
  } else {
    EXPECT_FALSE(boxes.empty()) << "stopped without saying so";
  }
  // What a fresh window does next works: identify again and upgrade.
  s.terminal().faults().crcErrorReply = {};
  s.screen.Clear();
  s.loop.Advance(30000);
  ASSERT_TRUE(s.Press(platform::kDeviceInfoButton));
  s.screen.Clear();
  ASSERT_TRUE(RunUpgrade(s));
  ExpectAsUndamaged(s, Run::kUpgrade, d.blVersion);
}

std::vector<Damage> Cases() {
  struct Replies {
    std::uint16_t blVersion;
    Run run;
    std::vector<std::uint16_t> ids;
  };
  const std::vector<Replies> all = {
      {0x0215,
       Run::kDeviceInfo,
       {link::MsgBlHello, link::MsgLinkQueryReply, link::MsgAppInfo, link::MsgFlashReadBlock}},
      {0x0230,
       Run::kDeviceInfo,
       {link::MsgBlHello, link::MsgLinkQueryReply, link::MsgAppInfo, link::MsgE2ReadBlock}},
      {0x0215,
       Run::kUpgrade,
       {link::MsgAppInfo, link::MsgFlashReadBlock, link::MsgAppBackupBlock,
        link::MsgParaBackupBlock, link::MsgDataBackupState, link::MsgAppBlockAck,
        link::MsgParaDownloadState, link::MsgParaBlockAck, link::MsgRunResult}},
      {0x0230,
       Run::kUpgrade,
       {link::MsgAppInfo, link::MsgE2ReadBlock, link::MsgAppBackupBlock, link::MsgDataBackupState,
        link::MsgAppBlockAck, link::MsgFlashWriteAck, link::MsgE2WriteAck, link::MsgRunResult}},
  };
  std::vector<Damage> cases;
  for (const Replies& r : all) {
    for (std::uint16_t id : r.ids) {
      for (std::uint32_t times : {1u, 2u, 3u})
        cases.push_back({r.blVersion, r.run, id, times});
    }
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(All, DamagedReply, ::testing::ValuesIn(Cases()), CaseName);

}  // namespace
}  // namespace tavro::test

// What the fault campaign found on terminals that only its drawn packages
// have, replayed as the seed drew it.

#include <gtest/gtest.h>

#include <algorithm>

#include "chaos/bench.hpp"
#include "chaos/campaign.hpp"
#include "chaos/choices.hpp"
#include "chaos/oracle.hpp"
#include "chaos/terminal_plan.hpp"
#include "link/messages.hpp"
#include "platform/control_ids.hpp"

namespace tavro::chaos {
namespace {

bool HasBoxStartingWith(const std::vector<std::string>& boxes, const std::string& text) {
  return std::any_of(boxes.begin(), boxes.end(),
                     [&text](const std::string& box) { return box.rfind(text, 0) == 0; });
}

// An Upgrade in a window of its own, uninterrupted: what the terminal holds
// afterwards is what every interrupted one must come to.
TerminalState UninterruptedUpgrade(const TerminalPlan& plan) {
  Bench reference(plan, MakeTerminal(plan), TAVRO_CHAOS_PACKAGE_DIR);
  EXPECT_TRUE(reference.Start());
  EXPECT_TRUE(reference.Press(platform::kDeviceInfoButton, 60000));
  EXPECT_TRUE(reference.Press(platform::kUpgradeButton, 600000));
  reference.loop.Advance(15000);
  EXPECT_FALSE(reference.screen.boxes().empty());
  if (!reference.screen.boxes().empty()) {
    EXPECT_EQ(reference.screen.boxes().back(), reference.Text("Run_RunOk"));
  }
  return StateOf(reference.terminal().device());
}

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

// Seeds 1796794812019, 1796794812203, 1796794812208, 1796794812935,
// 1796794813176, 1796794813522, 1796794813650: a 0x22x terminal whose
// upgrade moves its data to the E2PROM lost its power after the new
// bootloader went in. From then on it keeps its data in the E2PROM, which
// holds nothing yet, while the record had the keys of Flash data: it was
// taken for a record of the wrong form, the question gave it up, and the
// next Upgrade replaced the terminal's own data with the initial data.
TEST(FaultCampaignFindings, Seed1796794812019_AMoveToE2promCutAfterTheNewBootloaderResumes) {
  TerminalPlan plan;
  plan.blVersion = 0x0225;
  plan.areaData = {30, 69, 48, 136, 115};
  plan.terminalApp = 443;
  plan.packageApp = 9000;
  plan.newBootloader = true;
  const TerminalState want = UninterruptedUpgrade(plan);

  for (const sim::TransferKind cutIn :
       {sim::TransferKind::App, sim::TransferKind::E2Copy, sim::TransferKind::E2}) {
    SCOPED_TRACE(sim::TransferName(cutIn));
    Bench b(plan, MakeTerminal(plan), TAVRO_CHAOS_PACKAGE_DIR);
    ASSERT_TRUE(b.Start());
    ASSERT_TRUE(b.Press(platform::kDeviceInfoButton, 60000));
    b.terminal().faults().powerCut = cutIn;
    b.terminal().faults().powerCutBlock = cutIn == sim::TransferKind::E2 ? 3 : 0;
    ASSERT_TRUE(b.Press(platform::kUpgradeButton, 600000));
    ASSERT_FALSE(b.terminal().Powered()) << "the power was cut";
    ASSERT_GE(b.terminal().device().bootloader.version, 0x0230) << "after the new bootloader";
    EXPECT_NE(b.screen.boxes().back(), b.Text("Run_RunOk"));
    b.terminal().PowerUp();
    b.loop.Advance(5000);
    ASSERT_TRUE(b.Press(platform::kDeviceInfoButton, 60000));
    b.screen.Clear();
    ASSERT_TRUE(b.Press(platform::kUpgradeButton, 600000));
    b.loop.Advance(15000);
    const std::vector<std::string>& boxes = b.screen.boxes();
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back(), b.Text("Run_RunOk"));
    EXPECT_FALSE(HasBoxStartingWith(boxes, b.Text("Run_Log_Warn_L0"))) << "the record given up";
    EXPECT_FALSE(HasBoxStartingWith(boxes, b.Text("Run_Intg_Warn_L0"))) << "asked to replace";
    EXPECT_EQ(StateOf(b.terminal().device()), want)
        << Difference(StateOf(b.terminal().device()), want);
  }
}

// The mark of a move is no licence to overwrite data the terminal holds:
// a terminal whose E2PROM carries intact data of another time is asked about.
TEST(FaultCampaignFindings, MoveRecordOnATerminalWithIntactE2promDataIsAskedAbout) {
  TerminalPlan plan;
  plan.blVersion = 0x0225;
  plan.areaData = {40, 50, 60, 70, 80};
  plan.terminalApp = 600;
  plan.packageApp = 2000;
  plan.newBootloader = true;
  Bench b(plan, MakeTerminal(plan), TAVRO_CHAOS_PACKAGE_DIR);
  ASSERT_TRUE(b.Start());
  ASSERT_TRUE(b.Press(platform::kDeviceInfoButton, 60000));
  b.terminal().faults().powerCut = sim::TransferKind::App;
  ASSERT_TRUE(b.Press(platform::kUpgradeButton, 600000));
  ASSERT_FALSE(b.terminal().Powered());
  // Another terminal of the new generation, its data intact, on the port.
  TerminalPlan other;
  other.blVersion = 0x0231;
  other.terminalApp = 600;
  other.packageApp = 2000;
  b.terminal().mutableDevice() = MakeTerminal(other);
  b.terminal().PowerUp();
  b.loop.Advance(5000);
  ASSERT_TRUE(b.Press(platform::kDeviceInfoButton, 60000));
  b.screen.Clear();
  ASSERT_TRUE(b.Press(platform::kUpgradeButton, 600000));
  b.loop.Advance(15000);
  EXPECT_TRUE(HasBoxStartingWith(b.screen.boxes(), b.Text("Run_Log_Warn_L0")));
}

// Seed 1796794813042: line noise after the last block of the RAM loader
// began a false frame that swallowed the loader's announcement. Nothing
// watched the wait for it, and the Download stayed busy for ever.
TEST(FaultCampaignFindings, Seed1796794813042_ALoaderThatNeverSpeaksEndsTheWait) {
  TerminalPlan plan;
  plan.blVersion = 0x0225;
  plan.areaData = {81, 107, 65, 42, 21};
  plan.terminalApp = 379;
  plan.packageApp = 200;
  plan.resource = 16;
  plan.newBootloader = true;
  Bench b(plan, MakeTerminal(plan), TAVRO_CHAOS_PACKAGE_DIR);
  ASSERT_TRUE(b.Start());
  ASSERT_TRUE(b.Press(platform::kDeviceInfoButton, 60000));
  b.terminal().faults().dropReply = {true, link::MsgBlUpgradeReady, 1, 1};
  b.screen.Clear();
  ASSERT_TRUE(b.Press(platform::kUpgradeButton, 600000)) << "busy for ever";
  ASSERT_FALSE(b.screen.boxes().empty());
  EXPECT_TRUE(HasBoxStartingWith(b.screen.boxes(), b.Text("Run_ConnectOverTime")))
      << b.screen.boxes().back();
  for (int id = 1; id <= platform::kLastTimer; ++id)
    EXPECT_FALSE(b.loop.TimerRunning(id)) << "timer " << id;
}

// Seed 1796794813425: the acknowledgements of a parameter block came three
// times with a broken CRC, which stops the upgrade; the terminal then ended
// its download session, restarted and reported its App running. That
// report ticked every stage and showed "The operation has finished", though
// two areas were never written.
TEST(FaultCampaignFindings, Seed1796794813425_ARunReportAfterAStopClaimsNothing) {
  TerminalPlan plan;
  plan.blVersion = 0x0205;
  plan.areaData = {846, 2, 3089, 116};
  plan.terminalApp = 347;
  plan.packageApp = 2548;
  plan.behaviour.clearMarkOnArrival = true;
  Bench b(plan, MakeTerminal(plan), TAVRO_CHAOS_PACKAGE_DIR);
  ASSERT_TRUE(b.Start());
  ASSERT_TRUE(b.Press(platform::kDeviceInfoButton, 60000));
  b.terminal().faults().crcErrorReply = {true, link::MsgParaBlockAck, 4, 3};
  b.screen.Clear();
  ASSERT_TRUE(b.Press(platform::kUpgradeButton, 600000));
  b.loop.Advance(15000);
  const std::vector<std::string>& boxes = b.screen.boxes();
  ASSERT_FALSE(boxes.empty());
  EXPECT_TRUE(HasBoxStartingWith(boxes, "CRC" + b.Text("Run_ErrNumOver")))
      << "the stop is shown: " << boxes.front();
  EXPECT_EQ(std::count(boxes.begin(), boxes.end(), b.Text("Run_RunOk")), 0);
  EXPECT_NE(b.Info().find(b.Text("Ext_RunUnasked")), std::string::npos) << b.Info();
  EXPECT_EQ(b.Info().find(b.Text("Dis_DevRun") + "(100%)"), std::string::npos) << b.Info();

  // Once the faults are gone the next Upgrade resumes and its completion's
  // report is the success it claims.
  b.terminal().faults() = {};
  ASSERT_TRUE(b.Press(platform::kDeviceInfoButton, 60000));
  b.screen.Clear();
  ASSERT_TRUE(b.Press(platform::kUpgradeButton, 600000));
  b.loop.Advance(15000);
  ASSERT_FALSE(b.screen.boxes().empty());
  EXPECT_EQ(b.screen.boxes().back(), b.Text("Run_RunOk"));
  EXPECT_EQ(StateOf(b.terminal().device()), UninterruptedUpgrade(plan));
}

// Found beside seed 1796794813042: the terminal's announcement after it
// restarted with its new bootloader can be lost the same way, and nothing
// watched that wait either. Once it has ended, the next Upgrade takes the
// interrupted move to the E2PROM up again.
TEST(FaultCampaignFindings, ALostAnnouncementAfterTheNewBootloaderEndsTheWait) {
  TerminalPlan plan;
  plan.blVersion = 0x0225;
  plan.areaData = {81, 107, 65, 42, 21};
  plan.terminalApp = 379;
  plan.packageApp = 1200;
  plan.newBootloader = true;
  Bench b(plan, MakeTerminal(plan), TAVRO_CHAOS_PACKAGE_DIR);
  ASSERT_TRUE(b.Start());
  ASSERT_TRUE(b.Press(platform::kDeviceInfoButton, 60000));
  b.onNote = [&b](std::string_view note) {
    if (note.find("bootloader written") != std::string_view::npos)
      b.terminal().faults().dropReply = {true, link::MsgBlHello, 1, 1};
  };
  b.screen.Clear();
  const std::uint64_t began = b.loop.NowMs();
  ASSERT_TRUE(b.Press(platform::kUpgradeButton, 600000)) << "busy for ever";
  EXPECT_LT(b.loop.NowMs() - began, 120000u);
  ASSERT_FALSE(b.screen.boxes().empty());
  EXPECT_TRUE(HasBoxStartingWith(b.screen.boxes(), b.Text("Run_ConnectOverTime")))
      << b.screen.boxes().back();
  ASSERT_GE(b.terminal().device().bootloader.version, 0x0230);

  b.onNote = nullptr;
  b.terminal().faults() = {};
  b.PowerCycle(500);
  b.loop.Advance(5000);
  ASSERT_TRUE(b.Press(platform::kDeviceInfoButton, 60000));
  b.screen.Clear();
  ASSERT_TRUE(b.Press(platform::kUpgradeButton, 600000));
  b.loop.Advance(15000);
  ASSERT_FALSE(b.screen.boxes().empty());
  EXPECT_EQ(b.screen.boxes().back(), b.Text("Run_RunOk"));
  const TerminalState want = UninterruptedUpgrade(plan);
  EXPECT_EQ(StateOf(b.terminal().device()), want)
      << Difference(StateOf(b.terminal().device()), want);
}

// What a Backup wrote: the files new or changed in the program directory.
std::vector<std::uint64_t> BackupWrites(Bench& b) {
  const auto before = FileDigests(b.dir());
  EXPECT_TRUE(b.Press(platform::kBackupButton, 600000));
  EXPECT_FALSE(b.screen.boxes().empty());
  if (!b.screen.boxes().empty()) {
    EXPECT_EQ(b.screen.boxes().back(), b.Text("Sw_Backup_Ok"));
  }
  return WrittenContents(before, FileDigests(b.dir()));
}

// A Backup in a window of its own, right after View device information.
std::vector<std::uint64_t> FreshWindowBackup(const TerminalPlan& plan, const sim::Device& device,
                                             std::string* info) {
  Bench fresh(plan, device, TAVRO_CHAOS_PACKAGE_DIR);
  EXPECT_TRUE(fresh.Start());
  EXPECT_TRUE(fresh.Press(platform::kDeviceInfoButton, 60000));
  const std::vector<std::uint64_t> written = BackupWrites(fresh);
  *info = fresh.Info();
  return written;
}

// Found by the campaign fuzzer: an Upgrade cut off by a restart in the third
// of four parameter areas left that area damaged. The first Backup read the
// App and two areas, was refused the third and said the data was damaged.
// The next Backup in that window took the refusal for what the terminal had
// reported and read no data at all, where a window that had just identified
// the terminal reads the two good areas again. A refusal that came and went
// did worse: every later Backup said the intact data was damaged and saved
// none of it, without asking the terminal.
TEST(FaultCampaignFindings, ARefusedAreaReadSpeaksForThatBackupOnly) {
  TerminalPlan plan;
  plan.blVersion = 0x0150;
  plan.areaData = {417, 933, 1241, 51};
  plan.terminalApp = 15027;
  plan.packageApp = 200;
  Bench b(plan, MakeTerminal(plan), TAVRO_CHAOS_PACKAGE_DIR);
  ASSERT_TRUE(b.Start());
  ASSERT_TRUE(b.Press(platform::kDeviceInfoButton, 60000));
  b.terminal().faults().powerCut = sim::TransferKind::Para;
  b.terminal().faults().powerCutArea = 2;
  b.terminal().faults().powerCutBlock = 1;
  ASSERT_TRUE(b.Press(platform::kUpgradeButton, 600000));
  ASSERT_FALSE(b.terminal().Powered()) << "the power was cut";
  b.terminal().faults() = {};
  b.terminal().PowerUp();
  b.loop.Advance(5000);
  ASSERT_TRUE(b.Idle());
  const sim::Device& cut = b.terminal().device();
  ASSERT_TRUE(sim::AreaIntact(cut.para[1].primary));
  ASSERT_FALSE(sim::AreaIntact(cut.para[2].primary)) << "the third area was cut off";

  std::string want;
  const std::vector<std::uint64_t> fresh = FreshWindowBackup(plan, cut, &want);
  EXPECT_EQ(fresh.size(), 3u) << "the App and the two areas before the damaged one";
  const std::string dataSaved = "\xE2\x88\x9A" + b.Text("Dis_Backup2PC_Para");
  EXPECT_EQ(want.find(dataSaved), std::string::npos) << want;
  for (int run = 1; run <= 2; ++run) {
    SCOPED_TRACE("Backup " + std::to_string(run));
    b.screen.Clear();
    EXPECT_EQ(BackupWrites(b), fresh);
    EXPECT_EQ(b.Info().find(dataSaved), std::string::npos) << b.Info();
  }

  // A refusal that goes away: the next Backup saves the intact data.
  Bench t(plan, MakeTerminal(plan), TAVRO_CHAOS_PACKAGE_DIR);
  ASSERT_TRUE(t.Start());
  ASSERT_TRUE(t.Press(platform::kDeviceInfoButton, 60000));
  t.terminal().faults().paraIntegErr = {true, 0, 0};
  t.screen.Clear();
  EXPECT_EQ(BackupWrites(t).size(), 1u) << "the App alone";
  EXPECT_EQ(t.Info().find(dataSaved), std::string::npos) << t.Info();
  t.terminal().faults() = {};
  const std::vector<std::uint64_t> whole = FreshWindowBackup(plan, t.terminal().device(), &want);
  EXPECT_EQ(whole.size(), 5u) << "the App and every area";
  t.screen.Clear();
  EXPECT_EQ(BackupWrites(t), whole);
  EXPECT_NE(t.Info().find(dataSaved), std::string::npos) << t.Info();
}

// A Download stopped by three CRC errors, then the terminal's run report: the
// stopped download's stage lines had gone and left the information area
// empty, and an empty area makes a run report read as a finished operation,
// A seed of scripts/chaos at its full sizes, as `scripts/chaos 0 SEED` runs it.
SeedResult ReplaySeed(std::uint64_t seed) {
  CampaignOptions options;
  options.packageDir = TAVRO_CHAOS_PACKAGE_DIR;
  options.maxOperations = 8;
  Choices choices(seed);
  return RunCampaign(choices, options);
}

// so a download that wrote nothing was reported done.
TEST(FaultCampaignFindings, Seed1796795001913_ARunReportAfterACrcStopIsNoSuccess) {
  const SeedResult r = ReplaySeed(1796795001913ull);
  EXPECT_TRUE(r.passed) << r.failure;
}

// An upgrade that gives up its record starts afresh from within itself; the
// terminal had restarted on its own meanwhile and was no longer connected,
// so the fresh start refused, and the window stayed busy with no timer.
TEST(FaultCampaignFindings, Seed1796796000103_AFreshStartRefusedWithinAnUpgradeEndsIt) {
  const SeedResult r = ReplaySeed(1796796000103ull);
  EXPECT_TRUE(r.passed) << r.failure;
}

}  // namespace
}  // namespace tavro::chaos

// What the window says must be so: only stages that ran are ticked, a
// resume and a conversion are named, an interrupted download says how to go
// on, and the frames of an idle window never show as text.

#include <gtest/gtest.h>

#include "link/messages.hpp"
#include "platform/control_ids.hpp"
#include "scenarios/scenario.hpp"
#include "scenarios/upgrade_package.hpp"
#include "sim/faults.hpp"

namespace tavro::test {
namespace {

std::string Skipped(Scenario& s, const char* key) {
  return "–" + s.Text(key) + "(" + s.Text("Ext_StageSkipped") + ")";
}
std::string Ticked(Scenario& s, const char* key) {
  return "√" + s.Text(key) + "(100%)";
}
bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}
// The live stage lines: the download stage's name and the run line.
bool ShowsStageLines(Scenario& s) {
  return Has(s.Info(), s.Text("Dis_Download")) && Has(s.Info(), s.Text("Dis_DevRun"));
}

TEST(TruthfulScreen, AFreshUpgradeNamesItsConversionAndItsVersions) {
  Scenario s(SmallTerminal(0x0215));
  MakeUpgradePackage(s, kPackageData, true, kSmallAppSize);
  ASSERT_TRUE(ConnectQuietly(s));
  ASSERT_TRUE(RunUpgrade(s));
  ASSERT_EQ(s.BoxTexts().back(), s.Text("Run_RunOk"));
  const std::string info = s.Info();
  for (const char* key : {"Dis_GetInfo", "Dis_Backup2PC", "Dis_DataConv", "Dis_Download"})
    EXPECT_TRUE(Has(info, Ticked(s, key))) << key << "\n" << info;
  EXPECT_TRUE(
      Has(info, s.Text("Ext_ConvertedFrom") + " 1.2.0.0 " + s.Text("Ext_ConvertedTo") + " 1.3.0.0"))
      << info;
  EXPECT_TRUE(Has(info, s.Text("Ext_SummaryApp") + ": 1.0.2.0 → 1.0.3.0")) << info;
  EXPECT_TRUE(Has(info, s.Text("Ext_SummaryData") + ": 1.2.0.0 → 1.3.0.0")) << info;
}

// A cut in the data download, then the next Upgrade: no read-back and no
// conversion happen, and the screen says so and names the saved set.
TEST(TruthfulScreen, AResumedUpgradeSkipsReadBackAndConversionAndSaysItResumes) {
  Scenario s(SmallTerminal(0x0215));
  MakeUpgradePackage(s, kPackageData, true, kSmallAppSize);
  ASSERT_TRUE(ConnectQuietly(s));
  std::string error;
  ASSERT_TRUE(sim::SetFault(s.terminal().faults(), "PowerCut", "Para:2, 1", error)) << error;
  ASSERT_TRUE(s.Press(platform::kUpgradeButton, 900000));
  // The error ending says how to go on.
  ASSERT_FALSE(s.BoxTexts().empty());
  EXPECT_TRUE(Has(s.BoxTexts().back(), s.Text("Ext_ResumeHint"))) << s.BoxTexts().back();

  s.terminal().PowerUp();
  s.loop.Advance(5000);
  s.screen.Clear();
  ASSERT_TRUE(RunUpgrade(s));
  ASSERT_EQ(s.BoxTexts().back(), s.Text("Run_RunOk"));
  const std::string info = s.Info();
  EXPECT_TRUE(Has(info, Skipped(s, "Dis_Backup2PC"))) << info;
  EXPECT_TRUE(Has(info, Skipped(s, "Dis_DataConv"))) << info;
  EXPECT_TRUE(Has(info, Ticked(s, "Dis_Download"))) << info;
  EXPECT_TRUE(Has(info, s.Text("Ext_ResumeSavedAt") + " ")) << info;
  EXPECT_TRUE(Has(info, ", 2/5 " + s.Text("Ext_ResumeFilesWritten"))) << info;
  EXPECT_FALSE(Has(info, s.Text("Ext_ConvertedFrom"))) << info;
  EXPECT_TRUE(Has(info, s.Text("Ext_SummaryData") + ": ")) << info;
  EXPECT_TRUE(Has(info, "→ 1.3.0.0")) << info;
}

TEST(TruthfulScreen, ARemovalMidDownloadSaysHowToGoOnAndLeavesNoTransferRunning) {
  Scenario s(SmallTerminal(0x0230));
  MakeUpgradePackage(s, kPackageData, true, kSmallAppSize);
  ASSERT_TRUE(ConnectQuietly(s));
  s.dlg->OnButton(platform::kUpgradeButton);
  ASSERT_TRUE(s.loop.RunUntil(
      [&s] { return s.ctx().link.CmdID == link::MsgE2WriteBlock && s.ctx().link.gFrameNum > 2; },
      900000));
  s.portListed = false;
  s.dlg->OnDeviceRemoved();
  s.loop.Advance(30000);
  ASSERT_FALSE(s.BoxTexts().empty());
  EXPECT_TRUE(Has(s.BoxTexts().back(), s.Text("Ext_ResumeHint"))) << s.BoxTexts().back();
  EXPECT_FALSE(s.ctx().operations.IsRunning());
  EXPECT_FALSE(ShowsStageLines(s)) << s.Info();
}

// A terminal that falls silent in the middle of its data: the window ends
// with the time-out box, and the frozen stage lines do not stay behind as
// if the download were still going.
TEST(TruthfulScreen, ATimeOutMidDownloadLeavesNoStageLinesBehind) {
  Scenario s(SmallTerminal(0x0215));
  MakeUpgradePackage(s, kPackageData, true, kSmallAppSize);
  ASSERT_TRUE(ConnectQuietly(s));
  s.dlg->OnButton(platform::kUpgradeButton);
  ASSERT_TRUE(s.loop.RunUntil([&s] { return s.ctx().link.CmdID == link::CmdParaSending; }, 900000));
  ASSERT_TRUE(ShowsStageLines(s)) << s.Info();
  s.terminal().PowerCut();
  s.loop.Advance(120000);
  ASSERT_FALSE(s.ctx().operations.IsRunning());
  ASSERT_FALSE(s.BoxTexts().empty());
  EXPECT_TRUE(Has(s.BoxTexts().back(), s.Text("Ext_ResumeHint"))) << s.BoxTexts().back();
  EXPECT_FALSE(ShowsStageLines(s)) << s.Info();
  EXPECT_TRUE(Has(s.Info(), s.Text("Ext_Stopped"))) << s.Info();
  // What did happen before the cut is still said.
  EXPECT_TRUE(Has(s.Info(), s.Text("Ext_ConvertedFrom"))) << s.Info();
}

// Without an interrupted download there is nothing to continue: an error
// box says nothing about resuming.
TEST(TruthfulScreen, ATimeOutWithoutARecordPromisesNoResume) {
  Scenario s(SmallTerminal(0x0215));
  ASSERT_TRUE(ConnectQuietly(s));
  s.terminal().PowerCut();
  ASSERT_TRUE(s.Press(platform::kDeviceInfoButton));
  ASSERT_EQ(s.BoxTexts().size(), 1u);
  EXPECT_EQ(s.BoxTexts()[0], s.Text("Run_ConnectOverTime"));
}

TEST(TruthfulScreen, APlainDownloadDoesNotClaimAConversion) {
  Scenario s(SmallTerminal(0x0215));
  MakeUpgradePackage(s, kPackageData, true, kSmallAppSize);
  ASSERT_TRUE(PutFile(s, "QZDownload.bin", {1}));
  ASSERT_TRUE(ConnectQuietly(s));
  ASSERT_TRUE(s.Press(platform::kDownloadButton, 900000));
  s.loop.Advance(15000);
  ASSERT_EQ(s.BoxTexts().back(), s.Text("Run_RunOk"));
  EXPECT_TRUE(Has(s.Info(), Skipped(s, "Dis_DataConv"))) << s.Info();
  EXPECT_TRUE(Has(s.Info(), Ticked(s, "Dis_Download"))) << s.Info();
}

// After a roll back the terminal's reports come while the window is idle:
// they are frames, never text in the information area.
TEST(TruthfulScreen, FramesAfterARollBackAreNotShownAsText) {
  Scenario s(SmallTerminal(0x0215));
  ASSERT_TRUE(ConnectQuietly(s));
  s.dlg->OnButton(platform::kRollBackAction);
  s.loop.Advance(20000);
  ASSERT_EQ(s.BoxTexts().back(), s.Text("Run_AppGobackOk"));
  for (const char c : s.Info()) {
    const auto byte = static_cast<unsigned char>(c);
    EXPECT_TRUE(byte >= 0x20 || c == '\r' || c == '\n') << "control byte " << int{byte};
  }
  EXPECT_FALSE(Has(s.Info(), "\xEF\xBE")) << "a byte shown as a widened character";
  EXPECT_FALSE(Has(s.Info(), "__")) << s.Info();
}

}  // namespace
}  // namespace tavro::test

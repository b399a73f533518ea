// The close box while an operation runs: the technician is asked, Cancel
// keeps the transfer going to its end, OK lets the close routine run. An
// idle window closes without a question.

#include <gtest/gtest.h>

#include "link/messages.hpp"
#include "platform/control_ids.hpp"
#include "scenarios/scenario.hpp"
#include "scenarios/upgrade_package.hpp"

namespace tavro::test {
namespace {

class CloseDuringOperation : public ::testing::Test {
 protected:
  void SetUp() override {
    package = MakeUpgradePackage(s, kPackageData, true, kSmallAppSize);
    ASSERT_TRUE(ConnectQuietly(s));
  }

  // Presses `button` and runs until the command `cmdId` is under way.
  void RunInto(int button, std::uint32_t cmdId) {
    s.dlg->OnButton(button);
    ASSERT_TRUE(s.loop.RunUntil([this, cmdId] { return s.ctx().link.CmdID == cmdId; }, 600000));
    ASSERT_TRUE(s.ctx().operations.IsRunning());
    s.screen.Clear();
  }

  // The one box the close box asked, as the technician answered it.
  platform::MessageBoxRequest AskToClose(int answer, bool& closes) {
    s.screen.answers().Queue(answer);
    closes = s.dlg->ConfirmClose();
    EXPECT_EQ(s.screen.boxes().size(), 1u);
    return s.screen.boxes().empty() ? platform::MessageBoxRequest{} : s.screen.boxes().front();
  }

  bool Contains(const std::string& text, const char* key) {
    return text.find(s.Text(key)) != std::string::npos;
  }

  Scenario s{SmallTerminal(0x0215)};
  UpgradePackage package;
};

TEST_F(CloseDuringOperation, CancelKeepsTheWindowAndTheDataDownloadGoesOnToTheEnd) {
  RunInto(platform::kUpgradeButton, link::CmdParaSending);
  bool closes = true;
  const platform::MessageBoxRequest box = AskToClose(platform::kButtonCancel, closes);
  EXPECT_FALSE(closes);
  EXPECT_EQ(box.kind, platform::kBoxOkCancel);
  EXPECT_EQ(box.text, s.dlg->CloseQuestion());
  for (const char* key :
       {"Ext_Close_Upgrade", "Ext_Close_Writing", "Ext_Close_Resume", "Ext_Close_Choice"})
    EXPECT_TRUE(Contains(box.text, key)) << key << " in " << box.text;
  EXPECT_TRUE(s.ctx().operations.IsRunning());
  EXPECT_TRUE(s.dlg->runLog().IsOpen()) << "the close routine did not run";

  s.screen.Clear();
  ASSERT_TRUE(s.loop.RunUntil(
      [this] { return s.dlg->controls().Get(platform::kUpgradeButton).enabled; }, 900000));
  s.loop.Advance(15000);
  ASSERT_FALSE(s.BoxTexts().empty());
  EXPECT_EQ(s.BoxTexts().back(), s.Text("Run_RunOk"));
  EXPECT_EQ(s.terminal().device().app.image, package.app);
}

TEST_F(CloseDuringOperation, OkLetsTheCloseRoutineRun) {
  RunInto(platform::kUpgradeButton, link::CmdParaSending);
  bool closes = false;
  EXPECT_EQ(AskToClose(platform::kButtonOk, closes).kind, platform::kBoxOkCancel);
  EXPECT_TRUE(closes);
  EXPECT_EQ(s.dlg->Close(), app::kCloseExitStatus);
  EXPECT_FALSE(s.dlg->runLog().IsOpen());
}

TEST_F(CloseDuringOperation, ABackupSaysTheTerminalIsNotChangedAndPromisesNoResume) {
  RunInto(platform::kBackupButton, link::MsgParaBackupStart);
  bool closes = true;
  const std::string text = AskToClose(platform::kButtonCancel, closes).text;
  EXPECT_FALSE(closes);
  EXPECT_TRUE(Contains(text, "Ext_Close_Backup")) << text;
  EXPECT_TRUE(Contains(text, "Ext_Close_ReadOnly")) << text;
  EXPECT_FALSE(Contains(text, "Ext_Close_Writing")) << text;
  EXPECT_FALSE(Contains(text, "Ext_Close_Resume")) << text;
}

TEST_F(CloseDuringOperation, AnIdleWindowClosesWithoutAQuestion) {
  EXPECT_TRUE(s.dlg->ConfirmClose());
  EXPECT_TRUE(s.screen.boxes().empty());
  // And again once an operation has ended.
  ASSERT_TRUE(s.Press(platform::kDeviceInfoButton));
  s.screen.Clear();
  EXPECT_TRUE(s.dlg->ConfirmClose());
  EXPECT_TRUE(s.screen.boxes().empty());
}

}  // namespace
}  // namespace tavro::test

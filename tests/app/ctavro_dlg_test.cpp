// The window's set-up, its close routine and the developer controls that do
// something.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/window_fixture.hpp"
#include "engine/timer_engine.hpp"

namespace tavro::app {
namespace {

class WindowSetUp : public test::WindowFixture {
 protected:
  WindowSetUp() { openPort_ = false; }
};

TEST_F(WindowSetUp, ShowsReadyWithThePortClosedAndTheDeveloperControlsDisabled) {
  EXPECT_TRUE(setUpResult);
  EXPECT_EQ(Info(), "Ready");
  EXPECT_TRUE(serial.openAttempts().empty());
  EXPECT_FALSE(ctx().port.open);
  EXPECT_EQ(Control(platform::kPortButton).text, Text("B_OpenCom"));
  EXPECT_EQ(Control(platform::kPortStatusIcon).icon, platform::kIconOff);
  EXPECT_EQ(Control(platform::kConnectionStatusIcon).icon, platform::kIconOff);
  EXPECT_EQ(Control(platform::kWindowTitle).text, Text("Sw_Title"));
  EXPECT_EQ(ctx().port.number, 1u);
  EXPECT_EQ(ctx().port.line.baud, 115200u);
  EXPECT_EQ(Control(platform::kBaudList).selected, 1);

  const std::vector<int> disabled = {1029, 1037, 1030, 1031, 1034, 1038, 1039,
                                     1035, 1036, 1016, 1018, 1017, 1019};
  for (const platform::ControlChange& c : dlg->controls().All()) {
    const bool listed = std::find(disabled.begin(), disabled.end(), c.id) != disabled.end();
    EXPECT_EQ(c.state.enabled, !listed) << c.id;
  }
}

TEST_F(WindowSetUp, EverythingIsShownOnTheScreen) {
  dlg.reset();
  screen.Clear();
  dlg = std::make_unique<CTAVRODlg>(loop, screen, serial, dir.Path(),
                                    [] { return std::vector<link::PortEntry>{}; });
  ASSERT_TRUE(dlg->SetUpWindow());
  dlg->FinishWindowSetUp();
  ASSERT_NE(screen.Control(platform::kInfoText), nullptr);
  EXPECT_EQ(screen.Control(platform::kInfoText)->text, "Ready");
  ASSERT_NE(screen.Control(1019), nullptr);
  EXPECT_FALSE(screen.Control(1019)->enabled);
  ASSERT_NE(screen.Control(platform::kPortButton), nullptr);
  EXPECT_EQ(screen.Control(platform::kPortButton)->text, Text("B_OpenCom"));
  EXPECT_TRUE(screen.boxes().empty());
}

class WindowWithoutLanguage : public test::WindowFixture {
 protected:
  WindowWithoutLanguage() {
    copyLanguage_ = false;
    openPort_ = false;
  }
};

TEST_F(WindowWithoutLanguage, MissingLanguageFileEndsTheSetUp) {
  EXPECT_FALSE(setUpResult);
  ASSERT_EQ(screen.boxes().size(), 1u);
  EXPECT_EQ(screen.boxes()[0].title, kFixedBoxTitle);
  EXPECT_EQ(screen.boxes()[0].text, "Language.ini does not exist !");
  EXPECT_EQ(screen.boxes()[0].kind, platform::kBoxError);
  EXPECT_TRUE(serial.openAttempts().empty());
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

class Window : public test::WindowFixture {};

TEST_F(Window, CloseReleasesTheBuffersClosesTheRunLogAndReturnsOne) {
  OpenRunLog(1);
  link().buffers.sendImage.assign(64, 1);
  link().buffers.backupImage.assign(64, 2);
  link().buffers.backupImage2.assign(64, 3);
  EXPECT_EQ(dlg->Close(), 1);
  EXPECT_FALSE(dlg->runLog().IsOpen());
  EXPECT_TRUE(link().buffers.sendImage.empty());
  EXPECT_TRUE(link().buffers.backupImage.empty());
  EXPECT_TRUE(link().buffers.backupImage2.empty());
  ctx().Log(1, "after");
  EXPECT_EQ(RunLogText(), "AppRunLog:\r\n\r\nCOM1");
}

TEST_F(Window, RestartButtonStartsTheCurrentCommand) {
  link().LinkUp = 1;
  link().CmdID = link::MsgConnect;
  dlg->OnButton(platform::kRestartCommandButton);
  EXPECT_EQ(serial.WrittenIds(), std::vector<std::uint16_t>{link::MsgConnect});
  EXPECT_TRUE(loop.TimerRunning(engine::kTimerAnswer));
  EXPECT_FALSE(Control(platform::kDeviceInfoButton).enabled);
}

TEST_F(Window, OtherDeveloperButtonsAndEnterDoNothing) {
  const platform::ControlTable before = dlg->controls();
  link().LinkUp = 1;
  link().CmdID = link::MsgConnect;
  for (int id : {platform::kStopCommandButton, platform::kClearDisplayButton,
                 platform::kSpareDeveloperButton, 1001, 1053})
    dlg->OnButton(id);
  dlg->OnEnter();
  EXPECT_TRUE(serial.written().empty());
  EXPECT_TRUE(screen.boxes().empty());
  EXPECT_EQ(dlg->controls().All().size(), before.All().size());
  for (const platform::ControlChange& c : before.All())
    EXPECT_EQ(Control(c.id), c.state) << c.id;
}

TEST_F(Window, OperationButtonsGoToTheirHandlers) {
  int pressed = 0;
  dlg->SetButtonHandler(platform::kBackupButton, [&] { ++pressed; });
  dlg->OnButton(platform::kBackupButton);
  dlg->OnButton(platform::kUpgradeButton);  // no operation routed here
  EXPECT_EQ(pressed, 1);
}

TEST_F(Window, FlashAddressAndSizeEditsKeepTheirText) {
  dlg->OnEditChanged(platform::kFlashAddressEdit, "0x18200000");
  dlg->OnEditChanged(platform::kFlashSizeEdit, "4096");
  dlg->OnEditChanged(platform::kDownloadFileEdit, "ignored");
  EXPECT_EQ(Control(platform::kFlashAddressEdit).text, "0x18200000");
  EXPECT_EQ(Control(platform::kFlashSizeEdit).text, "4096");
  EXPECT_EQ(Control(platform::kDownloadFileEdit).text, "");
  ASSERT_NE(screen.Control(platform::kFlashSizeEdit), nullptr);
  EXPECT_EQ(screen.Control(platform::kFlashSizeEdit)->text, "4096");
}

TEST_F(Window, TimerTicksAndBytesReachTheEngine) {
  link().CmdID = link::MsgConnect;
  loop.StartTimer(engine::kTimerProgress, 1000);
  loop.Advance(1000);
  EXPECT_EQ(link().ElapsedSec, 1u);
  serial.Deliver(link::BuildTerminalFrame(link::MsgText, link::Bytes{'o', 'k'}));
  EXPECT_EQ(Control(platform::kTermText).text, "ok");
}

TEST_F(Window, TransportFailuresShowTheirOwnTextInAnErrorBox) {
  dlg->OnButton(platform::kDeviceInfoButton);
  screen.Clear();
  ctx().SetInfoText("shown before the box");
  serial.Fail("WARNING:  write() Failed with the following error: \nEIO\nPort: 1\n");
  ASSERT_EQ(screen.boxes().size(), 1u);
  EXPECT_EQ(screen.boxes()[0].title, "Application Error");
  EXPECT_EQ(screen.boxes()[0].kind, platform::kBoxError);
  EXPECT_EQ(screen.boxes()[0].text,
            "WARNING:  write() Failed with the following error: \nEIO\nPort: 1\n");
  ASSERT_NE(screen.Control(platform::kInfoText), nullptr);
  EXPECT_EQ(screen.Control(platform::kInfoText)->text, "shown before the box")
      << "the controls are shown before the box";
}

}  // namespace
}  // namespace tavro::app

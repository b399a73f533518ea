// Starting commands, the busy/idle switch, retry overflow, completion and
// the choice of the next download stage.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/window_fixture.hpp"
#include "engine/download_stage.hpp"
#include "engine/stage_control.hpp"
#include "operations/download.hpp"
#include "operations/download_completion.hpp"
#include "operations/download_setup.hpp"
#include "platform/loop.hpp"

namespace tavro::engine {
namespace {

using Texts = std::vector<std::string>;

// The controls an operation disables, by number.
const std::vector<int> kOperationControls = {1001, 1002, 1003, 1004, 1005, 1006, 1007,
                                             1025, 1026, 1027, 1009, 1028, 1051, 1040,
                                             1053, 1055, 1057, 1011, 1050, 1060, 1062};

class StageControl : public test::WindowFixture {
 protected:
  void Start(std::uint32_t cmd) {
    link().CmdID = cmd;
    StartCommand(ctx());
  }
  bool AllOperationControlsEnabled(bool enabled) {
    for (int id : kOperationControls) {
      if (Control(id).enabled != enabled)
        return false;
    }
    return true;
  }
};

// ---- StartCommand --------------------------------------------------------------

TEST_F(StageControl, CommandRangeEndsAt13000) {
  link().LinkUp = 1;
  Start(13000);
  EXPECT_TRUE(screen.boxes().empty());
  EXPECT_TRUE(serial.written().empty());  // nothing to send for it
  EXPECT_TRUE(loop.TimerRunning(kTimerAnswer));
  EXPECT_TRUE(AllOperationControlsEnabled(false));
}

TEST_F(StageControl, CommandsOutsideTheRangeAreRefused) {
  link().LinkUp = 1;
  for (std::uint32_t cmd : {13001u, 11999u, 0u, 0xFFFFFFFFu}) {
    Start(cmd);
    EXPECT_FALSE(loop.TimerRunning(kTimerAnswer)) << cmd;
  }
  ASSERT_EQ(BoxTexts(), Texts(4, Text("Cmd_Num_Err")));
  EXPECT_EQ(screen.boxes()[0].kind, platform::kBoxError);
  EXPECT_TRUE(serial.written().empty());
  EXPECT_TRUE(AllOperationControlsEnabled(true));
}

TEST_F(StageControl, WithoutALinkOnlyConnectAndHandshakeStart) {
  Start(link::MsgConnect);
  EXPECT_EQ(serial.WrittenIds(), std::vector<std::uint16_t>{link::MsgConnect});
  Start(link::CmdHandshake);
  EXPECT_TRUE(screen.boxes().empty());
  EXPECT_TRUE(loop.TimerRunning(kTimerAnswer));

  SetBusy(ctx(), WindowState::kIdle);
  serial.ClearWritten();
  for (std::uint32_t cmd : {std::uint32_t{link::MsgReadAppInfo}, std::uint32_t{13000}}) {
    Start(cmd);
    EXPECT_FALSE(loop.TimerRunning(kTimerAnswer)) << cmd;
  }
  ASSERT_EQ(BoxTexts(), Texts(2, Text("Run_UnConnect")));
  EXPECT_TRUE(serial.written().empty());
  EXPECT_TRUE(AllOperationControlsEnabled(true));
}

// Found by the frame_rx fuzzer: a reply handler that starts the next
// command without a link left the window busy with every timer stopped.
TEST_F(StageControl, ACommandRefusedWithinAnOperationEndsIt) {
  Start(link::MsgConnect);
  ASSERT_TRUE(AllOperationControlsEnabled(false));
  Start(link::MsgReadAppInfo);
  ASSERT_EQ(BoxTexts(), Texts{Text("Run_UnConnect")});
  EXPECT_TRUE(AllOperationControlsEnabled(true)) << "the window is idle again";
  for (int id = 1; id <= platform::kLastTimer; ++id)
    EXPECT_FALSE(loop.TimerRunning(id)) << "timer " << id;
}

TEST_F(StageControl, ClosedPortIsReportedFirst) {
  dlg->OnButton(platform::kPortButton);
  ASSERT_FALSE(serial.IsOpen());
  screen.Clear();
  Start(link::MsgConnect);
  Start(20000);
  ASSERT_EQ(BoxTexts(), Texts(2, Text("C_ComClose")));
  EXPECT_TRUE(serial.written().empty());
  EXPECT_FALSE(loop.TimerRunning(kTimerAnswer));
}

TEST_F(StageControl, StartResetsTheCommandStateAndReleasesTheBuffers) {
  link().LinkUp = 1;
  LinkState& s = link();
  s.FrameRetryNum = 3;
  s.ImageLoaded = 1;
  s.StepIndex = 4;
  s.gOverTimeNum = 5;
  s.CrcErrNum = 2;
  s.gFrameNum = 6;
  s.gFrameSum = 7;
  s.Rx12007Run = 2;
  s.LastBlockNo = 3;
  s.gOneCmdTime = 40;
  s.buffers.sendImage.assign(100, 1);
  s.buffers.backupImage.assign(100, 2);
  s.buffers.backupImage2.assign(100, 3);
  ctx().controls.SetText(platform::kTermText, "old");
  for (int id : {1, 2, 3, 4, 5, 6, 8, 9, 12})
    loop.StartTimer(id, 1000);

  Start(link::MsgReadAppInfo);
  EXPECT_EQ(s.FrameRetryNum, 0u);
  EXPECT_EQ(s.ImageLoaded, 0u);
  EXPECT_EQ(s.StepIndex, 0u);
  EXPECT_EQ(s.gOverTimeNum, 0u);
  EXPECT_EQ(s.CrcErrNum, 0u);
  EXPECT_EQ(s.gFrameNum, 0u);
  EXPECT_EQ(s.gFrameSum, 0u);
  EXPECT_EQ(s.Rx12007Run, 0u);
  EXPECT_EQ(s.LastBlockNo, 0xFFFFu);
  EXPECT_EQ(s.gOneCmdTime, 0u);
  EXPECT_EQ(ctx().RxTextEcho, 0u);
  EXPECT_TRUE(s.buffers.sendImage.empty());
  EXPECT_TRUE(s.buffers.backupImage.empty());
  EXPECT_TRUE(s.buffers.backupImage2.empty());
  EXPECT_EQ(Control(platform::kTermText).text, "");
  for (int id = 1; id <= 8; ++id)
    EXPECT_EQ(loop.TimerRunning(id), id == kTimerAnswer) << id;
  EXPECT_TRUE(loop.TimerRunning(kTimerProgress));
  EXPECT_TRUE(loop.TimerRunning(kTimerLinkPoll));
  EXPECT_EQ(serial.WrittenIds(), std::vector<std::uint16_t>{link::MsgReadAppInfo});
  EXPECT_TRUE(AllOperationControlsEnabled(false));
}

TEST_F(StageControl, RestartButtonStartsTheCurrentCommandAgain) {
  link().LinkUp = 1;
  Start(link::MsgReadAppInfo);
  loop.Advance(5000);
  dlg->OnButton(platform::kRestartCommandButton);
  EXPECT_EQ(serial.CountWritten(link::MsgReadAppInfo), 2u);
  loop.Advance(8000);
  EXPECT_TRUE(screen.boxes().empty());  // the answer time-out began anew
}

// ---- block refusals ---------------------------------------------------------------

class BlockRetry : public StageControl {
 protected:
  void SetUp() override {
    StageControl::SetUp();
    link().LinkUp = 1;
    link().CmdID = link::MsgAppDownloadStart;
    SetBusy(ctx(), WindowState::kBusy);
    link().buffers.sendImage.assign(4096, 0xAA);
  }
  bool Ack(bool accepted, RetryKind kind = RetryKind::kFlash) {
    return ApplyBlockAck(ctx(), accepted, kind, [this] { ++resends; });
  }
  int resends = 0;
};

TEST_F(BlockRetry, FifthRefusalInARowEndsTheOperation) {
  for (int i = 0; i < 4; ++i)
    EXPECT_FALSE(Ack(false));
  EXPECT_EQ(resends, 4);
  EXPECT_TRUE(screen.boxes().empty());
  EXPECT_FALSE(link().buffers.sendImage.empty());

  EXPECT_FALSE(Ack(false));
  EXPECT_EQ(resends, 4);
  ASSERT_EQ(BoxTexts(), Texts{"Flash" + Text("Run_ErrNumOver")});
  EXPECT_EQ(screen.boxes()[0].kind, platform::kBoxError);
  EXPECT_TRUE(link().buffers.sendImage.empty());
  EXPECT_TRUE(AllOperationControlsEnabled(true));
}

TEST_F(BlockRetry, AcceptanceBetweenRefusalsStartsTheCountAgain) {
  for (int i = 0; i < 4; ++i)
    Ack(false);
  EXPECT_TRUE(Ack(true));
  EXPECT_EQ(link().FrameRetryNum, 0u);
  for (int i = 0; i < 4; ++i)
    Ack(false);
  EXPECT_EQ(resends, 8);
  EXPECT_TRUE(screen.boxes().empty());
}

TEST_F(BlockRetry, KindWordHeadsTheMessage) {
  link().FrameRetryNum = 4;
  Ack(false, RetryKind::kE2);
  link().FrameRetryNum = 4;
  Ack(false, RetryKind::kTime);
  link().FrameRetryNum = 4;
  Ack(false, static_cast<RetryKind>(9));  // no word for an unknown kind
  ASSERT_EQ(BoxTexts(), (Texts{"E2" + Text("Run_ErrNumOver"), "Time" + Text("Run_ErrNumOver"),
                               Text("Run_ErrNumOver")}));
}

// ---- completion -------------------------------------------------------------------

TEST_F(StageControl, CompletionTicksTheStagesThatRanAndDeletesTheDownloadRecord) {
  ASSERT_TRUE(dir.Write("Backup/rec/DlRecord.ini", "[Dl]\r\nStep=3\r\n"));
  ASSERT_TRUE(dir.Write("Backup/DlRecord.ini", "[Dl]\r\nStep=3\r\n"));
  ASSERT_TRUE(dir.Write("Backup/other.ini", "keep"));
  const auto download = operations::MakeDownload();
  dynamic_cast<operations::TransferOperation&>(*download).state().record =
      data::DownloadRecordPaths{dir.PathOf("Backup/rec/DlRecord.ini"),
                                dir.PathOf("Backup/DlRecord.ini")};
  ctx().operations.Install(download);
  link().LinkUp = 1;
  SetBusy(ctx(), WindowState::kBusy);
  loop.StartTimer(kTimerProgress, 1000);
  // A download: read back and sent, nothing converted.
  ctx().stages.backedUp = true;
  ctx().stages.downloaded = true;
  ctx().stages.appBefore = "1.0.2.0";
  ctx().stages.appAfter = "1.0.3.0";
  ctx().stages.dataBefore = "1.2.0.0";

  Start(link::CmdComplete);
  EXPECT_EQ(Info(), "√" + Text("Dis_GetInfo") + "(100%)\r\n\r\n√" + Text("Dis_Backup2PC") +
                        "(100%)\r\n\r\n–" + Text("Dis_DataConv") + "(" + Text("Ext_StageSkipped") +
                        ")\r\n\r\n√" + Text("Dis_Download") + "(100%)\r\n\r\n√" +
                        Text("Dis_DevRestart") + "\r\n\r\n" + Text("Ext_SummaryApp") +
                        ": 1.0.2.0 → 1.0.3.0\r\n" + Text("Ext_SummaryData") + ": 1.2.0.0 (" +
                        Text("Ext_Unchanged") + ")");
  EXPECT_EQ(Control(platform::kProgressBar).pos, 4096);
  ASSERT_EQ(BoxTexts(), Texts{Text("Dis_DevRestart")});
  EXPECT_EQ(screen.boxes()[0].kind, platform::kBoxOk);
  ASSERT_NE(screen.Control(platform::kInfoText), nullptr);
  EXPECT_EQ(screen.Control(platform::kInfoText)->text, Info());  // shown before the box
  EXPECT_FALSE(dir.Exists("Backup/rec/DlRecord.ini"));
  EXPECT_FALSE(dir.Exists("Backup/DlRecord.ini"));
  EXPECT_TRUE(dir.Exists("Backup/other.ini"));
  EXPECT_TRUE(serial.written().empty());
  EXPECT_FALSE(loop.TimerRunning(kTimerAnswer));
  EXPECT_FALSE(loop.TimerRunning(kTimerProgress));
  EXPECT_TRUE(AllOperationControlsEnabled(true));
}

TEST_F(StageControl, CompletionWithoutARecordDeletesNothing) {
  ASSERT_TRUE(dir.Write("Backup/DlRecord.ini", "x"));
  link().LinkUp = 1;
  Start(link::CmdComplete);
  EXPECT_TRUE(dir.Exists("Backup/DlRecord.ini"));
  EXPECT_TRUE(dir.Exists("Language.ini"));
  ASSERT_EQ(BoxTexts(), Texts{Text("Dis_DevRestart")});
}

// ---- busy and idle -------------------------------------------------------------------

TEST_F(StageControl, BusySwitchCoversExactlyTheOperationControls) {
  const platform::ControlTable before = dlg->controls();
  SetBusy(ctx(), WindowState::kBusy);
  for (const platform::ControlChange& c : before.All()) {
    const bool listed = std::find(kOperationControls.begin(), kOperationControls.end(), c.id) !=
                        kOperationControls.end();
    EXPECT_EQ(Control(c.id).enabled, listed ? false : c.state.enabled) << c.id;
  }
  for (int id : platform::kDisabledAtStartup)
    EXPECT_FALSE(Control(id).enabled) << id;

  SetBusy(ctx(), WindowState::kIdle);
  for (const platform::ControlChange& c : before.All())
    EXPECT_EQ(Control(c.id).enabled, c.state.enabled) << c.id;
}

TEST_F(StageControl, IdleCaptionsTheDownloadButtonByTheMarkerFile) {
  SetBusy(ctx(), WindowState::kBusy);
  ctx().controls.SetText(platform::kDownloadButton, "x");
  SetBusy(ctx(), WindowState::kBusy);
  EXPECT_EQ(Control(platform::kDownloadButton).text, "x");  // busy keeps the caption
  SetBusy(ctx(), WindowState::kIdle);
  EXPECT_EQ(Control(platform::kDownloadButton).text, Text("B_Run"));
  ASSERT_TRUE(dir.Write("QZDownload.bin", ""));
  SetBusy(ctx(), WindowState::kIdle);
  EXPECT_EQ(Control(platform::kDownloadButton).text, Text("B_Download"));
}

TEST_F(StageControl, IdleStopsTheOperationTimersAndClearsTheStepFlags) {
  for (int id = 1; id <= 12; ++id)
    loop.StartTimer(id, 1000);
  link().ImageLoaded = 1;
  ctx().RxTextEcho = 0;
  SetBusy(ctx(), WindowState::kIdle);
  for (int id = 1; id <= 12; ++id)
    EXPECT_EQ(loop.TimerRunning(id), id > 10) << id;
  EXPECT_EQ(link().ImageLoaded, 0u);
  EXPECT_EQ(ctx().RxTextEcho, 1u);
}

// ---- next download stage -------------------------------------------------------------

class NextStage : public StageControl {
 protected:
  void SetUp() override {
    StageControl::SetUp();
    link().LinkUp = 1;
  }
  std::uint32_t Next(bool afterResources = false) {
    engine::NextDownloadStage(ctx(), afterResources);
    return link().CmdID;
  }
};

TEST_F(NextStage, ResourcesComeFirstWhenAnyRomIsThere) {
  link().DownloadApp = 1;
  link().DownloadData = 1;
  ASSERT_TRUE(dir.Write("Data/Res/readme.txt", "x"));
  EXPECT_EQ(Next(), link::MsgAppDownloadStart);
  ASSERT_TRUE(dir.Write("Data/Res/Font.ROM", "x"));
  EXPECT_EQ(Next(), link::CmdResource);
  EXPECT_EQ(Next(true), link::MsgAppDownloadStart);  // after the resources
  EXPECT_TRUE(screen.boxes().empty());
  EXPECT_TRUE(loop.TimerRunning(kTimerAnswer));
}

TEST_F(NextStage, DataStageDependsOnTheBootloaderGeneration) {
  link().DownloadData = 1;
  ctx().device.BlVersion = 0x22F;
  EXPECT_EQ(Next(), link::MsgParaDownloadStart);
  ctx().device.BlVersion = 0x230;
  EXPECT_EQ(Next(), link::MsgE2WriteBlock);
  EXPECT_EQ(Next(true), link::MsgE2WriteBlock);
}

TEST_F(NextStage, NothingLeftCompletes) {
  ASSERT_TRUE(dir.Write("Data/Res/a.rom", "x"));
  EXPECT_EQ(Next(true), link::CmdComplete);
  ASSERT_EQ(BoxTexts(), Texts{Text("Dis_DevRestart")});
  EXPECT_EQ(Control(platform::kProgressBar).pos, 4096);
}

}  // namespace
}  // namespace tavro::engine

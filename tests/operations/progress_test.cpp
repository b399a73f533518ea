// Elapsed time, dots, stage lines and the progress bar of timers 9 and 10.

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "app/window_fixture.hpp"
#include "engine/progress.hpp"
#include "engine/stage_control.hpp"
#include "operations/backup_progress.hpp"
#include "operations/download_progress.hpp"
#include "operations/identify.hpp"

namespace tavro::engine {
namespace {

// Shows what a download (timer 9) and a backup (timer 10) show.
class ShowsProgress final : public operations::IdentifyingOperation {
 public:
  void OnIdentified(Context&, engine::Identification) override {}
  engine::RamProgram RamProgramToSend() const override { return ramProgram; }
  void OnProgressTick(Context& ctx, int timerId) override {
    if (timerId == kTimerProgress)
      operations::ShowDownloadStages(ctx);
    else
      operations::ShowBackupProgress(ctx);
  }
  engine::RamProgram ramProgram = engine::RamProgram::kBootloaderUpgrade;
};

class Progress : public test::WindowFixture {
 protected:
  void SetUp() override {
    WindowFixture::SetUp();
    ctx().controls.SetPos(platform::kProgressBar, 7);
    ctx().operations.Install(operation);
    // A fresh upgrade: every stage the display passes has run.
    ctx().stages.backedUp = ctx().stages.converted = ctx().stages.downloaded = true;
  }
  std::shared_ptr<ShowsProgress> operation = std::make_shared<ShowsProgress>();
  void Tick9() { dlg->OnTimerTick(kTimerProgress); }
  void Tick10() { dlg->OnTimerTick(kTimerBackupProgress); }
  void Frames(std::uint16_t n, std::uint16_t sum, std::uint16_t step = 0) {
    link().gFrameNum = n;
    link().gFrameSum = sum;
    link().StepIndex = step;
  }
  int Bar() { return Control(platform::kProgressBar).pos; }

  // The five stage lines: `finished` done, then the running one with `running`
  // and the dots, the rest waiting.
  std::string Stages(int finished, const std::string& running) {
    static constexpr std::array<const char*, 5> kKeys = {
        "Dis_GetInfo", "Dis_Backup2PC", "Dis_DataConv", "Dis_Download", "Dis_DevRun"};
    std::string out;
    for (int i = 0; i < 5; ++i) {
      if (i > 0)
        out += "\r\n\r\n";
      const std::string name = Text(kKeys[static_cast<std::size_t>(i)]);
      if (i < finished)
        out += "√" + name + "(100%)";
      else if (i == finished)
        out += "  " + name + running + link().Dots;
      else
        out += "  " + name;
    }
    return out;
  }
};

TEST_F(Progress, ClockAndDotsAdvanceEverySecond) {
  link().CmdID = link::MsgConnect;
  loop.StartTimer(kTimerProgress, 1000);
  const std::array<const char*, 5> dots = {".", "..", "...", ".", ".."};
  for (int s = 1; s <= 5; ++s) {
    loop.Advance(1000);
    EXPECT_EQ(link().Dots, dots[static_cast<std::size_t>(s - 1)]) << s;
    EXPECT_EQ(link().ElapsedSec, s);
    EXPECT_EQ(Control(platform::kProgressNote).text,
              Text("Dis_TotalTime") + ":" + std::to_string(s) + " S");
  }
  EXPECT_EQ(screen.Control(platform::kProgressNote)->text, Text("Dis_TotalTime") + ":5 S");
}

TEST_F(Progress, OtherCommandsOnlyAdvanceTimeAndDots) {
  for (std::uint32_t cmd :
       {std::uint32_t{link::MsgConnect}, std::uint32_t{link::MsgGoBack}, std::uint32_t{13000}}) {
    link().CmdID = cmd;
    Frames(1, 3, 1);
    Tick9();
    EXPECT_EQ(Info(), "Ready") << cmd;
    EXPECT_EQ(Bar(), 7) << cmd;
  }
  EXPECT_EQ(link().ElapsedSec, 3u);
  EXPECT_EQ(link().Dots, "...");
}

TEST_F(Progress, AppReadBackRowInFull) {
  link().CmdID = link::MsgAppBackupStart;
  Frames(1, 1);  // q = 0.5, f = 0.475
  Tick9();
  EXPECT_EQ(Info(), "√" + Text("Dis_GetInfo") + "(100%)\r\n\r\n  " + Text("Dis_Backup2PC") +
                        "(47%).\r\n\r\n  " + Text("Dis_DataConv") + "\r\n\r\n  " +
                        Text("Dis_Download") + "\r\n\r\n  " + Text("Dis_DevRun"));
  EXPECT_EQ(Bar(), 486);
}

TEST_F(Progress, InformationRows) {
  link().CmdID = link::MsgReadAppInfo;
  Tick9();
  EXPECT_EQ(Info(), Stages(0, "(90%)"));
  EXPECT_EQ(Bar(), 7);

  link().CmdID = link::MsgRamBlock;
  operation->ramProgram = engine::RamProgram::kE2Check;
  link().ElapsedSec = 40;
  Tick9();
  EXPECT_EQ(Info(), Stages(0, "(41%)"));
  link().ElapsedSec = 95;
  Tick9();
  EXPECT_EQ(Info(), Stages(0, "(90%)"));

  link().CmdID = link::MsgE2Read;
  link().ReadLen = 32;
  link().ElapsedSec = 9;
  Tick9();
  EXPECT_EQ(Info(), Stages(0, "(10%)"));
  EXPECT_EQ(Bar(), 7);
}

TEST_F(Progress, ReadBackAndConversionRows) {
  link().CmdID = link::MsgParaBackupStart;
  Frames(1, 3, 1);  // f = 0.0025 + 0.01 + 0.95
  Tick9();
  EXPECT_EQ(Info(), Stages(1, "(96%)"));
  EXPECT_EQ(Bar(), 985);

  link().CmdID = link::MsgE2Read;
  link().ReadLen = 65536;  // a whole E2PROM read: the read-back row
  Tick9();
  EXPECT_EQ(Info(), Stages(1, "(96%)"));

  link().CmdID = link::MsgRamBlock;
  operation->ramProgram = engine::RamProgram::kBootloaderUpgrade;
  Frames(1, 3);  // 0.4 q = 0.1
  Tick9();
  EXPECT_EQ(Info(), Stages(2, "(10%)"));
  EXPECT_EQ(Bar(), 985);  // unchanged

  link().CmdID = link::CmdBlUpgrade;
  Tick9();
  EXPECT_EQ(Info(), Stages(2, "(50%)"));

  link().CmdID = link::CmdParaBackupDone;
  Frames(3, 3);
  Tick9();
  EXPECT_EQ(Info(), Stages(2, "(30%)"));
}

// A resumed upgrade neither reads back nor converts: those lines say they
// were skipped, and the resume's note stays under the stages.
TEST_F(Progress, StagesThatDidNotRunShowAsSkippedWithTheNotesBelow) {
  ctx().stages.backedUp = false;
  ctx().stages.converted = false;
  ctx().stages.notes = {"resumed here"};
  link().CmdID = link::CmdParaSending;
  Frames(1, 3, 1);
  Tick9();
  const std::string skipped = "(" + Text("Ext_StageSkipped") + ")";
  EXPECT_EQ(Info(), "√" + Text("Dis_GetInfo") + "(100%)\r\n\r\n–" + Text("Dis_Backup2PC") +
                        skipped + "\r\n\r\n–" + Text("Dis_DataConv") + skipped + "\r\n\r\n  " +
                        Text("Dis_Download") + "(96%)" + link().Dots + "\r\n\r\n  " +
                        Text("Dis_DevRun") + "\r\n\r\nresumed here");
}

TEST_F(Progress, DownloadRows) {
  link().CmdID = link::CmdResource;
  Frames(1, 3);  // f = 0.075
  Tick9();
  EXPECT_EQ(Info(), Stages(3, "(7%)"));
  EXPECT_EQ(Bar(), 1254);

  link().CmdID = link::CmdAppSending;
  Frames(1, 1);  // 0.5 * 0.5 + 0.35
  Tick9();
  EXPECT_EQ(Info(), Stages(3, "(60%)"));
  EXPECT_EQ(Bar(), 1254);

  for (std::uint32_t cmd : {link::CmdParaSending, link::MsgE2WriteBlock, link::CmdFlashCopy}) {
    link().CmdID = cmd;
    Frames(1, 3, 1);  // f = 0.9625
    ctx().controls.SetPos(platform::kProgressBar, 0);
    Tick9();
    EXPECT_EQ(Info(), Stages(3, "(96%)")) << cmd;
    EXPECT_EQ(Bar(), 3978) << cmd;
  }
}

TEST_F(Progress, AppBackupWaitStopsAt2099) {
  link().CmdID = link::CmdAppWaitBackup;
  link().ProgressPos = 2098;
  Tick9();
  EXPECT_EQ(link().ProgressPos, 2099u);
  EXPECT_EQ(Bar(), 2099);
  EXPECT_EQ(Info(), Stages(3, "(34%)"));
  Tick9();
  Tick9();
  EXPECT_EQ(link().ProgressPos, 2099u);
  EXPECT_EQ(Bar(), 2099);
}

// The percentage follows its formula with truncation: at 3788 it is 89.9...,
// shown as 89.
TEST_F(Progress, AppWriteWaitStopsAt3788) {
  link().CmdID = link::CmdAppWriting;
  link().ProgressPos = 3700;
  Tick9();
  EXPECT_EQ(Bar(), 3701);
  EXPECT_EQ(Info(), Stages(3, "(87%)"));
  link().ProgressPos = 3787;
  for (int i = 0; i < 3; ++i) {
    Tick9();
    EXPECT_EQ(link().ProgressPos, 3788u);
    EXPECT_EQ(Bar(), 3788);
    EXPECT_EQ(Info(), Stages(3, "(89%)"));
  }
}

TEST_F(Progress, ParameterBackupWaitHasNoLimit) {
  link().CmdID = link::CmdParaWaitBackup;
  link().ProgressPos = 5000;
  Tick9();
  Tick9();
  EXPECT_EQ(link().ProgressPos, 5002u);
  EXPECT_EQ(Bar(), 5002);
  EXPECT_EQ(Info(), Stages(3, "(129%)"));
}

TEST_F(Progress, CompletionRowWaitsOnTheRunLineWithoutDots) {
  link().CmdID = link::CmdComplete;
  Tick9();
  Tick9();
  EXPECT_EQ(Info(), "√" + Text("Dis_GetInfo") + "(100%)\r\n\r\n√" + Text("Dis_Backup2PC") +
                        "(100%)\r\n\r\n√" + Text("Dis_DataConv") + "(100%)\r\n\r\n√" +
                        Text("Dis_Download") + "(100%)\r\n\r\n  " + Text("Dis_DevRun") + "(50%)");
  EXPECT_EQ(Bar(), 4095);
}

// ---- timer 10: backup ----------------------------------------------------------

TEST_F(Progress, BackupAppReadLine) {
  link().CmdID = link::MsgAppBackupStart;
  Frames(1, 3);  // q = 0.25
  Tick10();
  EXPECT_EQ(Info(),
            "  " + Text("Dis_Backup2PC_App") + "(25%).\r\n\r\n  " + Text("Dis_Backup2PC_Para"));
  EXPECT_EQ(Bar(), 128);
}

TEST_F(Progress, BackupParameterProgressNeverFalls) {
  ctx().device.CurAppIntact = true;
  link().CmdID = link::MsgParaBackupStart;
  Frames(1, 1, 1);  // f = 0.1 + 0.2
  Tick10();
  EXPECT_EQ(Info(), "√" + Text("Dis_Backup2PC_App") + "(100%)\r\n\r\n  " +
                        Text("Dis_Backup2PC_Para") + "(30%).");
  EXPECT_EQ(Bar(), 665);

  // A later read with a lower fraction, even in a new command, shows the higher one.
  link().LinkUp = 1;
  StartCommand(ctx());
  link().CmdID = link::MsgE2Read;
  Frames(0, 5, 0);
  ctx().device.CurAppIntact = false;
  Tick10();
  EXPECT_EQ(Info(),
            Text("Dis_Intg_ERR_CurApp") + "\r\n\r\n  " + Text("Dis_Backup2PC_Para") + "(30%)..");
  EXPECT_EQ(Bar(), 665);

  Frames(5, 5, 4);  // f = 0.97: capped at 1 from here on
  Tick10();
  Frames(5, 5, 6);
  Tick10();
  EXPECT_EQ(Bar(), 1024);
  EXPECT_DOUBLE_EQ(link().ParaReadProgress, 1.0);
}

TEST_F(Progress, BackupOtherCommandsOnlyAdvanceTime) {
  link().CmdID = link::CmdParaBackupDone;
  Tick10();
  EXPECT_EQ(Info(), "Ready");
  EXPECT_EQ(link().ElapsedSec, 1u);
  EXPECT_EQ(link().Dots, ".");
}

}  // namespace
}  // namespace tavro::engine

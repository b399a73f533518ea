// The time-outs and their resends, the link-query poll, the watchdogs and the
// pacing timers, run in virtual time.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "app/window_fixture.hpp"
#include "engine/stage_control.hpp"

namespace tavro::engine {
namespace {

using Texts = std::vector<std::string>;

class TimerEngine : public test::WindowFixture {
 protected:
  // The link as an identified terminal leaves it.
  void Identified() {
    link().LinkUp = 1;
    link().DevIdentified = 1;
    ctx().controls.SetIcon(platform::kConnectionStatusIcon, platform::kIconOn);
  }
  int& CountBlockSends(std::uint32_t cmd) {
    int& n = blockSends[cmd];
    ctx().handlers.blockSender[cmd] = [&n] { ++n; };
    return n;
  }
  // A transfer under way: busy, the silence watch armed as a block sender arms it.
  void Transfer(std::uint32_t cmd) {
    Identified();
    link().CmdID = cmd;
    SetBusy(ctx(), WindowState::kBusy);
    loop.StartTimer(kTimerSilence, 1000);
  }
  void ExpectLinkDropped() {
    EXPECT_EQ(link().LinkUp, 0u);
    EXPECT_EQ(link().DevIdentified, 0u);
    EXPECT_EQ(Control(platform::kConnectionStatusIcon).icon, platform::kIconOff);
    ASSERT_NE(screen.Control(platform::kConnectionStatusIcon), nullptr);
    EXPECT_EQ(screen.Control(platform::kConnectionStatusIcon)->icon, platform::kIconOff);
  }

  std::map<std::uint32_t, int> blockSends;
};

// ---- timer 7: the first answer -----------------------------------------------

TEST_F(TimerEngine, SilentCommandEndsOnTheNinthAnswerTick) {
  Identified();
  OpenRunLog(1);
  link().CmdID = link::MsgConnect;
  StartCommand(ctx());
  Deliver({0x5F, 0x5F, 0x20});  // a frame begun, never finished
  loop.Advance(8000);
  EXPECT_EQ(link().gOneCmdTime, 8u);
  EXPECT_TRUE(screen.boxes().empty());
  EXPECT_EQ(link().LinkUp, 1u);

  loop.Advance(1000);
  ASSERT_EQ(BoxTexts(), Texts{Text("Run_ConnectOverTime")});
  EXPECT_EQ(screen.boxes()[0].kind, platform::kBoxError);
  ExpectLinkDropped();
  EXPECT_EQ(ctx().rx.StoredCount(), 0u);
  EXPECT_TRUE(Control(platform::kDeviceInfoButton).enabled);
  EXPECT_FALSE(loop.TimerRunning(kTimerAnswer));
  EXPECT_EQ(serial.CountWritten(link::MsgConnect), 1u);  // no resend
  EXPECT_NE(RunLogText().find("\r\n\r\nOneCmdOverTime\r\ncmd=12022\r\ngOneCmdTime=9\r\n"),
            std::string::npos)
      << RunLogText();
}

// A reply that does not move the command on (here one of no transfer that
// runs) is not its answer: the answer time-out goes on counting from the
// command's start, so a terminal that says nothing more cannot leave the
// window busy for good.
TEST_F(TimerEngine, AStrayReplyLeavesTheAnswerTimeoutCounting) {
  link().CmdID = link::MsgConnect;
  StartCommand(ctx());
  loop.Advance(5500);
  DeliverFrame(link::MsgAppBlockAck);
  EXPECT_TRUE(loop.TimerRunning(kTimerAnswer));
  loop.Advance(3000);
  EXPECT_TRUE(screen.boxes().empty()) << "eight ticks so far";
  loop.Advance(1000);
  EXPECT_EQ(BoxTexts(), Texts{Text("Run_ConnectOverTime")});
  EXPECT_FALSE(loop.TimerRunning(kTimerAnswer));
}

// ---- timer 3: silence during a transfer ----------------------------------------

TEST_F(TimerEngine, SilentTerminalGetsTheBlockAtEightAndSixteenSecondsAndEndsAtEighteen) {
  int& sends = CountBlockSends(link::MsgAppDownloadStart);
  Transfer(link::MsgAppDownloadStart);
  OpenRunLog(1);
  const std::string before = Info();
  loop.Advance(7999);
  EXPECT_EQ(sends, 0);
  loop.Advance(1);
  EXPECT_EQ(sends, 1);
  loop.Advance(8000);
  EXPECT_EQ(sends, 2);
  loop.Advance(1000);
  EXPECT_EQ(link().gOverTimeNum, 17u);
  EXPECT_TRUE(screen.boxes().empty());

  loop.Advance(1000);
  EXPECT_EQ(sends, 2);
  EXPECT_EQ(link().gOverTimeNum, 0u);
  EXPECT_EQ(Info(), before + "\r\n" + Text("Run_ConnectOverTime"));
  ASSERT_EQ(BoxTexts(), Texts{Text("Run_ConnectOverTime")});
  ExpectLinkDropped();
  for (int id : {kTimerBlockSend, kTimerSilence, kTimerReadBack, kTimerHeaderPace})
    EXPECT_FALSE(loop.TimerRunning(id)) << id;
  EXPECT_TRUE(Control(platform::kDeviceInfoButton).enabled);
  EXPECT_NE(RunLogText().find("\r\n\r\nCommTime\r\nCmdID=12055\r\n"), std::string::npos);
}

TEST_F(TimerEngine, AddressedFrameWithBadCrcRestartsTheSilenceCount) {
  int& sends = CountBlockSends(link::MsgAppDownloadStart);
  int crcResends = 0;
  ctx().handlers.resendAfterCrc[link::MsgAppDownloadStart] = [&crcResends] { ++crcResends; };
  Transfer(link::MsgAppDownloadStart);
  loop.Advance(7000);
  Deliver(BadCrcFrame(link::MsgAppBlockAck));
  EXPECT_EQ(crcResends, 1);
  EXPECT_EQ(link().gOverTimeNum, 0u);
  loop.Advance(7000);
  EXPECT_EQ(sends, 0);
  loop.Advance(1000);
  EXPECT_EQ(sends, 1);
  loop.Advance(9000);
  EXPECT_TRUE(screen.boxes().empty());
  loop.Advance(1000);
  ASSERT_EQ(BoxTexts(), Texts{Text("Run_ConnectOverTime")});
}

TEST_F(TimerEngine, SilenceResendLooksAtTheSecondGroupWithTheCommandReadAgain) {
  int first = 0;
  ctx().handlers.blockSender[link::MsgAppDownloadStart] = [&] {
    ++first;
    link().CmdID = link::MsgRamBlock;  // the sender moved the transfer on
  };
  int& second = CountBlockSends(link::MsgRamBlock);
  Transfer(link::MsgAppDownloadStart);
  loop.Advance(8000);
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 1);
}

TEST_F(TimerEngine, SilenceResendsEveryBlockCommandAndNothingElse) {
  for (std::uint32_t cmd :
       {link::MsgAppDownloadStart, link::CmdAppSending, link::MsgParaDownloadStart,
        link::CmdParaSending, link::CmdResource, link::MsgRamBlock, link::CmdBlUpgrade,
        link::MsgE2WriteBlock, link::CmdFlashCopy, link::MsgReadAppInfo, link::CmdAppWriting}) {
    CountBlockSends(cmd);
    Transfer(cmd);
    loop.Advance(8000);
    const bool blockCommand = cmd != link::MsgReadAppInfo && cmd != link::CmdAppWriting;
    EXPECT_EQ(blockSends[cmd], blockCommand ? 1 : 0) << cmd;
    loop.StopTimer(kTimerSilence);
    link().gOverTimeNum = 0;
  }
  EXPECT_TRUE(serial.written().empty());
}

// ---- timer 12: the link-query poll -------------------------------------------

class LinkQueryPoll : public TimerEngine {
 protected:
  // An operation whose file-set check the test counts and decides.
  class CountedCheck final : public Operation {
   public:
    explicit CountedCheck(LinkQueryPoll& test) : test_(test) {}
    bool CheckFileSet(Context&) override {
      ++test_.checks;
      return test_.checkPasses;
    }
    void OnIdentified(Context&, engine::Identification) override {}

   private:
    LinkQueryPoll& test_;
  };

  void Connect() {
    ctx().operations.Install(std::make_shared<CountedCheck>(*this));
    link().TerminalType = 7;
    link().CmdID = link::MsgConnect;
    StartCommand(ctx());
    ctx().device.BlAnnounced = true;  // the announcement of this connect came
    DeliverFrame(link::MsgHello);
    queried = loop.NowMs();
    serial.ClearWritten();
  }
  int checks = 0;
  bool checkPasses = true;
  std::uint64_t queried = 0;
};

TEST_F(LinkQueryPoll, UnansweredQueryIsSentThreeTimesThenTheConnectGoesOn) {
  Connect();
  // The poll ticks at the shortest window-timer period.
  loop.AdvanceTo(queried + 10 * kShortestTimerMs - 1);
  EXPECT_EQ(serial.CountWritten(link::MsgLinkQuery), 0u);
  loop.AdvanceTo(queried + 10 * kShortestTimerMs);
  EXPECT_EQ(serial.CountWritten(link::MsgLinkQuery), 1u);
  loop.AdvanceTo(queried + 22 * kShortestTimerMs - 1);
  EXPECT_EQ(serial.CountWritten(link::MsgLinkQuery), 2u);
  EXPECT_EQ(checks, 0);
  loop.AdvanceTo(queried + 22 * kShortestTimerMs);
  EXPECT_EQ(checks, 1);
  EXPECT_EQ(link().TerminalType, 0u);
  EXPECT_EQ(serial.WrittenIds().back(), link::MsgReadAppInfo);
  EXPECT_FALSE(loop.TimerRunning(kTimerLinkPoll));
  loop.Advance(10000);
  EXPECT_EQ(serial.CountWritten(link::MsgLinkQuery), 2u);  // plus the hello's: three in all
  EXPECT_EQ(serial.CountWritten(link::MsgReadAppInfo), 1u);
}

TEST_F(LinkQueryPoll, FailedFileSetCheckAfterThePollLeavesTheWindowIdle) {
  checkPasses = false;
  Connect();
  EXPECT_FALSE(Control(platform::kDeviceInfoButton).enabled);
  loop.Advance(2000);
  EXPECT_EQ(checks, 1);
  EXPECT_EQ(serial.CountWritten(link::MsgReadAppInfo), 0u);
  EXPECT_TRUE(Control(platform::kDeviceInfoButton).enabled);
}

TEST_F(LinkQueryPoll, ReplyStopsThePollAndKeepsTheTerminalType) {
  Connect();
  loop.Advance(5 * kShortestTimerMs);
  DeliverFrame(link::MsgLinkQueryReply, {0x05, 0x01});
  EXPECT_EQ(link().TerminalType, 0x105u);
  EXPECT_EQ(checks, 1);
  EXPECT_EQ(serial.WrittenIds(), std::vector<std::uint16_t>{link::MsgReadAppInfo});
  EXPECT_FALSE(loop.TimerRunning(kTimerLinkPoll));
  loop.Advance(10000);
  EXPECT_EQ(serial.CountWritten(link::MsgLinkQuery), 0u);
  EXPECT_EQ(checks, 1);
}

TEST_F(LinkQueryPoll, ReplyTooShortForATypeCountsAsTypeZero) {
  Connect();
  DeliverFrame(link::MsgLinkQueryReply, {0x09});
  EXPECT_EQ(link().TerminalType, 0u);
  EXPECT_FALSE(loop.TimerRunning(kTimerLinkPoll));
  EXPECT_EQ(serial.WrittenIds(), std::vector<std::uint16_t>{link::MsgReadAppInfo});
}

TEST_F(LinkQueryPoll, ReplyWithAFailedFileSetCheckSendsNothing) {
  checkPasses = false;
  Connect();
  DeliverFrame(link::MsgLinkQueryReply, {0x02, 0x00});
  EXPECT_EQ(link().TerminalType, 2u);
  EXPECT_TRUE(serial.written().empty());
  EXPECT_TRUE(Control(platform::kDeviceInfoButton).enabled);
}

// ---- timers 1 and 4: the terminal's own backup and roll-back ------------------

TEST_F(TimerEngine, DeviceBackupWatchdogEndsOnTheHundredAndTwentyFirstTick) {
  Identified();
  OpenRunLog(1);
  link().CmdID = link::CmdAppWaitBackup;
  SetBusy(ctx(), WindowState::kBusy);
  loop.StartTimer(kTimerDevBackup, 1000);
  loop.Advance(120000);
  EXPECT_EQ(link().gOneCmdTime, 120u);
  EXPECT_TRUE(screen.boxes().empty());
  loop.Advance(1000);
  ASSERT_EQ(BoxTexts(), Texts{Text("F_BackupErr")});
  ExpectLinkDropped();
  EXPECT_TRUE(Control(platform::kDeviceInfoButton).enabled);
  EXPECT_NE(RunLogText().find("\r\n\r\nDevBakOverTime\r\nCmdID=12059\r\ngOneCmdTime=121\r\n"),
            std::string::npos)
      << RunLogText();
}

TEST_F(TimerEngine, RollBackWatchdogEndsOnTheHundredAndTwentyFirstTickWithoutALogLine) {
  Identified();
  OpenRunLog(1);
  link().CmdID = link::MsgGoBack;
  SetBusy(ctx(), WindowState::kBusy);
  loop.StartTimer(kTimerGoBack, 1000);
  loop.Advance(120000);
  EXPECT_TRUE(screen.boxes().empty());
  loop.Advance(1000);
  ASSERT_EQ(BoxTexts(), Texts{Text("Run_AppGobackErr")});
  ExpectLinkDropped();
  EXPECT_EQ(RunLogText(), "AppRunLog:\r\n\r\nCOM1");
}

// ---- pacing timers -------------------------------------------------------------

TEST_F(TimerEngine, HeaderAndE2PacingRunTheirStepOnceAfterThreeAndSixTicks) {
  int headerSteps = 0;
  int e2Steps = 0;
  ctx().read.onDone = [&] { ++headerSteps; };
  loop.StartTimer(kTimerHeaderPace, kShortestTimerMs);
  loop.Advance(2 * kShortestTimerMs);
  EXPECT_EQ(headerSteps, 0);
  loop.Advance(kShortestTimerMs);
  EXPECT_EQ(headerSteps, 1);
  EXPECT_FALSE(loop.TimerRunning(kTimerHeaderPace));

  link().gOneCmdTime = 0;
  ctx().read.onDone = [&] { ++e2Steps; };
  loop.StartTimer(kTimerE2Pace, kShortestTimerMs);
  loop.Advance(5 * kShortestTimerMs);
  EXPECT_EQ(e2Steps, 0);
  loop.Advance(kShortestTimerMs);
  EXPECT_EQ(e2Steps, 1);
  EXPECT_FALSE(loop.TimerRunning(kTimerE2Pace));
  EXPECT_EQ(headerSteps, 1);
}

// ---- the Timer block of the run log ---------------------------------------------

TEST_F(TimerEngine, EveryTickIsLoggedBeforeItsActionFromLevelFour) {
  OpenRunLog(4);
  link().CmdID = link::MsgConnect;
  StartCommand(ctx());
  loop.Advance(1000);
  EXPECT_NE(RunLogText().find("\r\n\r\nTimer\r\nCmdID=12022\r\ngOneCmdTime=0\r\ngOverTimeNum=0\r\n"
                              "gFrameNum=0\r\ngFrameSum=0\r\n"),
            std::string::npos)
      << RunLogText();
  EXPECT_EQ(link().gOneCmdTime, 1u);
}

TEST_F(TimerEngine, NoTimerBlockBelowLevelFour) {
  OpenRunLog(3);
  link().CmdID = link::MsgConnect;
  StartCommand(ctx());
  loop.Advance(3000);
  EXPECT_EQ(RunLogText().find("Timer"), std::string::npos);
}

}  // namespace
}  // namespace tavro::engine

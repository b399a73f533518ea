// The download transfers frame by frame, with the test playing the terminal:
// block layouts at their edges, the states the terminal reports, and what a
// refusal or a stray reply does.

#include <gtest/gtest.h>

#include "app/window_fixture.hpp"
#include "data/file_io.hpp"
#include "engine/stage_control.hpp"
#include "link/payloads.hpp"

namespace tavro::test {
namespace {

constexpr std::uint32_t kAppAddr = 0x08010000;

class DownloadTransferTest : public WindowFixture {
 protected:
  void SetUp() override {
    WindowFixture::SetUp();
    link().LinkUp = 1;
    ctx().areas[6] = {kAppAddr, 0x60000, 0, "App.bin", true};
    ctx().areas[5] = {0x18000000, 0x183F0000, 0, "", true};
    ctx().device.BlVersion = 0x0215;
    ctx().device.SizeCode = 16;
    link().DownloadApp = 1;
  }
  void PutApp(const link::Bytes& bytes) {
    ASSERT_TRUE(data::CreateFolders(dir.PathOf("SW/Flash")));
    ASSERT_TRUE(data::WriteFileAtomic(dir.PathOf("SW/Flash/App.bin"), bytes));
  }
  void Start(std::uint32_t cmd) {
    link().CmdID = cmd;
    engine::StartCommand(ctx());
  }
  void Ack(std::uint16_t msgId, std::uint16_t status) {
    DeliverFrame(msgId, link::StatusPayload(status));
  }
  const link::Bytes& LastFrame() { return serial.written().back(); }
  std::uint16_t LastBlockNumber() {
    return link::GetU16(LastFrame().data() + link::kPayloadOffset + 2);
  }
};

TEST_F(DownloadTransferTest, AOneByteAppIsTheHeaderAndOneBlockOfTwentyFiveBytes) {
  PutApp({0x5A});
  Start(link::MsgAppDownloadStart);
  ASSERT_EQ(serial.written().size(), 1u);
  EXPECT_EQ(LastFrame().size(), 22u) << "the start carries the App area address";
  Ack(link::MsgDataBackupState, 0);
  ASSERT_EQ(serial.WrittenIds().back(), link::MsgAppBlock);
  const link::Bytes& header = LastFrame();
  EXPECT_EQ(header.size(), 4096u + 24);
  const std::uint8_t* p = header.data() + link::kPayloadOffset;
  EXPECT_EQ(link::GetU16(p), 2) << "two blocks in all";
  EXPECT_EQ(link::GetU16(p + 6), 0xFFFF);
  EXPECT_EQ(link::GetU32(p + 8), 1u) << "the App file length";
  Ack(link::MsgAppBlockAck, 1);
  EXPECT_EQ(LastFrame().size(), 25u);
  EXPECT_EQ(LastFrame()[link::kPayloadOffset + 6], 0x5A);
  // The acceptance of the last block starts nothing: the terminal writes.
  serial.ClearWritten();
  Ack(link::MsgAppBlockAck, 1);
  EXPECT_TRUE(serial.written().empty());
  EXPECT_EQ(link().CmdID, link::CmdAppWriting);
  EXPECT_TRUE(link().buffers.sendImage.empty());
}

TEST_F(DownloadTransferTest, TheImageSitsBehindTheAppHeaderTheTerminalKeeps) {
  for (std::uint32_t code : {0xFFu, 16u, 17u}) {
    SCOPED_TRACE(code);
    // The identification turns 0xFF into 16.
    ctx().device.SizeCode = code == 0xFF ? 16 : code;
    PutApp(link::Bytes(4096, 0x11));
    Start(link::MsgAppDownloadStart);
    Ack(link::MsgDataBackupState, 2);
    const std::size_t offset = code == 17 ? 256 : 0;
    EXPECT_EQ(link().gFrameSum, offset == 0 ? 2 : 3);
    Ack(link::MsgAppBlockAck, 1);
    const std::uint8_t* data = LastFrame().data() + link::kPayloadOffset + 6;
    EXPECT_EQ(data[0], offset == 0 ? 0x11 : 0x00);
    EXPECT_EQ(data[offset], 0x11);
  }
}

TEST_F(DownloadTransferTest, ARefusedHeaderGoesOutAgainWithTheTimeOfItsResend) {
  PutApp(link::Bytes(10, 1));
  Start(link::MsgAppDownloadStart);
  Ack(link::MsgDataBackupState, 0);
  const link::Bytes first = LastFrame();
  loop.Advance(3000);
  Ack(link::MsgAppBlockAck, 0);
  const link::Bytes again = LastFrame();
  EXPECT_EQ(LastBlockNumber(), 0);
  const std::size_t secondAt = link::kPayloadOffset + 6 + 42;
  EXPECT_NE(first[secondAt], again[secondAt]) << "the seconds of the time stamp";
  EXPECT_EQ(link().FrameRetryNum, 1);
}

TEST_F(DownloadTransferTest, WhileTheTerminalBacksUpItsDataTheDownloadWaits) {
  PutApp(link::Bytes(10, 1));
  Start(link::MsgAppDownloadStart);
  Ack(link::MsgDataBackupState, 1);
  EXPECT_EQ(link().CmdID, link::CmdAppWaitBackup);
  EXPECT_EQ(link().ProgressPos, 1945u);
  EXPECT_TRUE(loop.TimerRunning(engine::kTimerDevBackup));
  Ack(link::MsgDataBackupState, 2);
  EXPECT_EQ(link().CmdID, link::CmdAppSending);
  EXPECT_FALSE(loop.TimerRunning(engine::kTimerDevBackup));
  Ack(link::MsgAppBlockAck, 1);
  Ack(link::MsgAppBlockAck, 1);
  ASSERT_EQ(link().CmdID, link::CmdAppWriting);
  // Written: the terminal's next report moves on to the data stage.
  Ack(link::MsgDataBackupState, 1);
  EXPECT_EQ(link().CmdID, link::CmdAppWriting);
  link().DownloadData = 1;
  Ack(link::MsgDataBackupState, 3);
  EXPECT_EQ(link().CmdID, link::MsgParaDownloadStart);
  EXPECT_EQ(serial.WrittenIds().back(), link::MsgParaDownloadStart);
}

TEST_F(DownloadTransferTest, RepliesOfNoRunningTransferAreOnlyLogged) {
  OpenRunLog(1);
  for (std::uint16_t id :
       {link::MsgAppBlockAck, link::MsgParaBlockAck, link::MsgE2WriteAck, link::MsgFlashWriteAck,
        link::MsgDataBackupState, link::MsgParaDownloadState, link::MsgParaDownloadErr}) {
    Ack(id, 1);
  }
  EXPECT_TRUE(serial.written().empty());
  EXPECT_TRUE(screen.boxes().empty());
  const std::string log = RunLogText();
  EXPECT_NE(log.find("\r\nUnaskedReply_AppBlockAck"), std::string::npos);
  EXPECT_NE(log.find("\r\nUnaskedReply_FlashWriteAck"), std::string::npos);
  EXPECT_NE(log.find("\r\nUnaskedReply_ParaDownloadErr"), std::string::npos);
}

TEST_F(DownloadTransferTest, AnOddResourceIsPaddedToAnEvenBlockWithItsTrueLength) {
  ASSERT_TRUE(data::CreateFolders(dir.PathOf("Data/Res")));
  ASSERT_TRUE(data::WriteFileAtomic(dir.PathOf("Data/Res/r.rom"), link::Bytes(4099, 0x33)));
  Start(link::CmdResource);
  Ack(link::MsgFlashWriteAck, 3);
  const link::Bytes& last = LastFrame();
  const std::uint8_t* p = last.data() + link::kPayloadOffset;
  EXPECT_EQ(link::GetU32(p), 0x18000000u);
  EXPECT_EQ(link::GetU16(p + 6), 1) << "block 1";
  EXPECT_EQ(link::GetU16(p + 8), 3) << "the true length";
  EXPECT_EQ(last.size(), 18u + 10 + 4) << "four data bytes";
  EXPECT_EQ(p[10 + 3], 0xFF);
  // Address and length errors end at once; status 2 is a refusal.
  Ack(link::MsgFlashWriteAck, 2);
  EXPECT_EQ(link().FrameRetryNum, 1);
  Ack(link::MsgFlashWriteAck, 0);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{Text("F_F_AdrrErr")});
  EXPECT_TRUE(Control(platform::kDeviceInfoButton).enabled);
}

TEST_F(DownloadTransferTest, ARunReportAfterNoDownloadShowsOnlyItsText) {
  // While idle the received bytes are echoed into the area; a report that
  // comes while nothing was shown finds it empty.
  ctx().RxTextEcho = 0;
  ctx().SetInfoText("");
  DeliverFrame(link::MsgRunResult, link::StatusPayload(0));
  EXPECT_EQ(Info(), Text("Run_NoPermission"));
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{Text("Run_NoPermission")});
  EXPECT_EQ(screen.boxes()[0].kind, platform::kBoxOk);
  EXPECT_EQ(Control(platform::kProgressBar).pos, 0);

  // After a download's completion the report speaks for the download.
  screen.Clear();
  ctx().SetInfoText("something");
  ctx().operations.ExpectRunReport();
  DeliverFrame(link::MsgRunResult, link::StatusPayload(0));
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{Text("Run_NoPermission")});
  EXPECT_EQ(screen.boxes()[0].kind, platform::kBoxError);
  EXPECT_NE(Info().find("√" + Text("Dis_DevRun") + "(100%)"), std::string::npos);
  EXPECT_EQ(Control(platform::kProgressBar).pos, 4096);
  EXPECT_EQ(link().LinkUp, 0);

  // Without one (an operation that stopped, or a second report of the same
  // completion) the terminal restarted on its own: nothing is ticked and no
  // box claims the operation finished.
  for (const std::uint16_t status : {1, 0}) {
    screen.Clear();
    ctx().controls.SetPos(platform::kProgressBar, 100);
    ctx().SetInfoText("CRC stopped");
    DeliverFrame(link::MsgRunResult, link::StatusPayload(status));
    EXPECT_TRUE(BoxTexts().empty()) << status;
    EXPECT_EQ(Info(), "CRC stopped\r\n" + Text("Ext_RunUnasked"));
    EXPECT_EQ(Control(platform::kProgressBar).pos, 100);
    EXPECT_EQ(link().LinkUp, 0);
  }
}

}  // namespace
}  // namespace tavro::test

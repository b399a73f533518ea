// App and parameter-area read-backs block by block, played by hand: what is
// stored, what is refused, and that a refusal leaves nothing on the disk.

#include <gtest/gtest.h>

#include "app/window_fixture.hpp"
#include "data/file_io.hpp"
#include "engine/backup_read.hpp"
#include "engine/read_back.hpp"
#include "link/payloads.hpp"

namespace tavro::test {
namespace {

constexpr std::uint32_t kAppAddr = 0x08010000;
constexpr std::uint32_t kAreaAddr = 0x080E0000;

// The read-back as the Backup operation runs it: a folder of its own each
// time, and the read's command kept to the end.
class BacksUpOnly final : public engine::Operation {
 public:
  bool CheckFileSet(engine::Context&) override { return true; }
  void OnIdentified(engine::Context&, engine::Identification) override {}
  data::DataFolderNaming AreaFolderNaming() const override {
    return data::DataFolderNaming::kNewFolderEachTime;
  }
  std::optional<std::uint32_t> CommandAfterAreaReadBack() const override { return std::nullopt; }
};

class BackupReadTest : public WindowFixture {
 protected:
  void SetUp() override {
    WindowFixture::SetUp();
    link().LinkUp = 1;
    ctx().areas[6] = {kAppAddr, 0x60000, 0, "App.bin", true};
    ctx().areas[0] = {kAreaAddr, 0x08100000, 1, "1.dat", true};
    ctx().areas[1] = {kAreaAddr + 0x9000, 0x08109000, 2, "2.dat", true};
    ctx().package.paraFileTotalNum = 2;
    ctx().device.CurAppVersion = "1.0.2.0";
    ctx().device.ParaVersion = "1.2.0.0";
    ctx().device.ParaVersionNum = 0x01020000;
    ctx().device.ParaVersionBcd = true;
    ctx().device.ParaIntact = true;
    ctx().operations.Install(std::make_shared<BacksUpOnly>());
  }
  void AppBlock(std::uint16_t count, std::uint16_t number, const link::Bytes& data) {
    DeliverFrame(link::MsgAppBackupBlock, link::EncodeReadBackShort(count, number, data));
  }
  void ParaBlock(std::uint16_t count, std::uint16_t number, const link::Bytes& data) {
    DeliverFrame(link::MsgParaBackupBlock,
                 link::EncodeReadBackLong(kAreaAddr, count, number, data));
  }
  std::string BackupRoot() { return dir.PathOf("Backup"); }
  bool done = false;
};

TEST_F(BackupReadTest, TheAppFileHoldsEveryBlockButTheDescriptor) {
  engine::StartAppReadBack(ctx(), [this] { done = true; });
  ASSERT_EQ(serial.WrittenIds(), std::vector<std::uint16_t>{link::MsgAppBackupStart});
  serial.ClearWritten();
  AppBlock(3, 0, link::Bytes(4096, 0xDD));
  AppBlock(3, 1, link::Bytes(4096, 0x11));
  AppBlock(3, 1, link::Bytes(4096, 0x11));  // sent twice
  AppBlock(3, 2, link::Bytes(10, 0x22));
  ASSERT_TRUE(done);
  EXPECT_EQ(serial.CountWritten(link::MsgAppBackupAck), 4u);
  link::Bytes expected(4096, 0x11);
  expected.insert(expected.end(), 10, 0x22);
  ASSERT_FALSE(link().AppBackupFile.empty());
  EXPECT_EQ(data::ReadWholeFile(link().AppBackupFile), expected);
  EXPECT_TRUE(link().buffers.backupImage.empty());
  EXPECT_TRUE(screen.boxes().empty());
}

// Data that reaches the announced blocks is more than the terminal said.
TEST_F(BackupReadTest, ReadsThatReachTheAnnouncedBlocksAreRefusedAndNothingIsWritten) {
  OpenRunLog(1);
  engine::StartAreaReadBack(ctx(), [this] { done = true; });
  ParaBlock(2, 0, link::Bytes(4096, 1));
  ParaBlock(2, 1, link::Bytes(4096, 2));
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{Text("F_BackupErr")});
  EXPECT_NE(RunLogText().find("\r\n\r\nUpParaLenErr\r\ncmd=12045"), std::string::npos);
  EXPECT_TRUE(data::ListFiles(link().BackupFolder, "*").empty());

  // An App read announcing no blocks, or more than any App area holds, is
  // not believed: its buffer is never allocated.
  for (std::uint16_t count : {0, engine::kMaxAppBackupBlocks + 1}) {
    SCOPED_TRACE(count);
    screen.Clear();
    engine::StartAppReadBack(ctx(), [this] { done = true; });
    AppBlock(static_cast<std::uint16_t>(count), 0, link::Bytes(16, 0));
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{Text("F_BackupErr")});
    EXPECT_TRUE(link().buffers.backupImage.empty());
    EXPECT_TRUE(Control(platform::kBackupButton).enabled);
  }
  EXPECT_FALSE(data::FileExists(BackupRoot() + "/TAVR1/SW"));
  EXPECT_FALSE(done);
}

TEST_F(BackupReadTest, AreasFollowEachOtherWithoutAnAcknowledgementBetween) {
  engine::StartAreaReadBack(ctx(), [this] { done = true; });
  serial.ClearWritten();
  ParaBlock(2, 0, link::Bytes(512, 0xA0));
  ParaBlock(2, 1, link::Bytes(100, 0xA1));
  // The last block of area 0 is answered by the request for area 1.
  EXPECT_EQ(serial.WrittenIds(),
            (std::vector<std::uint16_t>{link::MsgParaBackupAck, link::MsgParaBackupStart}));
  ParaBlock(1, 0, link::Bytes(512, 0xB0));
  EXPECT_EQ(serial.WrittenIds().back(), link::MsgParaBackupAck);
  EXPECT_EQ(serial.written().back()[link::kPayloadOffset], 0) << "the last acknowledgement";
  EXPECT_FALSE(done) << "the pacing timer runs first";
  loop.Advance(1000);
  EXPECT_TRUE(done);
  link::Bytes area0(512, 0xA0);
  area0.insert(area0.end(), 100, 0xA1);
  EXPECT_EQ(data::ReadWholeFile(link().BackupFolder + "/1.dat"), area0);
  EXPECT_EQ(data::ReadWholeFile(link().BackupFolder + "/2.dat"), link::Bytes(512, 0xB0));
  EXPECT_EQ(link().BackupFolderName.size(), 14u + 4u) << link().BackupFolderName;
}

TEST_F(BackupReadTest, BlocksOfNoPendingReadOrOutOfTurnAreDroppedWithALogLine) {
  OpenRunLog(1);
  ParaBlock(2, 0, link::Bytes(512, 1));
  AppBlock(2, 0, link::Bytes(512, 1));
  EXPECT_TRUE(serial.written().empty()) << "nothing is acknowledged";
  engine::StartAreaReadBack(ctx(), [this] { done = true; });
  serial.ClearWritten();
  ParaBlock(3, 1, link::Bytes(4096, 1));  // block 0 was lost
  ParaBlock(3, 0, link::Bytes(512, 1));
  ParaBlock(3, 2, link::Bytes(100, 1));  // block 1 was lost
  EXPECT_EQ(serial.CountWritten(link::MsgParaBackupAck), 1u);
  EXPECT_EQ(link().BackupOffset, 512u);
  const std::string log = RunLogText();
  EXPECT_NE(log.find("\r\nRxBlockRefused_ParaBackupUnasked"), std::string::npos);
  EXPECT_NE(log.find("\r\nRxBlockRefused_AppBackupUnasked"), std::string::npos);
  EXPECT_NE(log.find("\r\nRxBlockRefused_ParaBackupOutOfOrder"), std::string::npos);
  EXPECT_TRUE(screen.boxes().empty());
}

// A Flash header block arriving while the whole E2PROM is read must not size
// the buffer: the 64 KiB that follow would run past it.
TEST_F(BackupReadTest, AFlashBlockDuringAWholeE2promReadIsIgnored) {
  OpenRunLog(1);
  engine::SendE2Read(ctx(), {0, engine::kE2ImageLength, [this] { done = true; }});
  DeliverFrame(link::MsgFlashReadBlock,
               link::EncodeReadBackLong(0x08060000, 1, 0, link::Bytes(64, 7)));
  for (std::uint16_t n = 0; n < 16; ++n) {
    DeliverFrame(
        link::MsgE2ReadBlock,
        link::EncodeReadBackLong(0, 16, n, link::Bytes(4096, static_cast<std::uint8_t>(n))));
  }
  EXPECT_EQ(link().ReadOffset, 0x10000u);
  EXPECT_EQ(link().buffers.backupImage2.size(), 0x10002u);
  EXPECT_EQ(link().buffers.backupImage2[0x10000 - 1], 15);
  EXPECT_NE(RunLogText().find("\r\nRxBlockRefused_FlashReadUnasked"), std::string::npos);
  EXPECT_TRUE(screen.boxes().empty());
  loop.Advance(1000);
  EXPECT_TRUE(done);
}

TEST_F(BackupReadTest, ACrcErrorAsksForTheBlockOfTheCurrentAreaItHasReached) {
  engine::StartAreaReadBack(ctx(), [this] { done = true; });
  ParaBlock(2, 0, link::Bytes(512, 1));
  ParaBlock(2, 1, link::Bytes(10, 1));
  // Area 1 is asked for; its first block arrives damaged: block 0 of area 1
  // again, not block 1 of area 0.
  serial.ClearWritten();
  Deliver(BadCrcFrame(link::MsgParaBackupBlock, link::EncodeReadBackLong(kAreaAddr, 3, 0, {})));
  ASSERT_EQ(serial.written().size(), 1u);
  EXPECT_EQ(serial.written()[0],
            link::ResendRequestFrame(link::MsgParaBackupBlock, kAreaAddr + 0x9000, 0, 0));
  // Within the area: the last block received, which the terminal sends again
  // and the acknowledgement of which moves it on.
  ParaBlock(3, 0, link::Bytes(512, 2));
  serial.ClearWritten();
  Deliver(BadCrcFrame(link::MsgParaBackupBlock, link::EncodeReadBackLong(kAreaAddr, 3, 1, {})));
  EXPECT_EQ(serial.written().at(0),
            link::ResendRequestFrame(link::MsgParaBackupBlock, kAreaAddr + 0x9000, 3, 0));
}

}  // namespace
}  // namespace tavro::test

// Blocks the terminal sends back for the identification: the header reads
// from Flash and the E2PROM, and what is refused rather than stored.

#include <gtest/gtest.h>

#include <numeric>

#include "app/window_fixture.hpp"
#include "engine/read_back.hpp"
#include "link/payloads.hpp"
#include "operations/identify.hpp"

namespace tavro::test {
namespace {

class ReadBackTest : public WindowFixture {
 protected:
  void SetUp() override {
    WindowFixture::SetUp();
    link().LinkUp = 1;
  }
  // A 64-byte area head whose bytes count up from `first`.
  static link::Bytes AreaHead(std::uint8_t first) {
    link::Bytes head(64);
    std::iota(head.begin(), head.end(), first);
    return head;
  }
  void DeliverFlashBlock(std::uint16_t count, std::uint16_t number, const link::Bytes& data) {
    DeliverFrame(link::MsgFlashReadBlock,
                 link::EncodeReadBackLong(0x08060000, count, number, data));
  }
  const std::uint8_t* Record(std::size_t i) {
    return ctx().device.ParaHeaderTable.data() + i * engine::kParaHeaderSize;
  }
};

TEST_F(ReadBackTest, FlashHeaderRecordTakesTheTimeStampFromAreaBytes56To63) {
  engine::SendFlashRead(ctx(), {0x08060000, 64, {}});
  serial.ClearWritten();
  DeliverFlashBlock(1, 0, AreaHead(10));
  const std::uint8_t* r = Record(0);
  EXPECT_EQ(r[0], 10);
  EXPECT_EQ(r[47], 57);
  EXPECT_EQ(r[48], 66) << "area byte 56";
  EXPECT_EQ(r[55], 73) << "area byte 63";
  EXPECT_EQ(serial.WrittenIds(), (std::vector<std::uint16_t>{link::MsgFlashReadAck}));
  EXPECT_EQ(link().StepIndex, 1);
  EXPECT_TRUE(loop.TimerRunning(engine::kTimerHeaderPace));
}

TEST_F(ReadBackTest, UnaskedAndShortBlocksAreRefusedWithALogLine) {
  OpenRunLog(1);
  DeliverFlashBlock(1, 0, AreaHead(1));
  DeliverFrame(link::MsgFlashReadBlock, link::Bytes(9, 0));
  engine::SendE2Read(ctx(), {0, 32, {}});
  serial.ClearWritten();
  DeliverFrame(link::MsgE2ReadBlock, link::Bytes(5, 0));
  EXPECT_TRUE(serial.written().empty()) << "nothing is acknowledged";
  EXPECT_EQ(Record(0)[1], 0);
  const std::string log = RunLogText();
  EXPECT_NE(log.find("\r\nRxBlockRefused_FlashReadUnasked"), std::string::npos);
  EXPECT_NE(log.find("\r\nRxBlockRefused_FlashReadShort"), std::string::npos);
  EXPECT_NE(log.find("\r\nRxBlockRefused_E2ReadShort"), std::string::npos);
  EXPECT_TRUE(screen.boxes().empty());
}

TEST_F(ReadBackTest, ASeventhHeaderIsReadButNotStored) {
  link().StepIndex = engine::kParaHeaderSlots;
  engine::SendFlashRead(ctx(), {0x08060000, 64, {}});
  DeliverFlashBlock(1, 0, AreaHead(1));
  for (std::uint8_t b : ctx().device.ParaHeaderTable)
    ASSERT_EQ(b, 0);
}

TEST_F(ReadBackTest, ImplausibleBlockCountsAreRefused) {
  for (std::uint16_t count : {0, 17, 0xFFFF}) {
    SCOPED_TRACE(count);
    screen.Clear();
    engine::SendFlashRead(ctx(), {0x08060000, 64, {}});
    DeliverFlashBlock(count, 0, AreaHead(1));
    ASSERT_EQ(BoxTexts(), (std::vector<std::string>{Text("F_UpLenErr")}));
    EXPECT_TRUE(link().buffers.backupImage2.size() <= 16 * link::kBlockSize);
  }
}

TEST_F(ReadBackTest, RepeatedBlockIsAcknowledgedAndStoredOnce) {
  engine::SendE2Read(ctx(), {0, 96, {}});
  serial.ClearWritten();
  const link::Bytes part(32, 0xAB);
  DeliverFrame(link::MsgE2ReadBlock, link::EncodeReadBackLong(0, 3, 0, part));
  DeliverFrame(link::MsgE2ReadBlock, link::EncodeReadBackLong(0, 3, 0, part));
  EXPECT_EQ(link().ReadOffset, 32u);
  EXPECT_EQ(serial.CountWritten(link::MsgE2ReadAck), 2u);
  DeliverFrame(link::MsgE2ReadBlock, link::EncodeReadBackLong(0, 3, 1, part));
  DeliverFrame(link::MsgE2ReadBlock, link::EncodeReadBackLong(0, 3, 2, part));
  EXPECT_EQ(link().ReadOffset, 96u) << "exactly the read length is accepted";
  EXPECT_TRUE(screen.boxes().empty());
  // The last acknowledgement says so.
  EXPECT_EQ(serial.written().back()[link::kPayloadOffset], 0);
  EXPECT_TRUE(loop.TimerRunning(engine::kTimerE2Pace));
}

TEST_F(ReadBackTest, E2promDataBeyondTheReadLengthIsRefused) {
  engine::SendE2Read(ctx(), {0, 32, {}});
  DeliverFrame(link::MsgE2ReadBlock, link::EncodeReadBackLong(0, 1, 0, link::Bytes(33, 1)));
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{Text("F_E_LenErr")}));
  EXPECT_EQ(link().ReadOffset, 0u);
}

TEST_F(ReadBackTest, ReadErrorsShowTheirTexts) {
  const std::pair<std::uint16_t, const char*> cases[] = {
      {0, "F_F_AdrrErr"}, {1, "F_F_LenErr"}, {7, "F_F_OpErr"}};
  for (const auto& [status, key] : cases) {
    screen.Clear();
    DeliverFrame(link::MsgFlashReadErr, link::StatusPayload(status));
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{Text(key)}));
  }
  screen.Clear();
  DeliverFrame(link::MsgE2ReadErr);
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{Text("F_E_OpErr")}));
  EXPECT_EQ(link().DevIdentified, 1);
  EXPECT_EQ(Control(platform::kConnectionStatusIcon).icon, platform::kIconOn);
}

TEST_F(ReadBackTest, PackageWantingMoreThanSixHeadersReadsSixAndCannotConfirmThem) {
  OpenRunLog(1);
  ctx().package.paraFileRequisiteNum = 7;
  link().ParaAltAddr = 1;  // second copies already tried
  link().StepIndex = 6;
  operations::HandshakeStep(ctx());
  EXPECT_EQ(serial.CountWritten(link::MsgFlashRead), 0u);
  EXPECT_EQ(ctx().device.ParaVersion, "E.R.R");
  EXPECT_NE(RunLogText().find("\r\nParaHeaderNumOver6"), std::string::npos);
}

}  // namespace
}  // namespace tavro::test

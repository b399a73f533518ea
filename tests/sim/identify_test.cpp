// Connect and identification exchanges, frame in -> frames out.

#include <gtest/gtest.h>

#include "sim_harness.hpp"

namespace tavro::sim::testing {
namespace {

using namespace link;
using ::testing::ElementsAre;

TEST(Connect, AnnouncesBootloaderThenSaysHelloOnAck) {
  DeviceSpec spec;
  spec.blVersion = 0x0221;
  spec.sizeCode = 0xFF;
  SimHarness sim(MakeDevice(spec));
  auto replies = sim.Exchange(MsgConnect);
  ASSERT_THAT(Ids(replies), ElementsAre(MsgBlHello));
  const auto hello = DecodeBlHello(replies[0].payload);
  ASSERT_TRUE(hello);
  EXPECT_EQ(hello->blVersion, 0x0221);
  EXPECT_EQ(hello->sizeCode, 0xFF);
  EXPECT_EQ(std::string(hello->chipNum.data(), 4), "A100");
  EXPECT_EQ(std::string(hello->companyNum.data(), 4), "TVRO");
  EXPECT_EQ(replies[0].payload.size(), kBlHelloSize);

  EXPECT_THAT(Ids(sim.Exchange(MsgBlHelloAck)), ElementsAre(MsgHello));
  // A second acknowledgement is not a new connect.
  EXPECT_TRUE(sim.Exchange(MsgBlHelloAck).empty());
}

TEST(Connect, HelloOnlyWhenConfigured) {
  Behaviour b = TestBehaviour();
  b.connectReply = ConnectReply::Hello;
  SimHarness sim(MakeDevice({}), b);
  EXPECT_THAT(Ids(sim.Exchange(MsgConnect)), ElementsAre(MsgHello));
}

TEST(Connect, BannerTextFollowsTheHello) {
  Behaviour b = TestBehaviour();
  b.banner = "BL ready";
  SimHarness sim(MakeDevice({}), b);
  sim.Exchange(MsgConnect);
  const auto replies = sim.Exchange(MsgBlHelloAck);
  ASSERT_THAT(Ids(replies), ElementsAre(MsgHello, MsgText));
  EXPECT_EQ(std::string(replies[1].payload.begin(), replies[1].payload.end()), "BL ready");
}

TEST(Connect, PowerUpAnnouncesWhenConfigured) {
  Behaviour b = TestBehaviour();
  b.announceAtPowerUp = true;
  SimHarness sim(MakeDevice({}), b);
  EXPECT_THAT(Ids(sim.Run()), ElementsAre(MsgBlHello));
  EXPECT_THAT(Ids(sim.Exchange(MsgBlHelloAck)), ElementsAre(MsgHello));
}

TEST(Connect, RepliesComeAfterTheProcessingDelay) {
  SimHarness sim;
  sim.Send(MsgConnect);
  EXPECT_TRUE(sim.Run(1).empty());
  const auto replies = sim.Run(1);
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0].atMs, 2u);
}

TEST(LinkQuery, ReportsTerminalTypeOrStaysQuiet) {
  DeviceSpec spec;
  spec.terminalType = 7;
  SimHarness typed(MakeDevice(spec));
  const auto replies = typed.Exchange(MsgLinkQuery);
  ASSERT_THAT(Ids(replies), ElementsAre(MsgLinkQueryReply));
  EXPECT_EQ(DecodeLinkQueryReply(replies[0].payload), 7);

  spec.terminalType.reset();
  SimHarness mute(MakeDevice(spec));
  EXPECT_TRUE(mute.Exchange(MsgLinkQuery, {}, 1000).empty());
}

TEST(AppInfo, ReportsCurrentAndBackupApp) {
  DeviceSpec spec;
  spec.appVersion = 0x02010304;
  spec.backupAppVersion = 0x01090000;
  Device device = MakeDevice(spec);
  device.backupApp.present = false;
  SimHarness sim(device);
  const auto replies = sim.Exchange(MsgReadAppInfo);
  ASSERT_THAT(Ids(replies), ElementsAre(MsgAppInfo));
  ASSERT_EQ(replies[0].payload.size(), kAppInfoSize);
  const auto info = DecodeAppInfo(replies[0].payload);
  EXPECT_EQ(info->current.present, 1);
  EXPECT_EQ(info->current.version, 0x02010304u);
  EXPECT_EQ(std::string(info->current.model.data(), 5), "TR100");
  EXPECT_EQ(info->backup.present, 0);
  EXPECT_EQ(info->backup.version, 0x01090000u);
}

TEST(AppInfo, DataInfoFollowsWhenConfigured) {
  Behaviour b = TestBehaviour();
  b.dataInfoAfterAppInfo = true;
  DeviceSpec spec;
  spec.dataVersion = 0x01030007;
  SimHarness sim(MakeDevice(spec), b);
  auto replies = sim.Exchange(MsgReadAppInfo);
  ASSERT_THAT(Ids(replies), ElementsAre(MsgAppInfo, MsgDataInfo));
  const auto data = DecodeDataInfo(replies[1].payload);
  EXPECT_EQ(data->version, 0x01030007u);
  EXPECT_EQ(std::string(data->model.data(), 5), "TR100");

  PutU16(sim.terminal->mutableDevice().para[3].primary.bytes.data(), 0xFFFF);
  replies = sim.Exchange(MsgReadAppInfo);
  EXPECT_THAT(Ids(replies), ElementsAre(MsgAppInfo, MsgNoDataInfo));
}

TEST(FlashRead, HeaderOfAnAreaAndOfItsSecondCopy) {
  SimHarness sim;
  const Device& d = sim.terminal->device();
  for (bool copy : {false, true}) {
    const std::uint32_t address = copy ? d.areas[2].areaLen : d.areas[2].areaAddr;
    auto replies = sim.Exchange(MsgFlashRead, U32PairPayload(address, 64));
    ASSERT_THAT(Ids(replies), ElementsAre(MsgFlashReadBlock));
    const auto block = DecodeReadBackLong(replies[0].payload);
    ASSERT_TRUE(block);
    EXPECT_EQ(block->address, address);
    EXPECT_EQ(block->blockCount, 1);
    EXPECT_EQ(block->blockNumber, 0);
    ASSERT_EQ(block->length, 64);
    const Bytes& image = copy ? d.para[2].copy.bytes : d.para[2].primary.bytes;
    EXPECT_TRUE(std::equal(block->data.begin(), block->data.end(), image.begin()));
    EXPECT_EQ(GetU16(block->data.data()), 1) << "intact area";
    EXPECT_TRUE(sim.Exchange(MsgFlashReadAck).empty()) << "nothing after the last block";
  }
}

TEST(FlashRead, ErasedFlashReadsFF) {
  SimHarness sim;
  sim.terminal->mutableDevice().para[0].copy.bytes.clear();
  const auto replies =
      sim.Exchange(MsgFlashRead, U32PairPayload(sim.terminal->device().areas[0].areaLen, 64));
  ASSERT_THAT(Ids(replies), ElementsAre(MsgFlashReadBlock));
  const auto block = DecodeReadBackLong(replies[0].payload);
  EXPECT_EQ(block->length, 64);
  EXPECT_TRUE(
      std::all_of(block->data.begin(), block->data.end(), [](auto b) { return b == 0xFF; }));
}

TEST(FlashRead, LongReadGoesBlockByBlockOnAcknowledgement) {
  SimHarness sim;
  const std::uint32_t address = sim.terminal->device().areas[4].areaAddr;
  auto replies = sim.Exchange(MsgFlashRead, U32PairPayload(address, 5000));
  ASSERT_THAT(Ids(replies), ElementsAre(MsgFlashReadBlock));
  EXPECT_EQ(DecodeReadBackLong(replies[0].payload)->length, 4096);
  EXPECT_EQ(DecodeReadBackLong(replies[0].payload)->blockCount, 2);
  replies = sim.Exchange(MsgFlashReadAck);
  ASSERT_THAT(Ids(replies), ElementsAre(MsgFlashReadBlock));
  EXPECT_EQ(DecodeReadBackLong(replies[0].payload)->blockNumber, 1);
  EXPECT_EQ(DecodeReadBackLong(replies[0].payload)->length, 904);
  EXPECT_TRUE(sim.Exchange(MsgFlashReadAck).empty());
}

TEST(FlashRead, AddressAndLengthErrors) {
  SimHarness sim;
  const std::uint32_t area = sim.terminal->device().areas[0].areaAddr;
  auto replies = sim.Exchange(MsgFlashRead, U32PairPayload(0x00001000, 64));
  ASSERT_THAT(Ids(replies), ElementsAre(MsgFlashReadErr));
  EXPECT_EQ(replies[0].Status(), 0);
  replies = sim.Exchange(MsgFlashRead, U32PairPayload(area + kParaAreaCapacity - 32, 64));
  ASSERT_THAT(Ids(replies), ElementsAre(MsgFlashReadErr));
  EXPECT_EQ(replies[0].Status(), 1) << "read running past the area";
  replies = sim.Exchange(MsgFlashRead, U32PairPayload(area, 0));
  EXPECT_EQ(replies.at(0).Status(), 1);
  replies = sim.Exchange(MsgFlashRead, U32Payload(area));
  EXPECT_EQ(replies.at(0).Status(), 2) << "payload too short";
}

TEST(FlashRead, ErrorReplyFaultOnTheNthReadOnly) {
  Faults f;
  std::string error;
  ASSERT_TRUE(SetFault(f, "FlashReadErr", "2#2", error)) << error;
  SimHarness sim(MakeDevice({}), TestBehaviour(), f);
  const std::uint32_t area = sim.terminal->device().areas[0].areaAddr;
  EXPECT_THAT(Ids(sim.Exchange(MsgFlashRead, U32PairPayload(area, 64))),
              ElementsAre(MsgFlashReadBlock));
  const auto replies = sim.Exchange(MsgFlashRead, U32PairPayload(area, 64));
  ASSERT_THAT(Ids(replies), ElementsAre(MsgFlashReadErr));
  EXPECT_EQ(replies[0].Status(), 2);
  EXPECT_THAT(Ids(sim.Exchange(MsgFlashRead, U32PairPayload(area, 64))),
              ElementsAre(MsgFlashReadBlock));
}

Device E2Device() {
  DeviceSpec spec;
  spec.blVersion = 0x0231;
  spec.dataVersion = 0x01040000;
  return MakeDevice(spec);
}

TEST(E2Read, HeaderOfTheE2prom) {
  SimHarness sim(E2Device());
  const auto replies = sim.Exchange(MsgE2Read, E2ReadPayload(0, 32));
  ASSERT_THAT(Ids(replies), ElementsAre(MsgE2ReadBlock));
  const auto block = DecodeReadBackLong(replies[0].payload);
  ASSERT_EQ(block->length, 32);
  EXPECT_EQ(GetU16(block->data.data()), kE2Intact);
  EXPECT_EQ(GetU32(block->data.data() + 6), 0x01040000u);
  EXPECT_EQ(GetU16(block->data.data() + 18), 2024);
  EXPECT_TRUE(sim.Exchange(MsgE2ReadAck, ReadBackAckPayload(true)).empty());
}

TEST(E2Read, WholeE2promInSixteenBlocks) {
  SimHarness sim(E2Device());
  Bytes image;
  auto replies = sim.Exchange(MsgE2Read, E2ReadPayload(0, kE2Size));
  for (int n = 0; n < 16; ++n) {
    ASSERT_THAT(Ids(replies), ElementsAre(MsgE2ReadBlock)) << "block " << n;
    const auto block = DecodeReadBackLong(replies[0].payload);
    EXPECT_EQ(block->blockCount, 16);
    EXPECT_EQ(block->blockNumber, n);
    image.insert(image.end(), block->data.begin(), block->data.end());
    replies = sim.Exchange(MsgE2ReadAck, ReadBackAckPayload(n == 15));
  }
  EXPECT_TRUE(replies.empty());
  EXPECT_EQ(image, sim.terminal->device().e2prom);
}

TEST(E2Read, RefusedOutsideTheE2promOrWithoutOne) {
  SimHarness e2(E2Device());
  EXPECT_THAT(Ids(e2.Exchange(MsgE2Read, E2ReadPayload(0xFFF0, 32))), ElementsAre(MsgE2ReadErr));
  EXPECT_THAT(Ids(e2.Exchange(MsgE2Read, E2ReadPayload(0, 0))), ElementsAre(MsgE2ReadErr));
  SimHarness flash;
  EXPECT_THAT(Ids(flash.Exchange(MsgE2Read, E2ReadPayload(0, 32))), ElementsAre(MsgE2ReadErr));
  Faults f;
  f.e2ReadErr.enabled = true;
  SimHarness faulty(E2Device(), TestBehaviour(), f);
  EXPECT_THAT(Ids(faulty.Exchange(MsgE2Read, E2ReadPayload(0, 32))), ElementsAre(MsgE2ReadErr));
}

TEST(E2Read, ResendRequestRepeatsTheNamedBlock) {
  SimHarness sim(E2Device());
  sim.Exchange(MsgE2Read, E2ReadPayload(0, 3 * 4096));
  auto replies = sim.Exchange(MsgE2ReadAck, ReadBackAckPayload(false));
  ASSERT_EQ(DecodeReadBackLong(replies.at(0).payload)->blockNumber, 1);
  // As the PC sends it: DataLen 10 for a 12-byte payload.
  sim.SendRaw(ResendRequestFrame(MsgE2Read, 0, 3, 0));
  replies = sim.Run();
  ASSERT_THAT(Ids(replies), ElementsAre(MsgE2ReadBlock));
  EXPECT_EQ(DecodeReadBackLong(replies[0].payload)->blockNumber, 0);
  // The read goes on from the block sent again.
  replies = sim.Exchange(MsgE2ReadAck, ReadBackAckPayload(false));
  EXPECT_EQ(DecodeReadBackLong(replies.at(0).payload)->blockNumber, 1);
  // A request naming another read is not this read's business.
  sim.SendRaw(ResendRequestFrame(MsgParaBackupBlock, 0, 3, 0));
  EXPECT_TRUE(sim.Run().empty());
}

}  // namespace
}  // namespace tavro::sim::testing

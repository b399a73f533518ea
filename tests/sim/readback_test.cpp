// Read-back of the App and of the parameter areas, with resend requests.

#include <gtest/gtest.h>

#include "sim_harness.hpp"

namespace tavro::sim::testing {
namespace {

using namespace link;
using ::testing::ElementsAre;

// Acknowledges every block as the PC does and returns them in order.
std::vector<ReadBackBlock> ReadAll(SimHarness& sim, std::uint16_t startId, const Bytes& request,
                                   std::uint16_t ackId, std::vector<Bytes>& keep) {
  std::vector<ReadBackBlock> blocks;
  auto replies = sim.Exchange(startId, request);
  while (replies.size() == 1) {
    keep.push_back(replies[0].payload);
    const auto block = startId == MsgAppBackupStart ? DecodeReadBackShort(keep.back())
                                                    : DecodeReadBackLong(keep.back());
    if (!block)
      break;
    blocks.push_back(*block);
    const bool last = block->blockNumber + 1 == block->blockCount;
    replies = sim.Exchange(ackId, ReadBackAckPayload(last));
    if (last)
      break;
  }
  EXPECT_TRUE(replies.empty()) << "nothing after the last block";
  return blocks;
}

Bytes Join(const std::vector<ReadBackBlock>& blocks, std::size_t from) {
  Bytes out;
  for (std::size_t i = from; i < blocks.size(); ++i) {
    out.insert(out.end(), blocks[i].data.begin(), blocks[i].data.end());
  }
  return out;
}

TEST(AppReadBack, DescriptorThenTheImage) {
  SimHarness sim;
  const Device& d = sim.terminal->device();
  std::vector<Bytes> keep;
  const auto blocks = ReadAll(sim, MsgAppBackupStart, U32Payload(d.areas[kAppEntry].areaAddr),
                              MsgAppBackupAck, keep);
  const std::size_t expected = 1 + (d.app.image.size() + 4095) / 4096;
  ASSERT_EQ(blocks.size(), expected);
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    EXPECT_EQ(blocks[i].blockNumber, i);
    EXPECT_EQ(blocks[i].blockCount, expected);
  }
  ASSERT_EQ(blocks[0].length, 4096);
  EXPECT_EQ(GetU16(blocks[0].data.data()), 0xFFFF);
  EXPECT_EQ(GetU32(blocks[0].data.data() + 2), d.app.fileLength);
  EXPECT_EQ(GetU16(blocks[0].data.data() + 36), 2024) << "download time of the App";
  EXPECT_EQ(Join(blocks, 1), d.app.image);
  // The PC refuses a read reaching count x 4096 bytes: the image stays below.
  EXPECT_LT(Join(blocks, 1).size(), expected * 4096);
}

TEST(AppReadBack, NoAppOrUnknownAddress) {
  Device device = MakeDevice({});
  SimHarness sim(device);
  EXPECT_THAT(Ids(sim.Exchange(MsgAppBackupStart, U32Payload(0x12345678))),
              ElementsAre(MsgAppBackupNone));
  sim.terminal->mutableDevice().app.present = false;
  EXPECT_THAT(Ids(sim.Exchange(MsgAppBackupStart, U32Payload(device.areas[kAppEntry].areaAddr))),
              ElementsAre(MsgAppBackupNone));
}

TEST(AppReadBack, ResendRequestAndRepeatedBlock) {
  Faults f;
  f.repeatEnabled = true;
  f.repeatMsgId = MsgAppBackupBlock;
  f.repeatBlock = 2;
  SimHarness sim(MakeDevice({}), TestBehaviour(), f);
  const std::uint32_t app = sim.terminal->device().areas[kAppEntry].areaAddr;
  sim.Exchange(MsgAppBackupStart, U32Payload(app));
  auto replies = sim.Exchange(MsgAppBackupAck, ReadBackAckPayload(false));
  ASSERT_EQ(DecodeReadBackShort(replies.at(0).payload)->blockNumber, 1);
  // Block 2 went wrong on the line: the PC names the last good block.
  sim.SendRaw(ResendRequestFrame(MsgAppBackupBlock, app, 11, 1));
  replies = sim.Run();
  ASSERT_THAT(Ids(replies), ElementsAre(MsgAppBackupBlock));
  EXPECT_EQ(DecodeReadBackShort(replies[0].payload)->blockNumber, 1);
  replies = sim.Exchange(MsgAppBackupAck, ReadBackAckPayload(false));
  ASSERT_THAT(Ids(replies), ElementsAre(MsgAppBackupBlock, MsgAppBackupBlock));
  EXPECT_EQ(replies[0].payload, replies[1].payload) << "block 2 sent twice";
  EXPECT_EQ(DecodeReadBackShort(replies[0].payload)->blockNumber, 2);
}

TEST(ParaReadBack, EveryAreaHeaderBlockThenData) {
  SimHarness sim;
  const Device& d = sim.terminal->device();
  for (std::size_t i = 0; i < d.para.size(); ++i) {
    std::vector<Bytes> keep;
    const std::uint16_t start = i % 2 == 0 ? MsgParaBackupStart : MsgParaBackupStartEx;
    const Bytes request =
        i % 2 == 0 ? U32PairPayload(d.areas[i].areaAddr, d.areas[i].areaLen)
                   : U32TriplePayload(d.areas[i].areaAddr, d.areas[i].areaLen, d.areas[i].areaArg);
    const auto blocks = ReadAll(sim, start, request, MsgParaBackupAck, keep);
    ASSERT_FALSE(blocks.empty());
    EXPECT_EQ(blocks[0].length, 512);
    EXPECT_EQ(blocks[0].address, d.areas[i].areaAddr);
    EXPECT_EQ(blocks.size(), 1 + (DefaultParaDataSize(i) + 4095) / 4096);
    EXPECT_EQ(Join(blocks, 0), d.para[i].primary.bytes) << "area " << i;
  }
}

TEST(ParaReadBack, NextAreaWithoutAcknowledgingTheLast) {
  SimHarness sim;
  const Device& d = sim.terminal->device();
  auto replies =
      sim.Exchange(MsgParaBackupStart, U32PairPayload(d.areas[0].areaAddr, d.areas[0].areaLen));
  while (DecodeReadBackLong(replies.at(0).payload)->blockNumber + 1 <
         DecodeReadBackLong(replies.at(0).payload)->blockCount) {
    replies = sim.Exchange(MsgParaBackupAck, ReadBackAckPayload(false));
  }
  replies =
      sim.Exchange(MsgParaBackupStart, U32PairPayload(d.areas[1].areaAddr, d.areas[1].areaLen));
  ASSERT_THAT(Ids(replies), ElementsAre(MsgParaBackupBlock));
  EXPECT_EQ(DecodeReadBackLong(replies[0].payload)->address, d.areas[1].areaAddr);
  EXPECT_EQ(DecodeReadBackLong(replies[0].payload)->blockNumber, 0);
}

TEST(ParaReadBack, ErrorReplies) {
  SimHarness sim;
  const Device& d = sim.terminal->device();
  auto replies = sim.Exchange(MsgParaBackupStart, U32PairPayload(0x1000, d.areas[0].areaLen));
  ASSERT_THAT(Ids(replies), ElementsAre(MsgParaUploadErr));
  EXPECT_EQ(replies[0].Status(), 0) << "address error";
  replies = sim.Exchange(MsgParaBackupStart, U32PairPayload(d.areas[0].areaAddr, 0x20));
  ASSERT_THAT(Ids(replies), ElementsAre(MsgParaUploadErr));
  EXPECT_EQ(replies[0].Status(), 1) << "length error";
  PutU16(sim.terminal->mutableDevice().para[2].primary.bytes.data(), 0xFFFF);
  EXPECT_THAT(Ids(sim.Exchange(MsgParaBackupStart,
                               U32PairPayload(d.areas[2].areaAddr, d.areas[2].areaLen))),
              ElementsAre(MsgParaIntegErr));
}

TEST(ParaReadBack, FaultsOnTheNthStart) {
  Faults f;
  std::string error;
  ASSERT_TRUE(SetFault(f, "ParaIntegErr", "0#2", error));
  ASSERT_TRUE(SetFault(f, "ParaUploadErr", "1#3", error));
  SimHarness sim(MakeDevice({}), TestBehaviour(), f);
  const Device& d = sim.terminal->device();
  const Bytes request = U32PairPayload(d.areas[0].areaAddr, d.areas[0].areaLen);
  EXPECT_THAT(Ids(sim.Exchange(MsgParaBackupStart, request)), ElementsAre(MsgParaBackupBlock));
  EXPECT_THAT(Ids(sim.Exchange(MsgParaBackupStart, request)), ElementsAre(MsgParaIntegErr));
  const auto replies = sim.Exchange(MsgParaBackupStartEx, request);
  ASSERT_THAT(Ids(replies), ElementsAre(MsgParaUploadErr));
  EXPECT_EQ(replies[0].Status(), 1);
  EXPECT_THAT(Ids(sim.Exchange(MsgParaBackupStart, request)), ElementsAre(MsgParaBackupBlock));
}

TEST(ParaReadBack, CrcErrorOnEveryBlockOfOneReply) {
  Faults f;
  f.crcErrorReply = {true, MsgParaBackupBlock, 0};
  SimHarness sim(MakeDevice({}), TestBehaviour(), f);
  const Device& d = sim.terminal->device();
  auto replies =
      sim.Exchange(MsgParaBackupStart, U32PairPayload(d.areas[0].areaAddr, d.areas[0].areaLen));
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_FALSE(replies[0].crcOk);
  sim.SendRaw(ResendRequestFrame(MsgParaBackupBlock, d.areas[0].areaAddr, 2, 0));
  replies = sim.Run();
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_FALSE(replies[0].crcOk);
  // Other replies are not touched.
  EXPECT_TRUE(sim.Exchange(MsgLinkQuery).at(0).crcOk);
}

TEST(ReadBack, StrayAcknowledgementsAreIgnored) {
  SimHarness sim;
  EXPECT_TRUE(sim.Exchange(MsgAppBackupAck, ReadBackAckPayload(false)).empty());
  EXPECT_TRUE(sim.Exchange(MsgFlashReadAck).empty());
  sim.SendRaw(ResendRequestFrame(MsgAppBackupBlock, 0, 3, 1));
  EXPECT_TRUE(sim.Run().empty());
}

}  // namespace
}  // namespace tavro::sim::testing

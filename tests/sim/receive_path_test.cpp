// The terminal's receive path: sync, Length, address words, CRC, cut-off
// frames.

#include <gtest/gtest.h>

#include "sim_harness.hpp"

namespace tavro::sim::testing {
namespace {

using namespace link;
using ::testing::ElementsAre;

TEST(ReceivePath, BadCrcIsAnsweredWithHello) {
  SimHarness sim;
  Bytes frame = BuildFrame(MsgLinkQuery, {});
  frame[15] ^= 0x01;
  sim.SendRaw(frame);
  EXPECT_THAT(Ids(sim.Run()), ElementsAre(MsgHello));
}

TEST(ReceivePath, FrameInThePcsOwnDirectionIsDropped) {
  SimHarness sim;
  sim.SendRaw(BuildTerminalFrame(MsgLinkQuery, {}));
  EXPECT_TRUE(sim.Run(1000).empty());
  // The receive path is back in step for the next frame.
  EXPECT_THAT(Ids(sim.Exchange(MsgLinkQuery)), ElementsAre(MsgLinkQueryReply));
}

TEST(ReceivePath, NoiseBeforeTheFrameIsSkipped) {
  SimHarness sim;
  sim.SendRaw({0x00, 0x5F, 0x41, 0x13});
  EXPECT_THAT(Ids(sim.Exchange(MsgLinkQuery)), ElementsAre(MsgLinkQueryReply));
}

TEST(ReceivePath, ShortOrHugeLengthRestartsTheHunt) {
  SimHarness sim;
  sim.SendRaw({0x5F, 0x5F, 0x0B, 0x00});  // shorter than a frame without payload
  EXPECT_THAT(Ids(sim.Exchange(MsgLinkQuery)), ElementsAre(MsgLinkQueryReply));
  sim.SendRaw({0x5F, 0x5F, 0xF0, 0xFF});  // longer than any frame the terminal holds
  EXPECT_THAT(Ids(sim.Exchange(MsgLinkQuery)), ElementsAre(MsgLinkQueryReply));
}

TEST(ReceivePath, PayloadSizeComesFromLengthNotDataLen) {
  SimHarness sim(MakeDevice({}), TestBehaviour());
  // DataLen claims far more than the frame holds: the frame is still read by
  // its Length and nothing is read past it.
  Bytes frame = BuildFrameWithDataLen(
      MsgFlashRead, U32PairPayload(sim.terminal->device().areas[0].areaAddr, 64), 0xFFF0);
  sim.SendRaw(frame);
  EXPECT_THAT(Ids(sim.Run()), ElementsAre(MsgFlashReadBlock));
}

TEST(ReceivePath, CutOffFrameGetsRxTimeoutAfterTheQuietTime) {
  SimHarness sim;
  const Bytes frame = BuildFrame(MsgFlashRead, U32PairPayload(0x18010000, 64));
  sim.SendRaw(Bytes(frame.begin(), frame.begin() + 9));
  EXPECT_TRUE(sim.Run(199).empty());
  const auto replies = sim.Run(10);
  ASSERT_THAT(Ids(replies), ElementsAre(MsgRxTimeout));
  EXPECT_TRUE(replies[0].payload.empty());
  // The next whole frame is received normally.
  EXPECT_THAT(Ids(sim.Exchange(MsgLinkQuery)), ElementsAre(MsgLinkQueryReply));
}

TEST(ReceivePath, SlowButSteadyFrameIsNotCutOff) {
  SimHarness sim;
  const Bytes frame = BuildFrame(MsgLinkQuery, {});
  for (std::size_t i = 0; i + 1 < frame.size(); ++i) {
    sim.terminal->OnByte(frame[i]);
    EXPECT_TRUE(sim.Run(150).empty()) << "after byte " << i;
  }
  sim.terminal->OnByte(frame.back());
  EXPECT_THAT(Ids(sim.Run()), ElementsAre(MsgLinkQueryReply));
}

TEST(ReceivePath, StraySyncByteCostsTheNextFrame) {
  SimHarness sim;
  // 5F then the frame's own 5F 5F: the second of them is read as Length.
  sim.SendRaw({0x5F});
  sim.Send(MsgLinkQuery);
  EXPECT_THAT(Ids(sim.Run(1000)), ElementsAre(MsgRxTimeout));
}

TEST(ReceivePath, FaultCanBreakTheCrcOfTheNthReply) {
  Faults f;
  f.crcErrorReply = {true, 0, 2};
  SimHarness sim(MakeDevice({}), TestBehaviour(), f);
  auto first = sim.Exchange(MsgLinkQuery);
  auto second = sim.Exchange(MsgLinkQuery);
  auto third = sim.Exchange(MsgLinkQuery);
  ASSERT_EQ(first.size(), 1u);
  ASSERT_EQ(second.size(), 1u);
  ASSERT_EQ(third.size(), 1u);
  EXPECT_TRUE(first[0].crcOk);
  EXPECT_FALSE(second[0].crcOk);
  EXPECT_TRUE(third[0].crcOk);
}

}  // namespace
}  // namespace tavro::sim::testing

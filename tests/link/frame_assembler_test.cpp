#include "link/frame_assembler.hpp"

#include <gtest/gtest.h>

#include "link/messages.hpp"
#include "link/payloads.hpp"

namespace tavro::link {
namespace {

using Result = FrameAssembler::Result;

// Pushes bytes and returns the result of the last one.
Result PushAll(FrameAssembler& a, ByteView bytes) {
  Result last = Result::kPending;
  for (std::uint8_t b : bytes)
    last = a.Push(b);
  return last;
}

TEST(FrameAssembler, NoiseBeforeSyncIsDropped) {
  FrameAssembler a;
  const Bytes frame = BuildTerminalFrame(MsgHello, {});
  Bytes stream = {0x5F, 0x41};
  stream.insert(stream.end(), frame.begin(), frame.end());
  EXPECT_EQ(PushAll(a, stream), Result::kComplete);
  EXPECT_EQ(Bytes(a.Frame().begin(), a.Frame().end()), frame);
  EXPECT_EQ(a.SyncState(), FrameAssembler::kHunting);
}

TEST(FrameAssembler, ShortLengthAbandonedAtFourthByte) {
  FrameAssembler a;
  EXPECT_EQ(PushAll(a, Bytes{0x5F, 0x5F, 0x09, 0x00}), Result::kPending);
  EXPECT_EQ(a.SyncState(), FrameAssembler::kHunting);
  EXPECT_EQ(a.StoredCount(), 0u);
  // Hunting restarts with the very next byte.
  const Bytes frame = BuildTerminalFrame(MsgLinkQueryReply, StatusPayload(3));
  EXPECT_EQ(PushAll(a, frame), Result::kComplete);
}

TEST(FrameAssembler, ThirdSyncByteIsLengthLowByte) {
  FrameAssembler a;
  PushAll(a, Bytes{0x5F, 0x5F, 0x5F, 0x00});
  // Length 0x5F = 95: the frame is complete after 101 bytes.
  EXPECT_EQ(a.SyncState(), FrameAssembler::kInFrame);
  EXPECT_EQ(a.StoredCount(), 4u);
  Bytes rest(97, 0);
  rest[0] = 0x00;  // AddrWord1 low
  rest[1] = 0x64;
  rest[2] = 0x00;
  rest[3] = 0x65;
  for (std::size_t i = 0; i + 1 < rest.size(); ++i)
    EXPECT_EQ(a.Push(rest[i]), Result::kPending);
  EXPECT_EQ(a.Push(rest.back()), Result::kComplete);
  EXPECT_EQ(a.Frame().size(), 101u);
}

TEST(FrameAssembler, PcDirectionAddressWordsAreDropped) {
  FrameAssembler a;
  EXPECT_EQ(PushAll(a, BuildFrame(MsgConnect, {})), Result::kWrongAddress);
  EXPECT_EQ(PushAll(a, BuildTerminalFrame(MsgHello, {})), Result::kComplete);
}

TEST(FrameAssembler, FramesBackToBack) {
  FrameAssembler a;
  const Bytes f1 = BuildTerminalFrame(MsgAppInfo, Bytes(28, 1));
  const Bytes f2 = BuildTerminalFrame(MsgDataInfo, Bytes(12, 2));
  EXPECT_EQ(PushAll(a, f1), Result::kComplete);
  EXPECT_EQ(FrameMsgId(a.Frame()), MsgAppInfo);
  EXPECT_EQ(PushAll(a, f2), Result::kComplete);
  EXPECT_EQ(FrameMsgId(a.Frame()), MsgDataInfo);
}

TEST(FrameAssembler, OverlongFrameWrapsWithoutOverflow) {
  FrameAssembler a;
  // Length 0xFFFF can never complete inside the receive buffer: the count
  // wraps after 8192 bytes and nothing is written outside the buffer.
  PushAll(a, Bytes{0x5F, 0x5F, 0xFF, 0xFF});
  for (int i = 0; i < 3 * 8192; ++i)
    a.Push(0x00);
  EXPECT_LE(a.StoredCount(), kMaxRxFrame);
}

TEST(FrameAssembler, LargestFrameCompletes) {
  FrameAssembler a;
  const Bytes frame = BuildTerminalFrame(MsgParaBackupBlock, Bytes(kMaxRxFrame - 18, 0xA5));
  ASSERT_EQ(frame.size(), kMaxRxFrame);
  EXPECT_EQ(PushAll(a, frame), Result::kComplete);
  EXPECT_EQ(CheckReceivedCrc(a.Frame()), link::CrcCheck::kGood);
}

}  // namespace
}  // namespace tavro::link

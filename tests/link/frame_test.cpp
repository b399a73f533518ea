#include "link/frame.hpp"

#include <gtest/gtest.h>

#include "link/crc.hpp"
#include "link/messages.hpp"
#include "link/payloads.hpp"

namespace tavro::link {
namespace {

Bytes Hex(std::initializer_list<int> values) {
  Bytes out;
  for (int v : values)
    out.push_back(static_cast<std::uint8_t>(v));
  return out;
}

TEST(FrameBuilder, WorkedFramesWithoutPayload) {
  EXPECT_EQ(BuildFrame(MsgReadAppInfo, {}),
            Hex({0x5F, 0x5F, 0x0C, 0x00, 0x00, 0x65, 0x00, 0x64, 0x0A, 0x00, 0xF9, 0x2E, 0x00, 0x00,
                 0x50, 0x80, 0x55, 0xAA}));
  EXPECT_EQ(BuildFrame(MsgConnect, {}),
            Hex({0x5F, 0x5F, 0x0C, 0x00, 0x00, 0x65, 0x00, 0x64, 0x0A, 0x00, 0xF6, 0x2E, 0x00, 0x00,
                 0xA9, 0x32, 0x55, 0xAA}));
}

TEST(FrameBuilder, WorkedE2ReadFrame) {
  EXPECT_EQ(
      BuildFrame(MsgE2Read, E2ReadPayload(0, 32)),
      Hex({0x5F, 0x5F, 0x16, 0x00, 0x00, 0x65, 0x00, 0x64, 0x0A, 0x00, 0x58, 0x2F, 0x0A, 0x00,
           0x00, 0x00, 0x00, 0x00, 0x20, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x57, 0x62, 0x55, 0xAA}));
}

TEST(FrameBuilder, LengthAndDataLenFollowPayload) {
  const Bytes payload(100, 0xAB);
  const Bytes frame = BuildFrame(MsgAppBlock, payload);
  ASSERT_EQ(frame.size(), 118u);
  EXPECT_EQ(GetU16(frame.data() + 2), 112);
  EXPECT_EQ(GetU16(frame.data() + 12), 100);
  EXPECT_EQ(FrameMsgId(frame), MsgAppBlock);
}

TEST(FrameBuilder, TemplateWordsAreCopied) {
  FrameTemplate tpl;
  tpl.reserved = 0x1234;
  const Bytes frame = BuildFrame(MsgConnect, {}, tpl);
  EXPECT_EQ(GetU16(frame.data() + 8), 0x1234);
  EXPECT_EQ(CheckReceivedCrc(frame), link::CrcCheck::kGood) << "CRC covers Reserved as built";
}

TEST(FrameBuilder, ResendRequestDeclaresTenBytes) {
  const Bytes frame = ResendRequestFrame(MsgParaBackupBlock, 0x08010000, 7, 3);
  ASSERT_EQ(frame.size(), 30u);
  EXPECT_EQ(GetU16(frame.data() + 2), 24);
  EXPECT_EQ(GetU16(frame.data() + 12), 10);
  EXPECT_EQ(GetU16(frame.data() + 10), MsgResendRequest);
  EXPECT_EQ(GetU16(frame.data() + 16), MsgParaBackupBlock);
  EXPECT_EQ(GetU32(frame.data() + 18), 0x08010000u);
  EXPECT_EQ(GetU16(frame.data() + 22), 7);
  EXPECT_EQ(GetU16(frame.data() + 24), 3);
  // The CRC covers all 22 bytes from AddrWord1 to the payload's end, not 20.
  EXPECT_EQ(GetU16(frame.data() + 26), ComputeCrc(frame.data() + 4, 22));
  EXPECT_NE(GetU16(frame.data() + 26), ComputeCrc(frame.data() + 4, 20));
  EXPECT_EQ(GetU16(frame.data() + 28), 0xAA55);
}

TEST(ReceivedCrc, WorkedHelloAcceptedWhateverItsTail) {
  Bytes hello = Hex({0x5F, 0x5F, 0x0C, 0x00, 0x00, 0x64, 0x00, 0x65, 0x0A, 0x00, 0xE5, 0x2E, 0x00,
                     0x00, 0xED, 0x06, 0x12, 0x34});
  EXPECT_EQ(CheckReceivedCrc(hello), link::CrcCheck::kGood);
  EXPECT_EQ(BuildTerminalFrame(MsgHello, {}).size(), 18u);
  hello[15] ^= 1;
  EXPECT_EQ(CheckReceivedCrc(hello), link::CrcCheck::kError);
}

TEST(ReceivedCrc, DataLenPastTheBufferIsAnErrorNotARead) {
  Bytes frame = BuildTerminalFrame(MsgAppInfo, Bytes(28, 1));
  PutU16(frame.data() + 12, 0xFFF0);  // CRC would lie 64 KiB away
  EXPECT_EQ(CheckReceivedCrc(frame), link::CrcCheck::kError);
  PutU16(frame.data() + 12, static_cast<std::uint16_t>(frame.size() - 16 + 1));
  EXPECT_EQ(CheckReceivedCrc(frame), link::CrcCheck::kError);
  EXPECT_EQ(CheckReceivedCrc(ByteView(frame.data(), 10)), CrcCheck::kError);
  FrameView view;
  EXPECT_FALSE(ParseFrame(frame, view));
}

TEST(ReceivedCrc, DataLenBeyondReceiveBufferLimitIsAnError) {
  // A frame the size of the whole receive buffer whose DataLen points past 8192.
  Bytes big(kMaxRxFrame + 16, 0);
  PutU16(big.data() + 12, static_cast<std::uint16_t>(kMaxRxFrame - 14));  // CRC at 8192..8193
  EXPECT_EQ(CheckReceivedCrc(big), link::CrcCheck::kError);
}

TEST(ParseFrame, SplitsFields) {
  const Bytes frame = BuildTerminalFrame(MsgLinkQueryReply, StatusPayload(1));
  FrameView view;
  ASSERT_TRUE(ParseFrame(frame, view));
  EXPECT_EQ(view.addrWord1, 0x6400);
  EXPECT_EQ(view.addrWord2, 0x6500);
  EXPECT_EQ(view.msgId, MsgLinkQueryReply);
  ASSERT_EQ(view.payload.size(), 2u);
  EXPECT_EQ(DecodeLinkQueryReply(view.payload), 1);
}

TEST(Messages, NamesComeFromTheCatalogue) {
  EXPECT_EQ(MessageName(12022), "MsgConnect");
  EXPECT_EQ(MessageName(12131), "MsgE2WriteAck");
  EXPECT_EQ(MessageName(12999), "");
}

}  // namespace
}  // namespace tavro::link

#include "link/payloads.hpp"

#include <gtest/gtest.h>

#include "link/frame.hpp"
#include "link/messages.hpp"

namespace tavro::link {
namespace {

const TimeStamp kStamp{2018, 7, 9, 13, 45, 30};

TEST(BlockBuilders, OddLastBlockPaddedOnlyInFlashWrite) {
  const Bytes image = {1, 2, 3, 4, 5};
  // Last block of one byte at offset 4.
  const Bytes flash = AddressedBlockPayload(0x1000, 2, 1, image, 4, 1, OddChunk::PadToEven);
  ASSERT_EQ(flash.size(), 12u);
  EXPECT_EQ(GetU16(flash.data() + 8), 1) << "length field keeps the true count";
  EXPECT_EQ(flash[10], 5);
  EXPECT_EQ(flash[11], kPadByte) << "no image byte there: the erased value pads";
  EXPECT_EQ(BuildFrame(MsgFlashWriteBlock, flash).size(), 30u);
  EXPECT_EQ(GetU16(BuildFrame(MsgFlashWriteBlock, flash).data() + 12), 12);

  const Bytes e2 = AddressedBlockPayload(0, 2, 1, image, 4, 1, OddChunk::SendAsIs);
  ASSERT_EQ(e2.size(), 11u);
  EXPECT_EQ(GetU16(e2.data() + 8), 1);
}

TEST(BlockBuilders, OddChunkInsideImagePadsWithNextImageByte) {
  const Bytes image = {1, 2, 3, 4, 5};
  const Bytes flash = AddressedBlockPayload(0, 1, 0, image, 0, 3, OddChunk::PadToEven);
  ASSERT_EQ(flash.size(), 14u);
  EXPECT_EQ(flash[13], 4);
}

TEST(BlockBuilders, AddressedBlockNeverReadsPastImage) {
  const Bytes image(10, 7);
  const Bytes block = AddressedBlockPayload(0, 1, 0, image, 8, 4096, OddChunk::PadToEven);
  EXPECT_EQ(GetU16(block.data() + 8), 2);
  EXPECT_EQ(block.size(), 12u);
  const Bytes beyond = AddressedBlockPayload(0, 1, 0, image, 50, 4, OddChunk::SendAsIs);
  EXPECT_EQ(beyond.size(), 10u);
}

TEST(BlockBuilders, FullBlockFrameSizes) {
  const Bytes chunk(kBlockSize, 0x11);
  EXPECT_EQ(BuildFrame(MsgAppBlock, CountedBlockPayload(3, 1, chunk)).size(), 4120u);
  EXPECT_EQ(BuildFrame(MsgParaBlock, AreaBlockPayload(1, 2, 3, 1, chunk)).size(), 4128u);
  const Bytes image(kBlockSize, 0);
  const Bytes e2 = BuildFrame(
      MsgE2WriteBlock, AddressedBlockPayload(0, 16, 0, image, 0, kBlockSize, OddChunk::SendAsIs));
  EXPECT_EQ(e2.size(), 4124u);
  EXPECT_EQ(GetU16(e2.data() + 2), 0x1016);
  EXPECT_EQ(GetU16(e2.data() + 12), 0x100A);
}

TEST(BlockBuilders, AreaBlockFields) {
  const Bytes chunk = {9, 8, 7};
  const Bytes p = AreaBlockPayload(0x08040000, 0x2000, 5, 2, chunk);
  ASSERT_EQ(p.size(), 17u);
  EXPECT_EQ(GetU32(p.data()), 0x08040000u);
  EXPECT_EQ(GetU32(p.data() + 4), 0x2000u);
  EXPECT_EQ(GetU16(p.data() + 8), 5);
  EXPECT_EQ(GetU16(p.data() + 10), 2);
  EXPECT_EQ(GetU16(p.data() + 12), 3);
  EXPECT_EQ(p[14], 9);
}

TEST(DescriptorBlock, AppDescriptorFields) {
  const Bytes chunk = AppDescriptorChunk(123456, kStamp);
  ASSERT_EQ(chunk.size(), kBlockSize);
  EXPECT_EQ(GetU16(chunk.data()), 0xFFFF);
  EXPECT_EQ(GetU32(chunk.data() + 2), 123456u);
  for (int i = 6; i < 36; ++i)
    EXPECT_EQ(chunk[i], 0) << i;
  EXPECT_EQ(GetU16(chunk.data() + 36), 2018);
  EXPECT_EQ(chunk[38], 7);
  EXPECT_EQ(chunk[39], 9);
  EXPECT_EQ(chunk[40], 13);
  EXPECT_EQ(chunk[41], 45);
  EXPECT_EQ(chunk[42], 30);
  EXPECT_EQ(chunk[43], 0xFF);
  for (std::size_t i = 44; i < chunk.size(); ++i)
    ASSERT_EQ(chunk[i], 0) << i;
}

TEST(DescriptorBlock, UnreadableClockGivesZeroDateAndFFTime) {
  const Bytes chunk = AppDescriptorChunk(1, kUnreadableTime);
  EXPECT_EQ(GetU16(chunk.data() + 36), 0);
  EXPECT_EQ(chunk[38], 0);
  EXPECT_EQ(chunk[39], 0);
  EXPECT_EQ(chunk[40], 0xFF);
  EXPECT_EQ(chunk[41], 0xFF);
  EXPECT_EQ(chunk[42], 0xFF);
}

TEST(DescriptorBlock, ParaHeaderChunkStampsACopy) {
  Bytes image(512 + 5000, 0x5A);
  const auto chunk = ParaHeaderChunk(image, kStamp);
  ASSERT_TRUE(chunk.has_value());
  ASSERT_EQ(chunk->size(), 512u);
  EXPECT_EQ(GetU16(chunk->data()), 0xFFFF);
  EXPECT_EQ(GetU32(chunk->data() + 2), 5000u);
  EXPECT_EQ(chunk->at(6), 0x5A) << "version and the rest of the header are the image's";
  EXPECT_EQ(GetU16(chunk->data() + 56), 2018);
  EXPECT_EQ(chunk->at(62), 30);
  EXPECT_EQ(chunk->at(63), 0xFF);
  EXPECT_EQ(chunk->at(64), 0x5A);
  EXPECT_EQ(image[0], 0x5A) << "the image itself is untouched";
  // The header block's frame declares Length 538 and DataLen 526 (544 bytes on the wire).
  const Bytes frame = BuildFrame(MsgParaBlock, AreaBlockPayload(0, 0, 1, 0, *chunk));
  EXPECT_EQ(GetU16(frame.data() + 2), 538);
  EXPECT_EQ(GetU16(frame.data() + 12), 526);
  EXPECT_EQ(frame.size(), 544u);
}

TEST(DescriptorBlock, ParaHeaderRefusesImageShorterThanHeader) {
  EXPECT_FALSE(ParaHeaderChunk(Bytes(511, 0), kStamp).has_value());
  EXPECT_EQ(GetU32(ParaHeaderChunk(Bytes(512, 0), kStamp)->data() + 2), 0u);
}

TEST(SmallPayloads, ReadBackAckAndRequests) {
  EXPECT_EQ(ReadBackAckPayload(true), (Bytes{0, 0}));
  EXPECT_EQ(ReadBackAckPayload(false), (Bytes{1, 0}));
  EXPECT_EQ(BuildFrame(MsgAppDownloadStart, U32Payload(0x08020000)).size(), 22u);
  EXPECT_EQ(U32TriplePayload(1, 2, 3).size(), 12u);
  EXPECT_EQ(GetU32(U32TriplePayload(1, 2, 3).data() + 8), 3u);
  const Bytes marker = FlashMarkerImage();
  ASSERT_EQ(marker.size(), 44u);
  EXPECT_EQ(marker[0], 0xFF);
  EXPECT_EQ(marker[1], 0xFF);
  EXPECT_EQ(marker[2], 0);
  EXPECT_EQ(marker[43], 0);
}

TEST(Decoders, ShortPayloadsAreRefused) {
  EXPECT_FALSE(DecodeStatusWord(Bytes{1}).has_value());
  EXPECT_FALSE(DecodeBlHello(Bytes(10, 0)).has_value());
  EXPECT_FALSE(DecodeAppInfo(Bytes(27, 0)).has_value());
  EXPECT_FALSE(DecodeDataInfo(Bytes(11, 0)).has_value());
  EXPECT_FALSE(DecodeLinkQueryReply(Bytes{}).has_value());
  EXPECT_FALSE(DecodeReadBackShort(Bytes(5, 0)).has_value());
  EXPECT_FALSE(DecodeReadBackLong(Bytes(9, 0)).has_value());
}

TEST(Decoders, ReadBackLengthBeyondPayloadIsRefused) {
  Bytes payload = EncodeReadBackLong(0x100, 2, 0, Bytes(64, 3));
  EXPECT_TRUE(DecodeReadBackLong(payload).has_value());
  PutU16(payload.data() + 8, 65);
  EXPECT_FALSE(DecodeReadBackLong(payload).has_value());

  Bytes shortForm = EncodeReadBackShort(4, 1, Bytes(10, 9));
  const auto block = DecodeReadBackShort(shortForm);
  ASSERT_TRUE(block.has_value());
  EXPECT_EQ(block->blockCount, 4);
  EXPECT_EQ(block->blockNumber, 1);
  EXPECT_EQ(block->data.size(), 10u);
  PutU16(shortForm.data() + 4, 11);
  EXPECT_FALSE(DecodeReadBackShort(shortForm).has_value());
}

TEST(Decoders, RoundTripOfTerminalPayloads) {
  BlHello hello{{'A', 'B', 'C', 'D'}, {'1', '2', '3', '4'}, 0x0215, 0xFF};
  const auto h = DecodeBlHello(EncodeBlHello(hello));
  ASSERT_TRUE(h.has_value());
  EXPECT_EQ(h->blVersion, 0x0215);
  EXPECT_EQ(h->sizeCode, 0xFF);
  EXPECT_EQ(h->companyNum[3], '4');

  AppInfo info;
  info.current = {1, 0x01020304, {'T', 'V', '1'}};
  info.backup = {0, 0x00000001, {}};
  const auto a = DecodeAppInfo(EncodeAppInfo(info));
  ASSERT_TRUE(a.has_value());
  EXPECT_EQ(a->current.version, 0x01020304u);
  EXPECT_EQ(a->current.model[2], '1');
  EXPECT_EQ(a->backup.present, 0);

  const auto d = DecodeDataInfo(EncodeDataInfo({0x00000230, {'M'}}));
  ASSERT_TRUE(d.has_value());
  EXPECT_EQ(d->version, 0x230u);
}

}  // namespace
}  // namespace tavro::link

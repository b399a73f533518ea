// The frame and payload layer on arbitrary bytes: every payload decoder, the
// frame split and the CRC check on the input as it is, the frame assembler on
// the input as a received byte stream, and the builders whose output the
// decoders and the assembler must take back unchanged.

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "fuzz_support.hpp"
#include "link/crc.hpp"
#include "link/frame.hpp"
#include "link/frame_assembler.hpp"
#include "link/payloads.hpp"

namespace {

using namespace tavro::link;

Bytes Prefix(ByteView in, std::size_t n) {
  return Bytes(in.begin(), in.begin() + static_cast<std::ptrdiff_t>(n));
}

// A decoder takes exactly the bytes its layout names and gives them back
// through the matching encoder; it refuses only what is too short.
void CheckDecoders(ByteView in) {
  const std::size_t n = in.size();

  const auto status = DecodeStatusWord(in);
  FUZZ_CHECK(status.has_value() == (n >= 2));
  if (status)
    FUZZ_CHECK(StatusPayload(*status) == Prefix(in, 2));
  FUZZ_CHECK(DecodeLinkQueryReply(in) == status);

  const auto hello = DecodeBlHello(in);
  FUZZ_CHECK(hello.has_value() == (n >= kBlHelloSize));
  if (hello)
    FUZZ_CHECK(EncodeBlHello(*hello) == Prefix(in, kBlHelloSize));

  const auto app = DecodeAppInfo(in);
  FUZZ_CHECK(app.has_value() == (n >= kAppInfoSize));
  if (app)
    FUZZ_CHECK(EncodeAppInfo(*app) == Prefix(in, kAppInfoSize));

  const auto data = DecodeDataInfo(in);
  FUZZ_CHECK(data.has_value() == (n >= kDataInfoSize));
  if (data)
    FUZZ_CHECK(EncodeDataInfo(*data) == Prefix(in, kDataInfoSize));

  // Read-back blocks: the data must be the announced bytes, inside the input.
  const auto fits = [&](std::size_t header) {
    return n >= header + 6 && n - header - 6 >= GetU16(in.data() + header + 4);
  };
  const auto shortBlock = DecodeReadBackShort(in);
  FUZZ_CHECK(shortBlock.has_value() == fits(0));
  if (shortBlock) {
    FUZZ_CHECK(shortBlock->data.data() == in.data() + 6);
    FUZZ_CHECK(shortBlock->data.size() == shortBlock->length);
    FUZZ_CHECK(EncodeReadBackShort(shortBlock->blockCount, shortBlock->blockNumber,
                                   shortBlock->data) == Prefix(in, 6 + shortBlock->length));
  }
  const auto longBlock = DecodeReadBackLong(in);
  FUZZ_CHECK(longBlock.has_value() == fits(4));
  if (longBlock) {
    FUZZ_CHECK(longBlock->data.data() == in.data() + 10);
    FUZZ_CHECK(longBlock->data.size() == longBlock->length);
    FUZZ_CHECK(EncodeReadBackLong(longBlock->address, longBlock->blockCount, longBlock->blockNumber,
                                  longBlock->data) == Prefix(in, 10 + longBlock->length));
  }
}

// A frame the receive path would accept: the CRC check passes only when the
// CRC lies inside the bytes, and then the split gives a payload inside too.
void CheckReceivedFrame(ByteView frame) {
  const bool crcError = CheckReceivedCrc(frame) == CrcCheck::kError;
  FrameView view;
  const bool parsed = ParseFrame(frame, view);
  if (parsed) {
    FUZZ_CHECK(view.payload.size() == view.dataLen);
    FUZZ_CHECK(view.payload.data() == frame.data() + kPayloadOffset);
    FUZZ_CHECK(kPayloadOffset + view.dataLen + 2 <= frame.size());
    FUZZ_CHECK(view.msgId == FrameMsgId(frame));
  }
  if (!crcError) {
    FUZZ_CHECK(parsed);
    FUZZ_CHECK(ComputeCrc(frame.data() + 4, static_cast<long>(10 + view.dataLen)) ==
               GetU16(frame.data() + kPayloadOffset + view.dataLen));
  }
}

void CheckAssembler(ByteView stream) {
  FrameAssembler rx;
  for (std::uint8_t byte : stream) {
    const FrameAssembler::Result result = rx.Push(byte);
    FUZZ_CHECK(rx.StoredCount() <= kMaxRxFrame);
    if (result == FrameAssembler::Result::kPending)
      continue;
    const ByteView frame = rx.Frame();
    FUZZ_CHECK(frame.size() >= 16 && frame.size() <= kMaxRxFrame);
    FUZZ_CHECK(frame.size() == std::size_t{GetU16(frame.data() + 2)} + 6);
    if (result == FrameAssembler::Result::kComplete) {
      FUZZ_CHECK(GetU16(frame.data() + 4) == kPcAddrWord2);
      FUZZ_CHECK(GetU16(frame.data() + 6) == kPcAddrWord1);
      CheckReceivedFrame(frame);
    }
  }
}

// Frames built here come back through the assembler whole, at their last
// byte, with a good CRC and the same id and payload.
void CheckBuiltFrames(std::uint16_t msgId, ByteView payload) {
  payload = payload.first(std::min(payload.size(), kMaxRxFrame - kFrameOverhead));
  const Bytes terminal = BuildTerminalFrame(msgId, payload);
  FrameAssembler rx;
  for (std::size_t i = 0; i < terminal.size(); ++i) {
    const FrameAssembler::Result result = rx.Push(terminal[i]);
    const bool last = i + 1 == terminal.size();
    FUZZ_CHECK((result == FrameAssembler::Result::kComplete) == last);
  }
  const ByteView frame = rx.Frame();
  FUZZ_CHECK(CheckReceivedCrc(frame) == CrcCheck::kGood);
  FrameView view;
  FUZZ_CHECK(ParseFrame(frame, view));
  FUZZ_CHECK(view.msgId == msgId);
  FUZZ_CHECK(std::equal(view.payload.begin(), view.payload.end(), payload.begin(), payload.end()));

  // The PC's own frames are not addressed to the PC.
  const Bytes sent = BuildFrame(msgId, payload);
  FrameAssembler own;
  FrameAssembler::Result result = FrameAssembler::Result::kPending;
  for (std::uint8_t b : sent)
    result = own.Push(b);
  FUZZ_CHECK(result == FrameAssembler::Result::kWrongAddress);
}

void CheckBlockBuilders(tavro::fuzz::Input& params, ByteView image) {
  const std::uint32_t address = params.U32();
  const std::uint16_t sum = params.U16();
  const std::uint16_t num = params.U16();
  const std::size_t offset = params.U16();
  const std::size_t length = params.U16();
  const OddChunk odd = (params.Byte() & 1) != 0 ? OddChunk::PadToEven : OddChunk::SendAsIs;
  const Bytes block = AddressedBlockPayload(address, sum, num, image, offset, length, odd);
  const std::size_t start = std::min(offset, image.size());
  const std::size_t taken = std::min(length, image.size() - start);
  const std::size_t pad = odd == OddChunk::PadToEven && taken % 2 != 0 ? 1 : 0;
  FUZZ_CHECK(block.size() == 10 + taken + pad);
  FUZZ_CHECK(GetU16(block.data() + 8) == static_cast<std::uint16_t>(taken));
  FUZZ_CHECK(std::equal(block.begin() + 10, block.begin() + 10 + static_cast<std::ptrdiff_t>(taken),
                        image.begin() + static_cast<std::ptrdiff_t>(start)));
  if (pad != 0) {
    const std::size_t next = start + taken;
    FUZZ_CHECK(block.back() == (next < image.size() ? image[next] : kPadByte));
  }

  const TimeStamp when{};
  const auto header = ParaHeaderChunk(image, when);
  FUZZ_CHECK(header.has_value() == (image.size() >= kParaHeaderBlockSize));
  if (header) {
    FUZZ_CHECK(header->size() == kParaHeaderBlockSize);
    FUZZ_CHECK(GetU32(header->data() + 2) == image.size() - kParaHeaderBlockSize);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const ByteView in(data, size);
  CheckDecoders(in);
  CheckReceivedFrame(in);
  CheckAssembler(in);

  tavro::fuzz::Input params(data, size);
  const std::uint16_t msgId = params.U16();
  CheckBuiltFrames(msgId, params.Rest());
  tavro::fuzz::Input blockParams(data, size);
  CheckBlockBuilders(blockParams, in);
  return 0;
}

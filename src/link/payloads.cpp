#include "link/payloads.hpp"

#include <algorithm>
#include <cstring>

#include "link/frame.hpp"
#include "link/messages.hpp"

namespace tavro::link {
namespace {

void PutStamp(std::uint8_t* p, const TimeStamp& t) {
  PutU16(p, t.year);
  p[2] = t.month;
  p[3] = t.day;
  p[4] = t.hour;
  p[5] = t.minute;
  p[6] = t.second;
}

template <std::size_t N>
void CopyChars(std::array<char, N>& out, const std::uint8_t* p) {
  std::memcpy(out.data(), p, N);
}

template <std::size_t N>
void AppendChars(Bytes& out, const std::array<char, N>& chars) {
  for (char c : chars)
    out.push_back(static_cast<std::uint8_t>(c));
}

void AppendBlockHeader(Bytes& out, std::uint16_t sum, std::uint16_t num, std::size_t len) {
  AppendU16(out, sum);
  AppendU16(out, num);
  AppendU16(out, static_cast<std::uint16_t>(len));
}

std::optional<ReadBackBlock> DecodeBlockAt(ByteView payload, std::size_t headerOffset) {
  if (payload.size() < headerOffset + 6)
    return std::nullopt;
  ReadBackBlock block;
  const std::uint8_t* p = payload.data() + headerOffset;
  block.blockCount = GetU16(p);
  block.blockNumber = GetU16(p + 2);
  block.length = GetU16(p + 4);
  const std::size_t dataOffset = headerOffset + 6;
  if (payload.size() - dataOffset < block.length)
    return std::nullopt;
  block.data = payload.subspan(dataOffset, block.length);
  return block;
}

}  // namespace

Bytes CountedBlockPayload(std::uint16_t frameSum, std::uint16_t frameNum, ByteView chunk) {
  Bytes out;
  out.reserve(6 + chunk.size());
  AppendBlockHeader(out, frameSum, frameNum, chunk.size());
  out.insert(out.end(), chunk.begin(), chunk.end());
  return out;
}

Bytes AddressedBlockPayload(std::uint32_t address, std::uint16_t frameSum, std::uint16_t frameNum,
                            ByteView image, std::size_t offset, std::size_t length, OddChunk odd) {
  offset = std::min(offset, image.size());
  length = std::min(length, image.size() - offset);
  Bytes out;
  out.reserve(10 + length + 1);
  AppendU32(out, address);
  AppendBlockHeader(out, frameSum, frameNum, length);
  const auto chunk = image.subspan(offset, length);
  out.insert(out.end(), chunk.begin(), chunk.end());
  if (odd == OddChunk::PadToEven && (length % 2) != 0) {
    const std::size_t next = offset + length;
    out.push_back(next < image.size() ? image[next] : kPadByte);
  }
  return out;
}

Bytes AreaBlockPayload(std::uint32_t areaAddr, std::uint32_t areaLen, std::uint16_t frameSum,
                       std::uint16_t frameNum, ByteView chunk) {
  Bytes out;
  out.reserve(14 + chunk.size());
  AppendU32(out, areaAddr);
  AppendU32(out, areaLen);
  AppendBlockHeader(out, frameSum, frameNum, chunk.size());
  out.insert(out.end(), chunk.begin(), chunk.end());
  return out;
}

Bytes AppDescriptorChunk(std::uint32_t appFileLength, const TimeStamp& when) {
  Bytes chunk(kBlockSize, 0);
  PutU16(chunk.data(), 0xFFFF);
  PutU32(chunk.data() + 2, appFileLength);
  PutStamp(chunk.data() + 36, when);
  chunk[43] = 0xFF;
  return chunk;
}

std::optional<Bytes> ParaHeaderChunk(ByteView image, const TimeStamp& when) {
  if (image.size() < kParaHeaderBlockSize)
    return std::nullopt;
  Bytes chunk(image.begin(), image.begin() + kParaHeaderBlockSize);
  PutU16(chunk.data(), 0xFFFF);
  PutU32(chunk.data() + 2, static_cast<std::uint32_t>(image.size() - kParaHeaderBlockSize));
  PutStamp(chunk.data() + 56, when);
  chunk[63] = 0xFF;
  return chunk;
}

Bytes ReadBackAckPayload(bool lastBlock) {
  return StatusPayload(lastBlock ? 0 : 1);
}

Bytes ResendRequestPayload(std::uint16_t readMsgId, std::uint32_t address, std::uint16_t frameSum,
                           std::uint16_t frameNum) {
  Bytes out;
  out.reserve(12);
  AppendU16(out, 0);
  AppendU16(out, readMsgId);
  AppendU32(out, address);
  AppendU16(out, frameSum);
  AppendU16(out, frameNum);
  return out;
}

Bytes ResendRequestFrame(std::uint16_t readMsgId, std::uint32_t address, std::uint16_t frameSum,
                         std::uint16_t frameNum) {
  return BuildFrameWithDataLen(MsgResendRequest,
                               ResendRequestPayload(readMsgId, address, frameSum, frameNum),
                               kResendRequestDataLen);
}

Bytes U32Payload(std::uint32_t a) {
  Bytes out;
  AppendU32(out, a);
  return out;
}

Bytes U32PairPayload(std::uint32_t a, std::uint32_t b) {
  Bytes out = U32Payload(a);
  AppendU32(out, b);
  return out;
}

Bytes U32TriplePayload(std::uint32_t a, std::uint32_t b, std::uint32_t c) {
  Bytes out = U32PairPayload(a, b);
  AppendU32(out, c);
  return out;
}

Bytes E2ReadPayload(std::uint32_t address, std::uint32_t length) {
  Bytes out = U32PairPayload(address, length);
  AppendU16(out, 0xFFFF);
  return out;
}

Bytes StatusPayload(std::uint16_t status) {
  Bytes out;
  AppendU16(out, status);
  return out;
}

Bytes FlashMarkerImage() {
  Bytes image(kFlashMarkerSize, 0);
  image[0] = 0xFF;
  image[1] = 0xFF;
  return image;
}

std::optional<std::uint16_t> DecodeStatusWord(ByteView payload) {
  return ReadU16(payload, 0);
}

std::optional<ReadBackBlock> DecodeReadBackShort(ByteView payload) {
  return DecodeBlockAt(payload, 0);
}

std::optional<ReadBackBlock> DecodeReadBackLong(ByteView payload) {
  auto block = DecodeBlockAt(payload, 4);
  if (block)
    block->address = GetU32(payload.data());
  return block;
}

std::optional<BlHello> DecodeBlHello(ByteView payload) {
  if (payload.size() < kBlHelloSize)
    return std::nullopt;
  BlHello hello;
  CopyChars(hello.chipNum, payload.data());
  CopyChars(hello.companyNum, payload.data() + 4);
  hello.blVersion = GetU16(payload.data() + 8);
  hello.sizeCode = payload[10];
  return hello;
}

std::optional<AppInfo> DecodeAppInfo(ByteView payload) {
  if (payload.size() < kAppInfoSize)
    return std::nullopt;
  AppInfo info;
  AppRecord* records[2] = {&info.current, &info.backup};
  for (int i = 0; i < 2; ++i) {
    const std::uint8_t* p = payload.data() + 14 * i;
    records[i]->present = GetU16(p);
    records[i]->version = GetU32(p + 2);
    CopyChars(records[i]->model, p + 6);
  }
  return info;
}

std::optional<DataInfo> DecodeDataInfo(ByteView payload) {
  if (payload.size() < kDataInfoSize)
    return std::nullopt;
  DataInfo info;
  info.version = GetU32(payload.data());
  CopyChars(info.model, payload.data() + 4);
  return info;
}

std::optional<std::uint16_t> DecodeLinkQueryReply(ByteView payload) {
  return ReadU16(payload, 0);
}

Bytes EncodeBlHello(const BlHello& hello) {
  Bytes out;
  AppendChars(out, hello.chipNum);
  AppendChars(out, hello.companyNum);
  AppendU16(out, hello.blVersion);
  out.push_back(hello.sizeCode);
  return out;
}

Bytes EncodeAppInfo(const AppInfo& info) {
  Bytes out;
  for (const AppRecord* r : {&info.current, &info.backup}) {
    AppendU16(out, r->present);
    AppendU32(out, r->version);
    AppendChars(out, r->model);
  }
  return out;
}

Bytes EncodeDataInfo(const DataInfo& info) {
  Bytes out;
  AppendU32(out, info.version);
  AppendChars(out, info.model);
  return out;
}

Bytes EncodeReadBackShort(std::uint16_t count, std::uint16_t number, ByteView data) {
  return CountedBlockPayload(count, number, data);
}

Bytes EncodeReadBackLong(std::uint32_t address, std::uint16_t count, std::uint16_t number,
                         ByteView data) {
  Bytes out;
  out.reserve(10 + data.size());
  AppendU32(out, address);
  AppendBlockHeader(out, count, number, data.size());
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

}  // namespace tavro::link

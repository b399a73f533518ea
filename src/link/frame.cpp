#include "link/frame.hpp"

#include <algorithm>

#include "link/crc.hpp"

namespace tavro::link {
namespace {

Bytes Assemble(std::uint16_t msgId, ByteView payload, std::uint16_t dataLenField,
               std::uint16_t addr1, std::uint16_t addr2, std::uint16_t reserved,
               std::uint16_t tail) {
  const std::size_t n = payload.size();
  Bytes frame(n + kFrameOverhead);
  std::uint8_t* p = frame.data();
  PutU16(p + 0, 0x5F5F);
  PutU16(p + 2, static_cast<std::uint16_t>(n + 12));
  PutU16(p + 4, addr1);
  PutU16(p + 6, addr2);
  PutU16(p + 8, reserved);
  PutU16(p + 10, msgId);
  PutU16(p + 12, dataLenField);
  std::copy(payload.begin(), payload.end(), p + kPayloadOffset);
  PutU16(p + 14 + n, ComputeCrc(p + 4, static_cast<long>(10 + n)));
  PutU16(p + 16 + n, tail);
  return frame;
}

}  // namespace

Bytes BuildFrame(std::uint16_t msgId, ByteView payload, const FrameTemplate& tpl) {
  return BuildFrameWithDataLen(msgId, payload, static_cast<std::uint16_t>(payload.size()), tpl);
}

Bytes BuildFrameWithDataLen(std::uint16_t msgId, ByteView payload, std::uint16_t dataLenField,
                            const FrameTemplate& tpl) {
  Bytes frame =
      Assemble(msgId, payload, dataLenField, tpl.addrWord1, tpl.addrWord2, tpl.reserved, tpl.tail);
  PutU16(frame.data(), tpl.sync);
  return frame;
}

Bytes BuildTerminalFrame(std::uint16_t msgId, ByteView payload) {
  return Assemble(msgId, payload, static_cast<std::uint16_t>(payload.size()), kPcAddrWord2,
                  kPcAddrWord1, 10, 0xAA55);
}

CrcCheck CheckReceivedCrc(ByteView received) {
  if (received.size() < kPayloadOffset)
    return CrcCheck::kError;
  const std::size_t dataLen = GetU16(received.data() + 12);
  const std::size_t crcEnd = kPayloadOffset + dataLen + 2;
  if (crcEnd > received.size() || crcEnd > kMaxRxFrame)
    return CrcCheck::kError;
  const std::uint16_t computed = ComputeCrc(received.data() + 4, static_cast<long>(10 + dataLen));
  return computed == GetU16(received.data() + kPayloadOffset + dataLen) ? CrcCheck::kGood
                                                                        : CrcCheck::kError;
}

bool ParseFrame(ByteView frame, FrameView& out) {
  if (frame.size() < kPayloadOffset)
    return false;
  const std::uint8_t* p = frame.data();
  const std::size_t dataLen = GetU16(p + 12);
  if (kPayloadOffset + dataLen + 2 > frame.size())
    return false;
  out.addrWord1 = GetU16(p + 4);
  out.addrWord2 = GetU16(p + 6);
  out.msgId = GetU16(p + 10);
  out.dataLen = static_cast<std::uint16_t>(dataLen);
  out.payload = frame.subspan(kPayloadOffset, dataLen);
  return true;
}

std::uint16_t FrameMsgId(ByteView frame) {
  return ReadU16(frame, 10).value_or(0);
}

}  // namespace tavro::link

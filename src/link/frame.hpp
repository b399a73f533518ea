#pragma once
// The binary frame that carries every message between PC and terminal:
//   5F 5F | Length | AddrWord1 | AddrWord2 | Reserved | MsgID | DataLen |
//   payload | CRC-16 over AddrWord1..payload | tail 55 AA

#include <cstddef>
#include <cstdint>

#include "link/byte_order.hpp"

namespace tavro::link {

inline constexpr std::size_t kFrameOverhead = 18;  // frame bytes around the payload
inline constexpr std::size_t kPayloadOffset = 14;
inline constexpr std::size_t kMaxRxFrame = 8192;  // largest frame the receive path holds
inline constexpr std::uint16_t kPcAddrWord1 = 0x6500;
inline constexpr std::uint16_t kPcAddrWord2 = 0x6400;

// The constant words of every frame the PC sends. Filled once at start-up.
struct FrameTemplate {
  std::uint16_t sync = 0x5F5F;
  std::uint16_t length = 12;
  std::uint16_t addrWord1 = kPcAddrWord1;
  std::uint16_t addrWord2 = kPcAddrWord2;
  std::uint16_t reserved = 10;
  std::uint16_t tail = 0xAA55;
};

// Builds a PC-to-terminal frame: Length = N + 12, DataLen = N.
Bytes BuildFrame(std::uint16_t msgId, ByteView payload, const FrameTemplate& tpl = {});

// Same, with an explicit DataLen field (the resend request declares 10 for a
// 12-byte payload; the CRC still covers the whole payload).
Bytes BuildFrameWithDataLen(std::uint16_t msgId, ByteView payload, std::uint16_t dataLenField,
                            const FrameTemplate& tpl = {});

// Builds a terminal-to-PC frame (address words swapped), as the simulator and
// tests need it.
Bytes BuildTerminalFrame(std::uint16_t msgId, ByteView payload);

enum class CrcCheck { kGood, kError };

// Whether the assembled frame passes its CRC. A DataLen that places the CRC
// outside the bytes received (or beyond kMaxRxFrame) counts as a CRC error,
// so nothing is ever read past the frame.
CrcCheck CheckReceivedCrc(ByteView received);

// A frame as the receiver sees it; payload spans DataLen bytes and is only
// produced for frames whose CRC position lies inside the bytes received.
struct FrameView {
  std::uint16_t addrWord1 = 0;
  std::uint16_t addrWord2 = 0;
  std::uint16_t msgId = 0;
  std::uint16_t dataLen = 0;
  ByteView payload;
};

// Splits a complete frame into its fields; false when the buffer is shorter
// than the header or DataLen runs past the CRC position.
bool ParseFrame(ByteView frame, FrameView& out);

// Message id of a frame built by BuildFrame (bytes 10..11), 0 if too short.
std::uint16_t FrameMsgId(ByteView frame);

}  // namespace tavro::link

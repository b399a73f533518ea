#pragma once
// The terminal's receive path: finds the frame start, collects Length + 6
// bytes and checks the address words and the CRC. Lengths from the PC are
// never trusted: the payload size comes from Length, bounded by the largest
// frame the terminal holds, and the CRC is looked for where Length puts it.

#include <cstdint>
#include <functional>

#include "link/byte_order.hpp"

namespace tavro::sim {

// Largest frame the terminal accepts (a full area block is 4128 bytes).
inline constexpr std::size_t kMaxTerminalFrame = 8192;

struct ReceivedFrame {
  std::uint16_t msgId = 0;
  std::uint16_t dataLen = 0;  // as declared; the payload below is what Length gives
  link::ByteView payload;
  link::ByteView raw;  // the whole frame
};

class FrameReceiver {
 public:
  enum class Event { None, Good, BadCrc, WrongAddress };

  // Takes one byte; when it completes a frame the result says what it was
  // and `frame` describes it (valid until the next call).
  Event OnByte(std::uint8_t byte, ReceivedFrame& frame);
  // True from the two sync bytes of a frame until its last byte.
  bool InFrame() const { return sync_ == 0 && !buffer_.empty(); }
  // Forgets a partial frame and hunts for the next frame start.
  void Reset();

 private:
  int sync_ = 0xFF;  // 0xFF hunting, 1 one 0x5F seen, 0 inside a frame
  std::size_t frameLen_ = 0;
  link::Bytes buffer_;
};

}  // namespace tavro::sim

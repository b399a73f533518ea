#include "sim/frame_receiver.hpp"

#include "link/crc.hpp"
#include "link/frame.hpp"

namespace tavro::sim {
namespace {
constexpr std::size_t kMinLength = 12;  // a frame without payload
}

void FrameReceiver::Reset() {
  sync_ = 0xFF;
  frameLen_ = 0;
  buffer_.clear();
}

FrameReceiver::Event FrameReceiver::OnByte(std::uint8_t byte, ReceivedFrame& frame) {
  if (sync_ != 0) {
    if (byte == 0x5F && sync_ == 0xFF) {
      sync_ = 1;
    } else if (byte == 0x5F && sync_ == 1) {
      sync_ = 0;
      buffer_.assign({0x5F, 0x5F});
    } else {
      sync_ = 0xFF;
    }
    return Event::None;
  }
  buffer_.push_back(byte);
  if (buffer_.size() == 4) {
    frameLen_ = link::GetU16(buffer_.data() + 2) + std::size_t{6};
    if (frameLen_ < kMinLength + 6 || frameLen_ > kMaxTerminalFrame) {
      Reset();
      return Event::None;
    }
  }
  if (buffer_.size() < 4 || buffer_.size() < frameLen_)
    return Event::None;

  // Complete: hunt again with the next byte, whatever this frame turns out to be.
  sync_ = 0xFF;
  const std::uint8_t* p = buffer_.data();
  const std::size_t payloadLen = frameLen_ - kMinLength - 6;
  frame.raw = link::ByteView(buffer_.data(), frameLen_);
  frame.msgId = link::GetU16(p + 10);
  frame.dataLen = link::GetU16(p + 12);
  frame.payload = link::ByteView(p + link::kPayloadOffset, payloadLen);
  Event event = Event::Good;
  if (link::GetU16(p + 4) != link::kPcAddrWord1 || link::GetU16(p + 6) != link::kPcAddrWord2) {
    event = Event::WrongAddress;
  } else {
    const std::uint16_t crc = link::ComputeCrc(p + 4, static_cast<long>(10 + payloadLen));
    if (crc != link::GetU16(p + link::kPayloadOffset + payloadLen))
      event = Event::BadCrc;
  }
  // The buffer must outlive this call for `frame`; it is cleared on the next sync.
  return event;
}

}  // namespace tavro::sim

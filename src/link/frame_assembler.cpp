#include "link/frame_assembler.hpp"

namespace tavro::link {

FrameAssembler::Result FrameAssembler::Push(std::uint8_t byte) {
  buffer_[rxLen_] = byte;
  ++rxLen_;
  // More than a whole receive buffer without a frame: start counting again;
  // the sync state is kept.
  if (rxLen_ > kMaxRxFrame)
    rxLen_ = 0;

  if (sync_ != kInFrame) {
    if (sync_ == kHunting && byte == 0x5F) {
      sync_ = kOneSync;
    } else if (sync_ == kOneSync && byte == 0x5F) {
      sync_ = kInFrame;
    } else {
      sync_ = kHunting;
      rxLen_ = 0;
    }
    return Result::kPending;
  }

  if (rxLen_ == 4) {
    frameLen_ = GetU16(buffer_.data() + 2);
    if (frameLen_ < 10) {
      sync_ = kHunting;
      frameLen_ = 0;
      rxLen_ = 0;
      return Result::kPending;
    }
  }
  if (rxLen_ != static_cast<std::uint32_t>(frameLen_) + 6)
    return Result::kPending;

  frameSize_ = rxLen_;
  sync_ = kHunting;
  rxLen_ = 0;
  if (GetU16(buffer_.data() + 4) != 0x6400 || GetU16(buffer_.data() + 6) != 0x6500) {
    return Result::kWrongAddress;
  }
  return Result::kComplete;
}

void FrameAssembler::Reset() {
  sync_ = kHunting;
  rxLen_ = 0;
}

}  // namespace tavro::link

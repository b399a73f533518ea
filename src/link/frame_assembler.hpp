#pragma once
// Turns the received byte stream into frames: hunts for the 5F 5F sync,
// takes Length from the fourth byte, collects Length + 6 bytes and checks the
// address words. CRC checking and what to do with a frame are the caller's.

#include <array>
#include <cstdint>

#include "link/byte_order.hpp"
#include "link/frame.hpp"

namespace tavro::link {

class FrameAssembler {
 public:
  enum class Result {
    kPending,       // byte consumed, no frame yet
    kWrongAddress,  // a frame completed but is not addressed to the PC: dropped silently
    kComplete,      // a frame addressed to the PC completed: see Frame()
  };

  static constexpr std::uint8_t kHunting = 0xFF;
  static constexpr std::uint8_t kOneSync = 1;
  static constexpr std::uint8_t kInFrame = 0;

  Result Push(std::uint8_t byte);

  // The frame that completed last; valid until the next Push.
  ByteView Frame() const { return ByteView(buffer_.data(), frameSize_); }

  // Back to hunting with nothing stored (port opened or closed, link dropped).
  void Reset();

  std::uint8_t SyncState() const { return sync_; }
  std::uint32_t StoredCount() const { return rxLen_; }

 private:
  // One byte more than the largest frame, so the store before the wrap check
  // never writes outside.
  std::array<std::uint8_t, kMaxRxFrame + 1> buffer_{};
  std::uint32_t rxLen_ = 0;
  std::uint8_t sync_ = kHunting;
  std::uint16_t frameLen_ = 0;
  std::size_t frameSize_ = 0;
};

}  // namespace tavro::link

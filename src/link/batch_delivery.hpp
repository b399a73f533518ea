#pragma once
// Hands runs of received bytes to the byte handler one at a time, in order,
// keeping the purge rule of a frame write: whatever has not been handed over
// when a frame is written (or the port is stopped) belongs to the exchange
// that just ended and is dropped, also the rest of the run being delivered.
// A worker thread can then hand over what one read returned in one go instead
// of waking the decision thread for every byte.
//
// Decision thread only.

#include <cstddef>
#include <cstdint>
#include <utility>

#include "link/serial_link.hpp"

namespace tavro::link {

class BatchDelivery {
 public:
  void SetHandler(SerialLink::ByteHandler onByte) { onByte_ = std::move(onByte); }

  // Counts DropRest() calls. A run read while the count was `generation`
  // is stale once the count has moved on.
  std::uint64_t Generation() const { return generation_; }

  // Hands `run` over byte by byte until it ends or a DropRest() happens
  // while a byte is handled; nothing when a DropRest() happened since the
  // run was read (`readAt`, its Generation() then). Returns the number of
  // bytes handed over.
  std::size_t Deliver(ByteView run, std::uint64_t readAt) {
    for (std::size_t i = 0; i < run.size(); ++i) {
      if (generation_ != readAt)
        return i;
      if (onByte_)
        onByte_(run[i]);
    }
    return run.size();
  }

  // A frame write or a stop: the rest of a run being delivered is dropped,
  // and so is every run read before now.
  void DropRest() { ++generation_; }

 private:
  SerialLink::ByteHandler onByte_;
  std::uint64_t generation_ = 0;
};

}  // namespace tavro::link

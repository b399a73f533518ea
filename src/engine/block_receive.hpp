#pragma once
// The block rule every read-back shares: the first block sizes the buffer, a
// repeated block is acknowledged but stored once, a block that would run
// past the buffer ends the read, and a block of a read that is not pending
// (or not the next in line) is dropped.

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "engine/context.hpp"
#include "link/payloads.hpp"

namespace tavro::engine {

// Which transfer buffer a read fills, with its byte count.
enum class BlockBuffer {
  kBackupImage,   // App and parameter areas, BackupOffset
  kBackupImage2,  // Flash headers and the E2PROM, ReadOffset
};

enum class BlockForm { kShort, kLong };

// When a read's data may reach the end of its buffer.
enum class FillRule {
  kMayFill,        // up to the buffer's (or storeLimit's) last byte
  kMustStayBelow,  // a block that would reach it is refused
};

// How one read's blocks are taken in.
struct BlockSeries {
  std::string_view name{};       // "FlashRead" names the refusal log lines
  std::uint16_t blockMsgId = 0;  // the reply that carries this read's blocks
  BlockForm form = BlockForm::kLong;
  BlockBuffer buffer = BlockBuffer::kBackupImage2;
  std::string_view tooLongKey{};  // the message of a block that does not fit
  // The buffer to allocate from the first block; std::nullopt refuses the
  // read with tooLongKey (a terminal announcing more than the read can need).
  std::function<std::optional<std::size_t>(const link::ReadBackBlock&)> bufferFor{};
  // Bytes the read may store; when unset, the buffer's size.
  std::optional<std::uint64_t> storeLimit{};
  FillRule fill = FillRule::kMayFill;
  bool storeBlockZero = true;  // false: block 0 is a descriptor, taken but not kept
  // Command-state line logged before the refusal of a block that does not
  // fit; empty for none.
  std::string_view tooLongLogTag{};
};

enum class BlockStored { kNew, kRepeated, kNotKept };

struct ReceivedBlock {
  link::ReadBackBlock block;
  BlockStored stored = BlockStored::kNew;
  bool first = false;  // it began the read
  bool last = false;   // the terminal numbered it as the last of the read
};

// Marks a new read of `series` pending: the next such block is its first.
void BeginBlockSeries(Context& ctx, const BlockSeries& series);

// Takes one read-back block into the series' buffer. std::nullopt when the
// block was dropped (logged) or ended the read (its message shown, the
// window idle); otherwise the caller acknowledges it.
std::optional<ReceivedBlock> ReceiveBlock(Context& ctx, link::ByteView payload,
                                          const BlockSeries& series);

}  // namespace tavro::engine

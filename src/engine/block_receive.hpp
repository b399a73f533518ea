#pragma once
// The block rule every read-back shares: the first block sizes the buffer, a
// repeated block is acknowledged but stored once, a block that would run
// past the buffer ends the read, and a block nobody asked for is dropped.

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "engine/context.hpp"
#include "link/payloads.hpp"

namespace tavro::engine {

// How one read's blocks are taken in.
struct BlockSeries {
  std::string_view name;        // "FlashRead" names the refusal log lines
  std::string_view tooLongKey;  // the message of a block that does not fit
  // The buffer to allocate from the first block; std::nullopt refuses the
  // read with tooLongKey (a terminal announcing more than the read can need).
  std::function<std::optional<std::size_t>(const link::ReadBackBlock&)> bufferFor;
  // Bytes the read may store; when unset, the buffer's size.
  std::optional<std::uint64_t> storeLimit;
};

enum class BlockStored { kNew, kRepeated };

struct ReceivedBlock {
  link::ReadBackBlock block;
  BlockStored stored = BlockStored::kNew;
  bool last = false;  // the terminal numbered it as the last of the read
};

// Marks a new read pending: the next block is its first.
void BeginBlockSeries(Context& ctx);

// Takes one read-back block into BackupImage2 at ReadOffset. std::nullopt
// when the block was dropped (logged) or ended the read (its message shown,
// the window idle); otherwise the caller acknowledges it.
std::optional<ReceivedBlock> ReceiveBlock(Context& ctx, link::ByteView payload,
                                          const BlockSeries& series);

}  // namespace tavro::engine

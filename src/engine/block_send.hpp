#pragma once
// The block rule every download shares: an image goes out in numbered
// blocks of up to 4096 bytes; an accepted block moves on to the next, a
// refused one is sent again under the one retry rule, and the acceptance of
// the last block ends the series.

#include <cstddef>
#include <cstdint>
#include <functional>

#include "engine/context.hpp"
#include "engine/stage_control.hpp"
#include "link/payloads.hpp"

namespace tavro::engine {

// Where block `number` of an image of `imageSize` bytes lies.
struct BlockChunk {
  std::size_t offset = 0;
  std::size_t length = 0;
};

// Blocks needed for `imageSize` bytes (0 for an empty image). Counts that do
// not fit the protocol's 16-bit block numbers are the caller's to refuse.
std::uint32_t BlockCountFor(std::size_t imageSize, std::size_t blockSize = link::kBlockSize);
// Block `number` of the image; the last one holds the rest, an empty chunk
// lies past the end.
BlockChunk ChunkOf(std::size_t imageSize, std::uint32_t number,
                   std::size_t blockSize = link::kBlockSize);

// Sends block `number` (gFrameNum) of the running transfer.
using SendBlockFn = std::function<void(std::uint16_t number)>;

// A loaded image of `blockCount` blocks is about to go out: no block sent
// yet, the time-out counters start again and the block timer runs.
void BeginImageSend(Context& ctx, std::uint32_t blockCount);

// Starts a series of `blockCount` blocks: counters reset, block 0 sent.
void StartBlockSeries(Context& ctx, std::uint16_t blockCount, const SendBlockFn& send);

enum class BlockAck {
  kNextSent,      // accepted; the next block went out
  kLastAccepted,  // accepted, and it was the last: the caller moves on
  kResent,        // refused; the same block went out again
  kGaveUp,        // refused once too often: the operation has ended
};

// The terminal accepted or refused block gFrameNum of the series.
BlockAck OnBlockAck(Context& ctx, bool accepted, RetryKind kind, const SendBlockFn& send);

// An acknowledgement with a status word (0 refused, else accepted): the
// silence count starts over and the block rule applies. A payload too short
// for its status counts as a refusal.
BlockAck OnStatusAck(Context& ctx, link::ByteView payload, RetryKind kind, const SendBlockFn& send);

}  // namespace tavro::engine

#include "engine/block_receive.hpp"

#include <algorithm>

#include "engine/stage_control.hpp"
#include "platform/messages.hpp"

namespace tavro::engine {
namespace {

link::Bytes& BufferOf(Context& ctx, const BlockSeries& series) {
  return series.buffer == BlockBuffer::kBackupImage ? ctx.link.buffers.backupImage
                                                    : ctx.link.buffers.backupImage2;
}

std::uint32_t& OffsetOf(Context& ctx, const BlockSeries& series) {
  return series.buffer == BlockBuffer::kBackupImage ? ctx.link.BackupOffset : ctx.link.ReadOffset;
}

// A block can only be stored for the read that was asked for last: a block
// of another read would size or fill a buffer meant for a different length.
bool ReadPending(Context& ctx, const BlockSeries& series) {
  return ctx.link.PendingBlockId == series.blockMsgId &&
         (ctx.link.FirstBlock == 1 || !BufferOf(ctx, series).empty());
}

void DropBlock(Context& ctx, const BlockSeries& series, std::string_view why) {
  ctx.Log(1, "\r\nRxBlockRefused_" + std::string(series.name) + std::string(why));
}

void EndRead(Context& ctx, const BlockSeries& series) {
  SetBusy(ctx, WindowState::kIdle);
  ctx.MessageBox(ctx.Text(series.tooLongKey), platform::kBoxError);
}

}  // namespace

void BeginBlockSeries(Context& ctx, const BlockSeries& series) {
  LinkState& s = ctx.link;
  s.FirstBlock = 1;
  s.PendingBlockId = series.blockMsgId;
  // A CRC error before the first block asks for block 0 of this read, not
  // for the block the previous read had reached.
  s.gFrameNum = 0;
  s.gFrameSum = 0;
  OffsetOf(ctx, series) = 0;
  BufferOf(ctx, series).clear();
}

std::optional<ReceivedBlock> ReceiveBlock(Context& ctx, link::ByteView payload,
                                          const BlockSeries& series) {
  LinkState& s = ctx.link;
  const auto block = series.form == BlockForm::kShort ? link::DecodeReadBackShort(payload)
                                                      : link::DecodeReadBackLong(payload);
  if (!block) {
    DropBlock(ctx, series, "Short");
    return std::nullopt;
  }
  if (!ReadPending(ctx, series)) {
    DropBlock(ctx, series, "Unasked");
    return std::nullopt;
  }
  // Blocks are appended in the order they come: one that is not the next
  // (a lost block, or a late one of the previous area) would leave a hole
  // or mix areas in the image, so it is not taken.
  const bool starts = s.FirstBlock == 1;
  const std::uint32_t expected = starts ? 0u : std::uint32_t{s.LastBlockNo} + 1;
  if (block->blockNumber != expected && (starts || block->blockNumber != s.LastBlockNo)) {
    DropBlock(ctx, series, "OutOfOrder");
    return std::nullopt;
  }
  s.gFrameNum = block->blockNumber;
  link::Bytes& buffer = BufferOf(ctx, series);
  std::uint32_t& offset = OffsetOf(ctx, series);
  if (starts) {
    const std::optional<std::size_t> size = series.bufferFor(*block);
    if (!size) {
      EndRead(ctx, series);
      return std::nullopt;
    }
    s.FirstBlock = 0;
    s.LastBlockNo = 0xFFFF;
    s.gFrameSum = block->blockCount;
    buffer.assign(*size, 0);
  }
  ReceivedBlock received{*block, BlockStored::kRepeated, starts,
                         std::uint32_t{block->blockNumber} + 1 == block->blockCount};
  if (block->blockNumber == s.LastBlockNo)
    return received;
  s.LastBlockNo = block->blockNumber;
  if (block->blockNumber == 0 && !series.storeBlockZero) {
    received.stored = BlockStored::kNotKept;
    return received;
  }
  const std::uint64_t limit =
      std::min<std::uint64_t>(series.storeLimit.value_or(buffer.size()), buffer.size());
  const std::uint64_t end = std::uint64_t{offset} + block->length;
  if (end > limit || (series.fill == FillRule::kMustStayBelow && end == limit)) {
    if (!series.tooLongLogTag.empty())
      ctx.LogCommandState(1, series.tooLongLogTag);
    EndRead(ctx, series);
    return std::nullopt;
  }
  std::copy(block->data.begin(), block->data.end(), buffer.begin() + offset);
  offset += block->length;
  received.stored = BlockStored::kNew;
  return received;
}

}  // namespace tavro::engine

#include "engine/block_receive.hpp"

#include <algorithm>

#include "engine/stage_control.hpp"
#include "platform/messages.hpp"

namespace tavro::engine {
namespace {

// A block with no read pending cannot be stored: there is no buffer for it.
bool ReadPending(const Context& ctx) {
  return ctx.link.FirstBlock == 1 || !ctx.link.buffers.backupImage2.empty();
}

void DropBlock(Context& ctx, const BlockSeries& series, std::string_view why) {
  ctx.Log(1, "\r\nRxBlockRefused_" + std::string(series.name) + std::string(why));
}

void EndRead(Context& ctx, const BlockSeries& series) {
  SetBusy(ctx, WindowState::kIdle);
  ctx.MessageBox(ctx.Text(series.tooLongKey), platform::kBoxError);
}

}  // namespace

void BeginBlockSeries(Context& ctx) {
  LinkState& s = ctx.link;
  s.FirstBlock = 1;
  s.ReadOffset = 0;
  s.buffers.backupImage2.clear();
}

std::optional<ReceivedBlock> ReceiveBlock(Context& ctx, link::ByteView payload,
                                          const BlockSeries& series) {
  LinkState& s = ctx.link;
  const auto block = link::DecodeReadBackLong(payload);
  if (!block) {
    DropBlock(ctx, series, "Short");
    return std::nullopt;
  }
  if (!ReadPending(ctx)) {
    DropBlock(ctx, series, "Unasked");
    return std::nullopt;
  }
  s.gFrameNum = block->blockNumber;
  if (s.FirstBlock == 1) {
    const std::optional<std::size_t> size = series.bufferFor(*block);
    if (!size) {
      EndRead(ctx, series);
      return std::nullopt;
    }
    s.FirstBlock = 0;
    s.LastBlockNo = 0xFFFF;
    s.gFrameSum = block->blockCount;
    s.buffers.backupImage2.assign(*size, 0);
  }
  const std::uint64_t limit = series.storeLimit.value_or(s.buffers.backupImage2.size());
  if (std::uint64_t{s.ReadOffset} + block->length > limit ||
      std::uint64_t{s.ReadOffset} + block->length > s.buffers.backupImage2.size()) {
    EndRead(ctx, series);
    return std::nullopt;
  }
  ReceivedBlock received{*block, BlockStored::kRepeated,
                         std::uint32_t{block->blockNumber} + 1 == block->blockCount};
  if (block->blockNumber != s.LastBlockNo) {
    std::copy(block->data.begin(), block->data.end(),
              s.buffers.backupImage2.begin() + s.ReadOffset);
    s.ReadOffset += block->length;
    s.LastBlockNo = block->blockNumber;
    received.stored = BlockStored::kNew;
  }
  return received;
}

}  // namespace tavro::engine

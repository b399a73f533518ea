#include "engine/block_send.hpp"

#include <algorithm>

#include "engine/download_stage.hpp"

namespace tavro::engine {

std::uint32_t BlockCountFor(std::size_t imageSize, std::size_t blockSize) {
  return static_cast<std::uint32_t>((imageSize + blockSize - 1) / blockSize);
}

BlockChunk ChunkOf(std::size_t imageSize, std::uint32_t number, std::size_t blockSize) {
  const std::size_t offset = std::size_t{number} * blockSize;
  if (offset >= imageSize)
    return {imageSize, 0};
  return {offset, std::min(blockSize, imageSize - offset)};
}

void BeginImageSend(Context& ctx, std::uint32_t blockCount) {
  LinkState& s = ctx.link;
  s.gFrameSum = static_cast<std::uint16_t>(blockCount);
  s.gFrameNum = 0;
  s.gOneCmdTime = 0;
  s.gOverTimeNum = 0;
  RestartBlockTimer(ctx);
}

void StartBlockSeries(Context& ctx, std::uint16_t blockCount, const SendBlockFn& send) {
  LinkState& s = ctx.link;
  s.gFrameSum = blockCount;
  s.gFrameNum = 0;
  s.FrameRetryNum = 0;
  send(0);
}

BlockAck OnBlockAck(Context& ctx, bool accepted, RetryKind kind, const SendBlockFn& send) {
  LinkState& s = ctx.link;
  bool resent = false;
  if (!ApplyBlockAck(ctx, accepted, kind, [&] {
        resent = true;
        send(s.gFrameNum);
      })) {
    return resent ? BlockAck::kResent : BlockAck::kGaveUp;
  }
  if (std::uint32_t{s.gFrameNum} + 1 >= s.gFrameSum)
    return BlockAck::kLastAccepted;
  ++s.gFrameNum;
  send(s.gFrameNum);
  return BlockAck::kNextSent;
}

BlockAck OnStatusAck(Context& ctx, link::ByteView payload, RetryKind kind,
                     const SendBlockFn& send) {
  ctx.link.gOverTimeNum = 0;
  const bool accepted = link::DecodeStatusWord(payload).value_or(0) != 0;
  return OnBlockAck(ctx, accepted, kind, send);
}

}  // namespace tavro::engine

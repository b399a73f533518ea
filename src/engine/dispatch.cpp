#include "engine/dispatch.hpp"

#include "engine/link_state.hpp"

namespace tavro::engine {

void DispatchFrame(Context& ctx, std::uint16_t msgId, link::ByteView payload) {
  ctx.loop.StopTimer(kTimerAnswer);
  const auto it = ctx.handlers.onMessage.find(msgId);
  if (it != ctx.handlers.onMessage.end())
    it->second(payload);
  ctx.Refresh();
}

void SendFirst(Context& ctx, std::uint32_t cmd) {
  const auto it = ctx.handlers.sendFirst.find(cmd);
  if (it != ctx.handlers.sendFirst.end())
    it->second();
  ctx.Refresh();
}

void ResendAfterCrcError(Context& ctx, std::uint32_t cmd) {
  const auto it = ctx.handlers.resendAfterCrc.find(cmd);
  if (it != ctx.handlers.resendAfterCrc.end()) {
    it->second();
  } else if (const auto block = ctx.handlers.blockSender.find(cmd);
             block != ctx.handlers.blockSender.end()) {
    // A damaged acknowledgement while a transfer's blocks go out: the
    // current block again, as for the transfer's first command; the
    // terminal answers a repeated block without storing it twice.
    block->second();
  }
  ctx.Refresh();
}

}  // namespace tavro::engine

#include "engine/resource_download.hpp"

#include "engine/block_send.hpp"
#include "engine/download_stage.hpp"
#include "engine/stage_control.hpp"
#include "link/messages.hpp"
#include "link/payloads.hpp"

namespace tavro::engine {
namespace {

constexpr std::size_t kResourceEntry = 5;  // AreaAddr: where resources go in Flash

bool LoadResource(Context& ctx) {
  LinkState& s = ctx.link;
  s.ImageLoaded = 1;
  const std::string folder = ctx.Path("/Data/Res");
  const std::optional<std::string> path = FirstFileIn(folder, "*.rom");
  if (!path) {
    EndTransfer(ctx, folder + ctx.Text("F_NotExist"));
    return false;
  }
  if (!LoadSendImage(ctx, *path))
    return false;
  s.FlashBase = ctx.areas[kResourceEntry].areaAddr;
  ctx.Log(1, "\r\nDL Res");
  BeginImageSend(ctx, BlockCountFor(s.ImageLen));
  return true;
}

}  // namespace

void SendResource(Context& ctx) {
  if (ctx.link.ImageLoaded == 0 && !LoadResource(ctx))
    return;
  SendResourceBlock(ctx, ctx.link.gFrameNum);
}

void SendResourceBlock(Context& ctx, std::uint16_t number) {
  const LinkState& s = ctx.link;
  const BlockChunk chunk = ChunkOf(s.ImageLen, number);
  ctx.Send(link::MsgFlashWriteBlock,
           link::AddressedBlockPayload(s.FlashBase, s.gFrameSum, number, s.buffers.sendImage,
                                       chunk.offset, chunk.length, link::OddChunk::PadToEven));
}

void OnResourceDone(Context& ctx) {
  LinkState& s = ctx.link;
  ctx.loop.StopTimer(kTimerSilence);
  ++s.StepIndex;
  s.ImageLoaded = 0;
  ctx.Log(1, "\r\nDL_Res_Ok");
  link::Bytes().swap(s.buffers.sendImage);
  // One resource image per download: the next stage is the App or the data.
  NextDownloadStage(ctx, true);
}

void RegisterResourceDownload(Context& ctx) {
  HandlerTables& h = ctx.handlers;
  for (auto* table : {&h.sendFirst, &h.blockSender, &h.resendAfterCrc})
    (*table)[link::CmdResource] = [&ctx] { SendResource(ctx); };
}

}  // namespace tavro::engine

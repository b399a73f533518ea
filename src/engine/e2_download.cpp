#include "engine/e2_download.hpp"

#include <algorithm>

#include "engine/block_send.hpp"
#include "engine/download_stage.hpp"
#include "engine/resource_download.hpp"
#include "engine/stage_control.hpp"
#include "link/messages.hpp"
#include "platform/control_ids.hpp"

namespace tavro::engine {
namespace {

constexpr std::size_t kE2HeaderSize = 32;
constexpr std::uint16_t kE2WriteMark = 0xFFFF;
constexpr std::uint16_t kFlashCopyMark = 0xAA55;
constexpr std::size_t kE2ResourceEntry = 5;  // AreaLen: the Flash address of the E2PROM copy

std::string E2ImagePath(const Context& ctx) {
  return ctx.link.ParaPath.value_or(std::string()) + "/E2.dat";
}

// Loads E2.dat stamped with `mark`; false when the transfer has ended.
bool LoadE2Image(Context& ctx, std::uint16_t mark, std::uint32_t flashBase) {
  LinkState& s = ctx.link;
  s.ImageLoaded = 1;
  if (!LoadSendImage(ctx, E2ImagePath(ctx), 0, kE2HeaderSize))
    return false;
  StampE2Header(s.buffers.sendImage, mark, OperationTimeStamp(ctx));
  s.FlashBase = flashBase;
  BeginImageSend(ctx, BlockCountFor(s.ImageLen));
  return true;
}

void SendWriteBlock(Context& ctx, std::uint16_t msgId, link::OddChunk odd, std::uint16_t number) {
  const LinkState& s = ctx.link;
  const BlockChunk chunk = ChunkOf(s.ImageLen, number);
  ctx.Send(msgId, link::AddressedBlockPayload(s.FlashBase, s.gFrameSum, number, s.buffers.sendImage,
                                              chunk.offset, chunk.length, odd));
}

void SendE2Block(Context& ctx, std::uint16_t number) {
  SendWriteBlock(ctx, link::MsgE2WriteBlock, link::OddChunk::SendAsIs, number);
}

void SendFlashBlock(Context& ctx, std::uint16_t number) {
  SendWriteBlock(ctx, link::MsgFlashWriteBlock, link::OddChunk::PadToEven, number);
}

// The Flash write block of the running Flash command, by CmdID.
void ResendFlashBlock(Context& ctx, std::uint16_t number) {
  if (ctx.link.CmdID == link::CmdResource) {
    SendResourceBlock(ctx, number);
  } else {
    SendFlashBlock(ctx, number);
  }
}

bool FlashWriteRunning(const Context& ctx) {
  const std::uint32_t cmd = ctx.link.CmdID;
  return (cmd == link::CmdResource || cmd == link::CmdFlashCopy ||
          cmd == link::MsgFlashWriteBlock) &&
         !ctx.link.buffers.sendImage.empty();
}

}  // namespace

void StampE2Header(link::Bytes& image, std::uint16_t mark, const link::TimeStamp& when) {
  if (image.size() < kE2HeaderSize)
    return;
  std::uint8_t* h = image.data();
  link::PutU16(h, mark);
  link::PutU32(h + 2, static_cast<std::uint32_t>(image.size()));
  link::PutU16(h + 18, when.year);
  h[20] = when.month;
  h[21] = when.day;
  h[22] = when.hour;
  h[23] = when.minute;
  h[24] = when.second;
  std::fill(h + 25, h + kE2HeaderSize, 0);
}

void SendE2Data(Context& ctx) {
  LinkState& s = ctx.link;
  if (s.DownloadData != 1) {
    s.CmdID = link::CmdComplete;
    StartCommand(ctx);
    return;
  }
  if (s.FlashCopyPending == 1) {
    s.FlashCopyPending = 0;
    s.CmdID = link::CmdFlashCopy;
    StartCommand(ctx);
    return;
  }
  if (s.ImageLoaded == 0) {
    if (s.StepIndex == 0)
      ctx.Log(1, "\r\nDl_" + E2ImagePath(ctx));
    // A missing image ends the operation at once rather than by the answer
    // time-out, which would blame the terminal.
    if (!LoadE2Image(ctx, kE2WriteMark, 0))
      return;
  }
  SendE2Block(ctx, s.gFrameNum);
}

void OnE2WriteAck(Context& ctx, link::ByteView payload) {
  LinkState& s = ctx.link;
  if (s.CmdID != link::MsgE2WriteBlock || s.buffers.sendImage.empty()) {
    ctx.Log(1, "\r\nUnaskedReply_E2WriteAck");
    return;
  }
  s.gOverTimeNum = 0;
  const bool accepted = link::DecodeStatusWord(payload).value_or(0) != 0;
  // The progress step moves on with every fifth block.
  if (accepted && std::uint32_t{s.gFrameNum} + 1 < s.gFrameSum && (s.gFrameNum + 1u) % 5 == 0 &&
      s.StepIndex < 5)
    ++s.StepIndex;
  const BlockAck ack =
      OnBlockAck(ctx, accepted, RetryKind::kE2, [&ctx](std::uint16_t n) { SendE2Block(ctx, n); });
  if (ack != BlockAck::kLastAccepted)
    return;
  link::Bytes().swap(s.buffers.sendImage);
  ctx.Log(1, "\r\nDlE2ParaOk");
  // The completion returns the window to idle itself, with the operation
  // still there to give up its download record.
  s.CmdID = link::CmdComplete;
  StartCommand(ctx);
  if (ctx.operations.IsRunning())
    SetBusy(ctx, WindowState::kIdle);
}

void SendFlashCopy(Context& ctx) {
  LinkState& s = ctx.link;
  s.StepIndex = 0;
  if (s.ImageLoaded == 0) {
    if (!LoadE2Image(ctx, kFlashCopyMark, ctx.areas[kE2ResourceEntry].areaLen))
      return;
    ctx.Log(1, "\r\nDl_E2_F_" + E2ImagePath(ctx));
  }
  SendFlashBlock(ctx, s.gFrameNum);
}

void SendFlashMarker(Context& ctx) {
  LinkState& s = ctx.link;
  if (s.ImageLoaded == 0) {
    s.buffers.sendImage = link::FlashMarkerImage();
    s.ImageLen = static_cast<std::uint32_t>(s.buffers.sendImage.size());
    s.FlashBase = link::kFlashMarkerAddress;
    s.ImageLoaded = 1;
    BeginImageSend(ctx, 1);
  }
  SendFlashBlock(ctx, s.gFrameNum);
}

void OnFlashWriteAck(Context& ctx, link::ByteView payload) {
  LinkState& s = ctx.link;
  if (!FlashWriteRunning(ctx)) {
    ctx.Log(1, "\r\nUnaskedReply_FlashWriteAck");
    return;
  }
  s.gOverTimeNum = 0;
  const std::uint16_t status = link::DecodeStatusWord(payload).value_or(2);
  if (status == 0 || status == 1) {
    EndTransfer(ctx, ctx.Text(status == 0 ? "F_F_AdrrErr" : "F_F_LenErr"));
    return;
  }
  const BlockAck ack = OnBlockAck(ctx, status != 2, RetryKind::kFlash,
                                  [&ctx](std::uint16_t n) { ResendFlashBlock(ctx, n); });
  if (ack != BlockAck::kLastAccepted)
    return;
  ctx.loop.StopTimer(kTimerSilence);
  if (s.CmdID == link::CmdResource) {
    OnResourceDone(ctx);
    return;
  }
  link::Bytes().swap(s.buffers.sendImage);
  if (s.CmdID == link::CmdFlashCopy) {
    s.ImageLoaded = 0;
    ctx.Log(1, "\r\nDl_E2_F_OK");
    s.CmdID = link::MsgE2WriteBlock;
  } else {
    s.CmdID = link::MsgReadAppInfo;
  }
  StartCommand(ctx);
}

void RegisterE2Download(Context& ctx) {
  HandlerTables& h = ctx.handlers;
  h.sendFirst[link::MsgE2WriteBlock] = [&ctx] { SendE2Data(ctx); };
  h.blockSender[link::MsgE2WriteBlock] = [&ctx] { SendE2Data(ctx); };
  h.resendAfterCrc[link::MsgE2WriteBlock] = [&ctx] { SendE2Data(ctx); };
  h.sendFirst[link::CmdFlashCopy] = [&ctx] { SendFlashCopy(ctx); };
  h.blockSender[link::CmdFlashCopy] = [&ctx] { SendFlashCopy(ctx); };
  h.resendAfterCrc[link::CmdFlashCopy] = [&ctx] { SendFlashCopy(ctx); };
  h.sendFirst[link::MsgFlashWriteBlock] = [&ctx] { SendFlashMarker(ctx); };
  h.resendAfterCrc[link::MsgFlashWriteBlock] = [&ctx] { SendFlashMarker(ctx); };
  h.onMessage[link::MsgE2WriteAck] = [&ctx](link::ByteView p) { OnE2WriteAck(ctx, p); };
  h.onMessage[link::MsgFlashWriteAck] = [&ctx](link::ByteView p) { OnFlashWriteAck(ctx, p); };
}

}  // namespace tavro::engine

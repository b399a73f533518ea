#include "engine/app_download.hpp"

#include "engine/block_send.hpp"
#include "engine/download_stage.hpp"
#include "engine/stage_control.hpp"
#include "link/messages.hpp"
#include "link/payloads.hpp"
#include "platform/control_ids.hpp"

namespace tavro::engine {
namespace {

constexpr std::uint32_t kBackingUpPos = 1945;  // progress while the terminal secures its data
constexpr std::uint32_t kWritingPos = 3635;    // progress while the terminal writes the App

// Where the image starts in the send buffer: the terminal keeps an App
// header of SizeCode x 256 bytes, 4096 of them in block 0. Codes below 16
// count as 16, as 0xFF does.
std::size_t ImageOffset(const Context& ctx) {
  const std::uint32_t code = ctx.device.SizeCode < 16 ? 16 : ctx.device.SizeCode;
  return std::size_t{code} * 256 - link::kBlockSize;
}

bool SendingApp(const Context& ctx) {
  return ctx.link.CmdID == link::MsgAppDownloadStart || ctx.link.CmdID == link::CmdAppSending;
}

bool LoadAppImage(Context& ctx) {
  LinkState& s = ctx.link;
  s.ImageLoaded = 1;
  if (s.AppBackupToSend) {
    // It goes back as the terminal kept it, its header bytes included.
    if (!LoadSendImage(ctx, *s.AppBackupToSend, 0, ImageOffset(ctx) + 1))
      return false;
  } else {
    const std::string folder = AppDownloadFolder(ctx);
    const std::optional<std::string> path = FirstFileIn(folder, "*.bin");
    if (!path) {
      EndTransfer(
          ctx, folder + ctx.Text("F_AppFile") + ctx.Text("F_NotExist") + ctx.Text("Sw_UpdateStop"));
      return false;
    }
    if (!LoadSendImage(ctx, *path, ImageOffset(ctx)))
      return false;
  }
  ctx.Log(1, "\r\nDL App");
  BeginImageSend(ctx, BlockCountFor(s.ImageLen) + 1);
  return true;
}

void SendBlock(Context& ctx, std::uint16_t number) {
  LinkState& s = ctx.link;
  if (number == 0) {
    // Stamped when it goes out, so a resent header carries the new time.
    const link::Bytes header =
        link::AppDescriptorChunk(static_cast<std::uint32_t>(s.ImageLen - ImageOffset(ctx)),
                                 link::LocalTimeStamp(ctx.loop.WallTime()));
    ctx.Send(link::MsgAppBlock, link::CountedBlockPayload(s.gFrameSum, 0, header));
    return;
  }
  const BlockChunk chunk = ChunkOf(s.ImageLen, number - 1u);
  ctx.Send(link::MsgAppBlock,
           link::CountedBlockPayload(
               s.gFrameSum, number,
               link::ByteView(s.buffers.sendImage.data() + chunk.offset, chunk.length)));
}

}  // namespace

std::string AppDownloadFolder(const Context& ctx) {
  return ctx.Path(ctx.device.BlVersion >= kBlE2prom ? "/SW/E2prom" : "/SW/Flash");
}

void SendAppStart(Context& ctx) {
  ctx.link.ImageLoaded = 0;
  ctx.Send(link::MsgAppDownloadStart, link::U32Payload(ctx.areas[data::kAppAreaIndex].areaAddr));
}

void SendAppBlock(Context& ctx) {
  if (ctx.link.ImageLoaded == 0 && !LoadAppImage(ctx))
    return;
  SendBlock(ctx, ctx.link.gFrameNum);
}

void OnAppBlockAck(Context& ctx, link::ByteView payload) {
  LinkState& s = ctx.link;
  if (!SendingApp(ctx) || s.buffers.sendImage.empty()) {
    ctx.Log(1, "\r\nUnaskedReply_AppBlockAck");
    return;
  }
  const BlockAck ack =
      OnStatusAck(ctx, payload, RetryKind::kFlash, [&ctx](std::uint16_t n) { SendBlock(ctx, n); });
  if (ack != BlockAck::kLastAccepted)
    return;
  ctx.loop.StopTimer(kTimerSilence);
  s.gOverTimeNum = 0;
  link::Bytes().swap(s.buffers.sendImage);
  s.CmdID = link::CmdAppWriting;
  s.ProgressPos = kWritingPos;
  // The terminal's report that it has written the App is what moves the
  // download on; should every report be lost, the watchdog of its own work
  // ends the wait instead of leaving the window busy for good.
  s.gOneCmdTime = 0;
  ctx.loop.StopTimer(kTimerDevBackup);
  ctx.loop.StartTimer(kTimerDevBackup, 1000);
  ctx.Log(1, "\r\nDL_App_Ok");
}

void OnDataBackupState(Context& ctx, link::ByteView payload) {
  LinkState& s = ctx.link;
  const std::optional<std::uint16_t> state = link::DecodeStatusWord(payload);
  if (!state)
    return;
  const bool written = s.CmdID == link::CmdAppWriting;
  if (!written && !SendingApp(ctx) && s.CmdID != link::CmdAppWaitBackup) {
    ctx.Log(1, "\r\nUnaskedReply_DataBackupState");
    return;
  }
  const auto restartWatchdog = [&ctx](std::uint32_t pos) {
    ctx.link.gOneCmdTime = 0;
    ctx.loop.StopTimer(kTimerDevBackup);
    ctx.loop.StartTimer(kTimerDevBackup, 1000);
    ctx.link.ProgressPos = pos;
  };
  if (*state == 1) {
    restartWatchdog(written ? kWritingPos : kBackingUpPos);
    if (!written)
      s.CmdID = link::CmdAppWaitBackup;
    return;
  }
  if (*state != 0 && *state != 2 && *state != 3 && *state != 4)
    return;
  if (written) {
    s.CmdID = DataStageCommand(ctx);
    StartCommand(ctx);
    return;
  }
  if (*state != 0)
    ctx.loop.StopTimer(kTimerDevBackup);
  if (*state == 4) {
    ctx.loop.StopTimer(kTimerDevBackup);
    if (ctx.MessageBox(ctx.Text("F_BackupErr"), platform::kBoxYesNo) != platform::kButtonYes) {
      SetBusy(ctx, WindowState::kIdle);
      return;
    }
  }
  s.CmdID = link::CmdAppSending;
  SendAppBlock(ctx);
}

void RegisterAppDownload(Context& ctx) {
  HandlerTables& h = ctx.handlers;
  h.sendFirst[link::MsgAppDownloadStart] = [&ctx] { SendAppStart(ctx); };
  for (std::uint32_t cmd : {link::MsgAppDownloadStart, link::CmdAppSending})
    h.blockSender[cmd] = [&ctx] { SendAppBlock(ctx); };
  h.resendAfterCrc[link::MsgAppDownloadStart] = [&ctx] { SendAppBlock(ctx); };
  h.onMessage[link::MsgAppBlockAck] = [&ctx](link::ByteView p) { OnAppBlockAck(ctx, p); };
  h.onMessage[link::MsgDataBackupState] = [&ctx](link::ByteView p) { OnDataBackupState(ctx, p); };
}

}  // namespace tavro::engine

#include "engine/para_download.hpp"

#include <algorithm>

#include "data/download_record.hpp"
#include "data/file_io.hpp"
#include "engine/block_send.hpp"
#include "engine/download_stage.hpp"
#include "engine/read_back.hpp"
#include "engine/stage_control.hpp"
#include "link/messages.hpp"
#include "platform/control_ids.hpp"

namespace tavro::engine {
namespace {

constexpr std::uint32_t kBackingUpPos = 3788;

// Files the package names, all before the App entry.
std::size_t FileCount(const Context& ctx) {
  return std::min<std::size_t>(ctx.package.paraFileTotalNum, data::kAppAreaIndex);
}

bool SendingPara(const Context& ctx) {
  return ctx.link.CmdID == link::MsgParaDownloadStart || ctx.link.CmdID == link::CmdParaSending;
}

void FinishStage(Context& ctx) {
  link::Bytes().swap(ctx.link.buffers.sendImage);
  ctx.Log(1, "\r\nDlParaOk");
  ctx.link.CmdID = link::CmdComplete;
  StartCommand(ctx);
}

// Loads the file of entry StepIndex; missing and empty files are skipped
// (an empty one with its message). False when the transfer ended or the
// stage was finished instead.
bool LoadNextFile(Context& ctx) {
  LinkState& s = ctx.link;
  ctx.loop.StopTimer(kTimerSilence);
  s.ImageLoaded = 1;
  for (; s.StepIndex < FileCount(ctx); ++s.StepIndex) {
    const std::string& name = ctx.areas[s.StepIndex].fileName;
    const std::string path = s.ParaPath.value_or(std::string()) + "/" + name;
    data::ReadError why = data::ReadError::kNone;
    const auto bytes = data::ReadWholeFile(path, &why);
    if (!bytes || !data::IsPlainFileName(name))
      continue;
    if (bytes->empty()) {
      ctx.MessageBox(path + ctx.Text("F_ReadInErr"), platform::kBoxError);
      continue;
    }
    // A file without its whole header cannot be stamped or sent.
    if (!LoadSendImage(ctx, path, 0, link::kParaHeaderBlockSize))
      return false;
    BeginImageSend(ctx, BlockCountFor(s.ImageLen - link::kParaHeaderBlockSize) + 1);
    return true;
  }
  // No file left to send: the stage ends as after the last file.
  FinishStage(ctx);
  return false;
}

void SendBlock(Context& ctx, std::uint16_t number) {
  LinkState& s = ctx.link;
  const data::AreaEntry& area = ctx.areas[s.StepIndex];
  const link::Bytes& image = s.buffers.sendImage;
  if (number == 0) {
    const std::optional<link::Bytes> header = link::ParaHeaderChunk(image, OperationTimeStamp(ctx));
    ctx.Send(link::MsgParaBlock, link::AreaBlockPayload(area.areaAddr, area.areaLen, s.gFrameSum, 0,
                                                        header.value_or(link::Bytes{})));
    return;
  }
  const BlockChunk chunk = ChunkOf(s.ImageLen - link::kParaHeaderBlockSize, number - 1u);
  ctx.Send(
      link::MsgParaBlock,
      link::AreaBlockPayload(
          area.areaAddr, area.areaLen, s.gFrameSum, number,
          link::ByteView(image.data() + link::kParaHeaderBlockSize + chunk.offset, chunk.length)));
}

}  // namespace

void SendParaStart(Context& ctx) {
  LinkState& s = ctx.link;
  ctx.loop.StopTimer(kTimerSilence);
  s.ImageLoaded = 0;
  if (s.DownloadData != 1) {
    s.CmdID = link::CmdComplete;
    StartCommand(ctx);
    return;
  }
  if (s.StepIndex == 0)
    ctx.Log(1, "\r\nDl_Para-" + s.ParaPath.value_or(std::string()));
  ctx.Send(link::MsgParaDownloadStart);
  // The next file starts within the running command: without this guard a
  // terminal that died after the last file's acknowledgement would leave
  // the window busy for good.
  ArmAnswerTimeout(ctx);
}

void SendParaBlock(Context& ctx) {
  if (ctx.link.ImageLoaded == 0 && !LoadNextFile(ctx))
    return;
  SendBlock(ctx, ctx.link.gFrameNum);
}

void OnParaDownloadState(Context& ctx, link::ByteView payload) {
  LinkState& s = ctx.link;
  const std::optional<std::uint16_t> state = link::DecodeStatusWord(payload);
  // Each further file starts while CmdID still says its blocks are sent.
  if (!state || (!SendingPara(ctx) && s.CmdID != link::CmdParaWaitBackup)) {
    ctx.Log(1, "\r\nUnaskedReply_ParaDownloadState");
    return;
  }
  switch (*state) {
    case 0:
      ctx.controls.AppendText(platform::kTermText, "\r\n设备数据无需备份");
      break;
    case 1:
      ctx.controls.AppendText(platform::kTermText, "\r\n设备数据开始备份");
      s.gOneCmdTime = 0;
      ctx.loop.StopTimer(kTimerDevBackup);
      ctx.loop.StartTimer(kTimerDevBackup, 1000);
      s.ProgressPos = kBackingUpPos;
      s.CmdID = link::CmdParaWaitBackup;
      return;
    case 2:
      ctx.loop.StopTimer(kTimerDevBackup);
      ctx.controls.AppendText(platform::kTermText, "\r\n设备数据备份完毕");
      break;
    default:
      if (s.StepIndex == 0)
        ctx.controls.AppendText(platform::kTermText, "\r\n开始下载数据至设备");
      break;
  }
  s.CmdID = link::CmdParaSending;
  SendParaBlock(ctx);
}

void OnParaBlockAck(Context& ctx, link::ByteView payload) {
  LinkState& s = ctx.link;
  // Until the next file's first block has gone out, an acknowledgement is a
  // late one of the file before (a block sent twice after a frame was cut
  // off): taken for this file's, it would mark the file written unsent.
  if (!SendingPara(ctx) || s.ImageLoaded == 0 || s.buffers.sendImage.empty()) {
    ctx.Log(1, "\r\nUnaskedReply_ParaBlockAck");
    return;
  }
  const BlockAck ack =
      OnStatusAck(ctx, payload, RetryKind::kFlash, [&ctx](std::uint16_t n) { SendBlock(ctx, n); });
  if (ack != BlockAck::kLastAccepted)
    return;
  ctx.loop.StopTimer(kTimerSilence);
  // Only a file whose last block the terminal took counts as downloaded.
  const std::shared_ptr<Operation> operation = ctx.operations.Current();
  const auto record = operation ? operation->DownloadRecord() : std::nullopt;
  if (record &&
      !data::WriteDownloadRecordKey(*record, std::to_string(s.StepIndex + 1) + ".dat", "1"))
    ctx.Log(1, "\r\nRecordWriteErr");
  ++s.StepIndex;
  if (s.StepIndex < FileCount(ctx)) {
    SendParaStart(ctx);
    return;
  }
  FinishStage(ctx);
}

void OnParaDownloadErr(Context& ctx, link::ByteView payload) {
  if (!SendingPara(ctx) && ctx.link.CmdID != link::CmdParaWaitBackup) {
    ctx.Log(1, "\r\nUnaskedReply_ParaDownloadErr");
    return;
  }
  const bool addressError = link::DecodeStatusWord(payload).value_or(1) == 0;
  SetBusy(ctx, WindowState::kIdle);
  ctx.LogCommandState(1, addressError ? "DownParaAddrErr" : "DownParaLenErr");
  ctx.link.buffers.ReleaseAll();
  ctx.MessageBox(ctx.Text(addressError ? "F_DlAddrErr" : "F_DlLenErr"), platform::kBoxError);
}

void RegisterParaDownload(Context& ctx) {
  HandlerTables& h = ctx.handlers;
  h.sendFirst[link::MsgParaDownloadStart] = [&ctx] { SendParaStart(ctx); };
  for (std::uint32_t cmd : {link::MsgParaDownloadStart, link::CmdParaSending})
    h.blockSender[cmd] = [&ctx] { SendParaBlock(ctx); };
  h.resendAfterCrc[link::MsgParaDownloadStart] = [&ctx] { SendParaBlock(ctx); };
  h.onMessage[link::MsgParaDownloadState] = [&ctx](link::ByteView p) {
    OnParaDownloadState(ctx, p);
  };
  h.onMessage[link::MsgParaBlockAck] = [&ctx](link::ByteView p) { OnParaBlockAck(ctx, p); };
  h.onMessage[link::MsgParaDownloadErr] = [&ctx](link::ByteView p) { OnParaDownloadErr(ctx, p); };
}

}  // namespace tavro::engine

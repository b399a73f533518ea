#include "engine/backup_read.hpp"

#include <algorithm>

#include "data/backup_tree.hpp"
#include "engine/block_receive.hpp"
#include "engine/read_back.hpp"
#include "engine/stage_control.hpp"
#include "link/messages.hpp"
#include "link/time_stamp.hpp"
#include "platform/control_ids.hpp"

namespace tavro::engine {
namespace {

std::optional<std::size_t> BlocksUpTo(const link::ReadBackBlock& first, std::uint16_t most) {
  if (first.blockCount == 0 || first.blockCount > most)
    return std::nullopt;
  return std::size_t{first.blockCount} * link::kBlockSize;
}

// Block 0 describes the last download and is not part of the image; the data
// must stay below the announced blocks.
const BlockSeries& AppSeries() {
  static const BlockSeries series{
      .name = "AppBackup",
      .blockMsgId = link::MsgAppBackupBlock,
      .form = BlockForm::kShort,
      .buffer = BlockBuffer::kBackupImage,
      .tooLongKey = "F_BackupErr",
      .bufferFor =
          [](const link::ReadBackBlock& first) { return BlocksUpTo(first, kMaxAppBackupBlocks); },
      .fill = FillRule::kMustStayBelow,
      .storeBlockZero = false,
  };
  return series;
}

const BlockSeries& ParaSeries() {
  static const BlockSeries series{
      .name = "ParaBackup",
      .blockMsgId = link::MsgParaBackupBlock,
      .buffer = BlockBuffer::kBackupImage,
      .tooLongKey = "F_BackupErr",
      .bufferFor =
          [](const link::ReadBackBlock& first) { return BlocksUpTo(first, kMaxParaBackupBlocks); },
      .fill = FillRule::kMustStayBelow,
      .tooLongLogTag = "UpParaLenErr",
  };
  return series;
}

// Every block read back proves the terminal alive: the silence watch and
// the read-back timer start over with it.
void RestartReadTimers(Context& ctx) {
  ctx.link.gOneCmdTime = 0;
  ctx.link.gOverTimeNum = 0;
  for (int id : {kTimerReadBack, kTimerSilence}) {
    ctx.loop.StopTimer(id);
    ctx.loop.StartTimer(id, 1000);
  }
}

void EndWithFileError(Context& ctx, const std::string& path, std::string_view tag) {
  ctx.LogCommandState(1, tag);
  SetBusy(ctx, WindowState::kIdle);
  ctx.link.buffers.ReleaseAll();
  ctx.MessageBox(path + ctx.Text("F_NotExist"), platform::kBoxError);
}

void SendAppBackupStart(Context& ctx) {
  BeginBlockSeries(ctx, AppSeries());
  ctx.Send(link::MsgAppBackupStart, link::U32Payload(ctx.areas[data::kAppAreaIndex].areaAddr));
}

// The request for area StepIndex.
void SendAreaRequest(Context& ctx) {
  LinkState& s = ctx.link;
  BeginBlockSeries(ctx, ParaSeries());
  DeviceInfo& d = ctx.device;
  // A version that is no BCD number is read with the request of version 1.
  if (!d.ParaVersionBcd && d.ParaIntact)
    d.ParaVersionNum = 1;
  const data::AreaEntry& area = ctx.areas[std::min<std::size_t>(s.StepIndex, ctx.areas.size() - 1)];
  if (d.ParaVersionNum > 1) {
    ctx.Send(link::MsgParaBackupStart, link::U32PairPayload(area.areaAddr, area.areaLen));
  } else {
    ctx.Send(link::MsgParaBackupStartEx,
             link::U32TriplePayload(area.areaAddr, area.areaLen, area.areaArg));
  }
}

}  // namespace

std::size_t BackupAreaCount(const Context& ctx) {
  return std::min<std::size_t>(ctx.package.paraFileTotalNum, data::kAppAreaIndex);
}

std::string OperationStamp(const Context& ctx) {
  return link::FormatTimeStamp(
      link::LocalTimeStamp(static_cast<std::time_t>(ctx.link.OperationTime)));
}

void StartAppReadBack(Context& ctx, std::function<void()> onDone) {
  ctx.read = ReadRequest{ctx.areas[data::kAppAreaIndex].areaAddr, 0, std::move(onDone)};
  ctx.link.CmdID = link::MsgAppBackupStart;
  StartCommand(ctx);
}

void StartAreaReadBack(Context& ctx, std::function<void()> onDone) {
  if (BackupAreaCount(ctx) == 0) {
    if (onDone)
      onDone();
    return;
  }
  // The folder comes first: without it no area could be kept.
  if (!MakeDataBackupFolder(ctx))
    return;
  ctx.read = ReadRequest{0, 0, std::move(onDone)};
  ctx.link.CmdID = link::MsgParaBackupStart;
  StartCommand(ctx);
}

bool MakeDataBackupFolder(Context& ctx) {
  LinkState& s = ctx.link;
  const std::shared_ptr<Operation> operation = ctx.operations.Current();
  const data::DataFolderNaming naming =
      operation ? operation->AreaFolderNaming() : data::DataFolderNaming::kReuseSameStamp;
  const std::string stamp = OperationStamp(ctx);
  const auto folder = data::CreateDataBackupFolder(ctx.programDir, ctx.port.number,
                                                   ctx.device.ParaVersion, stamp, naming);
  if (!folder) {
    EndWithFileError(ctx,
                     data::PortBackupFolder(ctx.programDir, ctx.port.number) + "/Data/" +
                         ctx.device.ParaVersion + "/" + stamp,
                     "BackupFolderErr");
    return false;
  }
  s.BackupFolderName = folder->name;
  s.BackupFolder = folder->path;
  s.DataBackupFolder = folder->path;
  return true;
}

bool WriteBackupFile(Context& ctx, const std::string& path, const link::Bytes& bytes,
                     std::size_t count) {
  const link::Bytes whole(
      bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(std::min(count, bytes.size())));
  if (data::WriteVerifiedFile(path, whole)) {
    ctx.stages.backedUp = true;
    return true;
  }
  EndWithFileError(ctx, path, "BackupWriteErr");
  return false;
}

void OnAppBackupBlock(Context& ctx, link::ByteView payload) {
  const std::optional<ReceivedBlock> received = ReceiveBlock(ctx, payload, AppSeries());
  if (!received)
    return;
  LinkState& s = ctx.link;
  if (received->first)
    RestartReadTimers(ctx);
  if (!received->last) {
    ctx.Send(link::MsgAppBackupAck, link::ReadBackAckPayload(false));
    return;
  }
  // The terminal's read ends with this block whatever the PC does with it.
  ctx.Send(link::MsgAppBackupAck, link::ReadBackAckPayload(true));
  for (int id : {kTimerSilence, kTimerReadBack})
    ctx.loop.StopTimer(id);
  const auto folder = data::CreateAppBackupFolder(ctx.programDir, ctx.port.number,
                                                  ctx.device.CurAppVersion, OperationStamp(ctx));
  if (!folder) {
    EndWithFileError(ctx,
                     data::PortBackupFolder(ctx.programDir, ctx.port.number) + "/SW/" +
                         ctx.device.CurAppVersion + "/" + OperationStamp(ctx),
                     "BackupFolderErr");
    return;
  }
  s.BackupFolder = *folder;
  const std::string path = *folder + "/" + ctx.areas[data::kAppAreaIndex].fileName;
  if (!WriteBackupFile(ctx, path, s.buffers.backupImage, s.BackupOffset))
    return;
  s.AppBackupFile = path;
  link::Bytes().swap(s.buffers.backupImage);
  s.BackupOffset = 0;
  s.FirstBlock = 1;
  s.PendingBlockId = 0;
  ctx.loop.Sleep(2);
  FinishRead(ctx);
}

void OnParaBackupBlock(Context& ctx, link::ByteView payload) {
  const std::optional<ReceivedBlock> received = ReceiveBlock(ctx, payload, ParaSeries());
  if (!received)
    return;
  LinkState& s = ctx.link;
  s.gOverTimeNum = 0;
  if (received->first)
    RestartReadTimers(ctx);
  if (!received->last) {
    ctx.Send(link::MsgParaBackupAck, link::ReadBackAckPayload(false));
    return;
  }
  ctx.loop.StopTimer(kTimerReadBack);
  const std::size_t index = std::min<std::size_t>(s.StepIndex, ctx.areas.size() - 1);
  const std::string path = s.BackupFolder + "/" + ctx.areas[index].fileName;
  if (!WriteBackupFile(ctx, path, s.buffers.backupImage, s.BackupOffset)) {
    ctx.Send(link::MsgParaBackupAck, link::ReadBackAckPayload(true));
    return;
  }
  ++s.StepIndex;
  s.FirstBlock = 1;
  if (s.StepIndex < BackupAreaCount(ctx)) {
    // The next request ends this area's read in the terminal.
    SendAreaRequest(ctx);
    return;
  }
  ctx.loop.StopTimer(kTimerSilence);
  ctx.Send(link::MsgParaBackupAck, link::ReadBackAckPayload(true));
  link::Bytes().swap(s.buffers.backupImage);
  s.PendingBlockId = 0;
  s.gOneCmdTime = 0;
  ctx.loop.StopTimer(kTimerE2Pace);
  ctx.loop.StartTimer(kTimerE2Pace, kShortestTimerMs);
  if (const std::shared_ptr<Operation> operation = ctx.operations.Current()) {
    if (const auto next = operation->CommandAfterAreaReadBack())
      s.CmdID = *next;
  }
}

void RegisterBackupRead(Context& ctx) {
  HandlerTables& h = ctx.handlers;
  h.onMessage[link::MsgAppBackupBlock] = [&ctx](link::ByteView p) { OnAppBackupBlock(ctx, p); };
  h.onMessage[link::MsgParaBackupBlock] = [&ctx](link::ByteView p) { OnParaBackupBlock(ctx, p); };
  h.sendFirst[link::MsgAppBackupStart] = [&ctx] { SendAppBackupStart(ctx); };
  h.sendFirst[link::MsgParaBackupStart] = [&ctx] { SendAreaRequest(ctx); };
  h.resendAfterCrc[link::MsgAppBackupStart] = [&ctx] {
    ctx.SendFrame(link::ResendRequestFrame(link::MsgAppBackupBlock,
                                           ctx.areas[data::kAppAreaIndex].areaAddr,
                                           ctx.link.gFrameSum, ctx.link.gFrameNum));
  };
  h.resendAfterCrc[link::MsgParaBackupStart] = [&ctx] {
    const std::size_t index = std::min<std::size_t>(ctx.link.StepIndex, ctx.areas.size() - 1);
    ctx.SendFrame(link::ResendRequestFrame(link::MsgParaBackupBlock, ctx.areas[index].areaAddr,
                                           ctx.link.gFrameSum, ctx.link.gFrameNum));
  };
}

}  // namespace tavro::engine

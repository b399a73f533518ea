#include "operations/download_setup.hpp"

#include <algorithm>
#include <cstdio>

#include "data/file_io.hpp"
#include "data/number_parse.hpp"
#include "engine/backup_read.hpp"
#include "engine/download_stage.hpp"
#include "engine/stage_control.hpp"
#include "engine/stage_summary.hpp"
#include "link/messages.hpp"
#include "operations/data_version_decision.hpp"
#include "operations/download.hpp"
#include "operations/download_progress.hpp"
#include "operations/file_set_check.hpp"
#include "operations/operation_checks.hpp"
#include "operations/read_back_flow.hpp"
#include "operations/view_info.hpp"
#include "platform/control_ids.hpp"

namespace tavro::operations {

using engine::Context;

std::shared_ptr<TransferState> RunningTransfer(const Context& ctx) {
  const auto transfer = std::dynamic_pointer_cast<TransferOperation>(ctx.operations.Current());
  return transfer ? transfer->shared_state() : std::make_shared<TransferState>();
}

void TransferOperation::OnIdentified(Context& ctx, engine::Identification how) {
  if (how == engine::Identification::kWithinOperation) {
    ContinueIdentified(ctx);
    return;
  }
  // A terminal that restarted mid-operation: the operation goes on from
  // where the restart left it.
  const AfterRestart after = state_->afterRestart;
  state_->afterRestart = AfterRestart::kShowDeviceInfo;
  switch (after) {
    case AfterRestart::kNextStage:
      // The terminal restarted without the new bootloader (the loader was
      // cut off): data for the new generation must not follow. Nothing has
      // been written yet, so the next Upgrade starts afresh without a record.
      if (AwaitsNewBootloader(ctx)) {
        DeleteResumeRecords(ctx);
        state_->recordResumable = false;
        engine::SetBusy(ctx, engine::WindowState::kIdle);
        ctx.AppendInfoText("\r\n" + ctx.Text("Ext_BlNotUpgraded"));
        ctx.Refresh();
        ctx.MessageBox(ctx.Text("Ext_BlNotUpgraded"), platform::kBoxError);
        return;
      }
      engine::NextDownloadStage(ctx);
      return;
    case AfterRestart::kReadAppInfo:
      ctx.link.CmdID = link::MsgReadAppInfo;
      engine::StartCommand(ctx);
      return;
    case AfterRestart::kShowDeviceInfo:
      ShowDeviceInfo(ctx);
      return;
  }
}

engine::RamProgram TransferOperation::RamProgramToSend() const {
  return state_->afterRestart == AfterRestart::kReadAppInfo
             ? engine::RamProgram::kE2Check
             : engine::RamProgram::kBootloaderUpgrade;
}

std::optional<data::DownloadRecordPaths> TransferOperation::DownloadRecord() const {
  return state_->record;
}

std::optional<std::string> TransferOperation::ResumableRecord() const {
  if (!state_->recordResumable || !state_->record)
    return std::nullopt;
  return state_->record->record;
}

void TransferOperation::OnReturnToIdle(Context& ctx) {
  // The completion replaces the live lines with its own; lines still there
  // froze where the operation stopped, so a line saying it stopped takes
  // their place (the box says why). The notes (a resume, a conversion) stay:
  // they happened. The area never goes empty here, since an empty one makes
  // a later run report read as a finished operation.
  if (!state_->stagesOnScreen.empty() && ctx.InfoText() == state_->stagesOnScreen)
    ctx.SetInfoText(ctx.Text("Ext_Stopped") + engine::StageNotesText(ctx.stages));
}

void TransferOperation::OnProgressTick(Context& ctx, int timerId) {
  if (timerId == engine::kTimerProgress)
    ShowDownloadStages(ctx);
}

void TransferOperation::OnReadBackDone(Context& ctx) {
  ctx.link.CmdID = link::CmdParaBackupDone;
  ContinueAfterReadBack(ctx);
}

void TransferOperation::ContinueAfterReadBack(Context& ctx) {
  DataVersionDecision(ctx);
}

void TransferOperation::ContinueIdentified(Context& ctx) {
  ReadBackForDecision(ctx);
}

bool SetUpTransfer(Context& ctx, const TransferStart& start) {
  engine::LinkState& s = ctx.link;
  if (const auto bootloader = engine::FirstFileIn(ctx.Path("/Data/Bl"), "*.bin"))
    s.NewBlFile = bootloader->find(start.bootloaderMarker) != std::string::npos ? 1 : 0;
  s.AppBackupToSend.reset();
  if (!ReadPackageAppVersion(ctx)) {
    engine::SetBusy(ctx, engine::WindowState::kIdle);
    return false;
  }
  ShowDownloadLines(ctx);
  // What this operation does is told afresh; the versions before are those
  // of the identification that let it start.
  ctx.stages = engine::StageSummary{};
  ctx.stages.appBefore = ctx.device.CurAppIntact ? ctx.device.CurAppVersion : std::string();
  ctx.stages.dataBefore = ctx.device.ParaIntact ? ctx.device.ParaVersion : std::string();
  s.OperationTime = ctx.loop.WallTime();
  ctx.Log(1, std::string("\r\n\r\n") + start.banner + engine::OperationStamp(ctx));
  s.FlashCopyPending = ctx.device.BlVersion >= engine::kBlE2prom || MovesToE2prom(ctx) ? 1 : 0;

  const bool checkE2Image = engine::FirstFileIn(ctx.Path("/Data/Bl/CheckE2"), "*.bin").has_value();
  TransferState& t = *RunningTransfer(ctx);
  t.afterRestart = AfterRestart::kShowDeviceInfo;
  if (ctx.device.BlVersion < 0x210 &&
      (!start.markerWriteNeedsConfig || ctx.package.blUpDataConfig != 0)) {
    s.CmdID = link::MsgFlashWriteBlock;
  } else if (MovesToE2prom(ctx) && checkE2Image) {
    t.afterRestart = AfterRestart::kReadAppInfo;
    s.CmdID = link::MsgRamBlock;
  } else {
    s.CmdID = link::MsgReadAppInfo;
  }
  ShowDownloadProgress(ctx);
  return true;
}

bool ReadPackageAppVersion(Context& ctx) {
  const auto app = engine::FirstFileIn(AppFolder(ctx, ctx.link.NewBlFile == 1), "*.bin");
  if (!app)
    return true;
  data::ReadError why = data::ReadError::kNone;
  const auto bytes = data::ReadWholeFile(*app, &why);
  if (!bytes || bytes->size() < 64 + 16) {
    const bool missing = !bytes && why == data::ReadError::kCannotOpen;
    ctx.MessageBox(*app + ctx.Text(missing ? "F_NotExist" : "F_ReadInErr"), platform::kBoxError);
    return false;
  }
  const std::uint8_t* v = bytes->data() + 64;
  char text[32];
  std::snprintf(text, sizeof text, "%x.%x.%x.%x", v[3], v[2], v[1], v[0]);
  ctx.link.FileVersion = text;
  return true;
}

void ShowDownloadLines(Context& ctx) {
  std::string text = "  " + ctx.Text("Dis_GetInfo") + "(0%)";
  for (const char* key : {"Dis_Backup2PC", "Dis_DataConv", "Dis_Download", "Dis_DevRun"})
    text += "\r\n\r\n  " + ctx.Text(key);
  RunningTransfer(ctx)->stagesOnScreen = text;
  ctx.SetInfoText(std::move(text));
  const std::uint32_t blanks = data::ParseAutoBase(ctx.Text("Sw_Warning_Blank"));
  ctx.controls.SetText(
      platform::kWarningText,
      std::string(std::min<std::uint32_t>(blanks, 200), ' ') + ctx.Text("Sw_Warning"));
}

void ShowDownloadProgress(Context& ctx) {
  ctx.controls.SetVisible(platform::kWarningText, true);
  ctx.controls.SetVisible(platform::kProgressNote, true);
  ctx.controls.SetRange(platform::kProgressBar, 0, static_cast<int>(engine::kProgressFull));
  ctx.controls.SetPos(platform::kProgressBar, 0);
  ctx.controls.SetVisible(platform::kProgressBar, true);
  ctx.Refresh();
  ctx.link.ElapsedSec = 0;
  ctx.loop.StopTimer(engine::kTimerProgress);
  ctx.loop.StartTimer(engine::kTimerProgress, 1000);
}

bool MovesToE2prom(const Context& ctx) {
  const std::uint16_t bl = ctx.device.BlVersion;
  return bl >= 0x220 && bl < engine::kBlE2prom && ctx.link.NewBlFile == 1 &&
         ctx.package.blUpDataConfig != 0;
}

void ReadBackForDecision(Context& ctx) {
  const std::shared_ptr<TransferState> t = RunningTransfer(ctx);
  t->appBackup = AppBackupChoice::kDecided;
  if (ctx.device.CurAppIntact && ctx.link.DownloadApp == 1 && AskBackupApp(ctx))
    t->appBackup = AppBackupChoice::kBackUpFirst;
  if (t->appBackup == AppBackupChoice::kBackUpFirst) {
    engine::StartAppReadBack(ctx, [&ctx] { ContinueAfterAppReadBack(ctx); });
  } else if (ctx.device.ParaIntact) {
    ReadBackParameterData(ctx);
  } else {
    EndReadBack(ctx);
  }
}

}  // namespace tavro::operations

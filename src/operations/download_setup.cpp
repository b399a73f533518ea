#include "operations/download_setup.hpp"

#include <algorithm>
#include <cstdio>

#include "data/file_io.hpp"
#include "data/number_parse.hpp"
#include "engine/backup_read.hpp"
#include "engine/download_stage.hpp"
#include "engine/stage_control.hpp"
#include "link/messages.hpp"
#include "operations/data_version_decision.hpp"
#include "operations/download.hpp"
#include "operations/download_progress.hpp"
#include "operations/file_set_check.hpp"
#include "operations/read_back_flow.hpp"
#include "operations/view_info.hpp"
#include "platform/control_ids.hpp"

namespace tavro::operations {

using engine::Context;

void TransferOperation::OnIdentified(Context& ctx, engine::Identification how) {
  if (how == engine::Identification::kFresh) {
    ShowDeviceInfo(ctx);
    return;
  }
  ContinueIdentified(ctx);
}

void TransferOperation::OnProgressTick(Context& ctx, int timerId) {
  if (timerId == engine::kTimerProgress)
    ShowDownloadStages(ctx);
}

void TransferOperation::OnReadBackDone(Context& ctx) {
  ctx.link.CmdID = link::CmdParaBackupDone;
  DataVersionDecision(ctx);
}

void TransferOperation::ContinueIdentified(Context& ctx) {
  ReadBackForDecision(ctx);
}

bool SetUpTransfer(Context& ctx, const TransferStart& start) {
  engine::LinkState& s = ctx.link;
  if (const auto bootloader = engine::FirstFileIn(ctx.Path("/Data/Bl"), "*.bin"))
    s.NewBlFile = bootloader->find(start.bootloaderMarker) != std::string::npos ? 1 : 0;
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
  s.AfterInfoAction = 0;
  if (ctx.device.BlVersion < 0x210 &&
      (!start.markerWriteNeedsConfig || ctx.package.blUpDataConfig != 0)) {
    s.CmdID = link::MsgFlashWriteBlock;
  } else if (MovesToE2prom(ctx) && checkE2Image) {
    s.AfterInfoAction = 1;
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
  engine::LinkState& s = ctx.link;
  s.BakAppPromptState = 3;
  if (ctx.device.CurAppIntact && s.DownloadApp == 1 && AskBackupApp(ctx))
    s.BakAppPromptState = 2;
  if (s.BakAppPromptState == 2) {
    engine::StartAppReadBack(ctx, [&ctx] { ContinueAfterAppReadBack(ctx); });
  } else if (ctx.device.ParaIntact) {
    ReadBackParameterData(ctx);
  } else {
    EndReadBack(ctx);
  }
}

}  // namespace tavro::operations

#include "operations/download_decision.hpp"

#include <cstdio>

#include "data/backup_tree.hpp"
#include "data/download_record.hpp"
#include "data/file_io.hpp"
#include "engine/download_stage.hpp"
#include "engine/stage_control.hpp"
#include "link/messages.hpp"
#include "operations/init_data_check.hpp"
#include "operations/operation_checks.hpp"
#include "platform/control_ids.hpp"

namespace tavro::operations {
namespace {

using engine::Context;

std::string Hex(std::uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "%X", v);
  return text;
}

void LogTerminalState(Context& ctx) {
  const engine::DeviceInfo& d = ctx.device;
  std::string entry = "\r\nConv";
  entry += d.CurAppIntact ? "\r\nAppCurIntgOk_" + d.CurAppVersion + "-" + d.CurAppModel
                          : std::string("\r\nAppCurIntgErr");
  entry += d.BakAppIntact ? "\r\nAppBakIntgOk_" + d.BakAppVersion + "-" + d.BakAppModel
                          : std::string("\r\nAppBakIntgErr");
  entry += d.ParaIntact ? "\r\nParaIntgOk_" + d.ParaVersion + "-" + d.ParaModel
                        : std::string("\r\nParaIntgErr");
  ctx.Log(1, entry);
}

bool RamStageFirst(const Context& ctx) {
  const std::uint32_t config = ctx.package.blUpDataConfig;
  const std::uint16_t bl = ctx.device.BlVersion;
  const bool flashGeneration = (bl >= 0x200 && bl <= 0x20F) || (bl >= 0x220 && bl <= 0x22F);
  return ctx.link.NewBlFile == 1 && (config == 2 || (config != 0 && flashGeneration));
}

}  // namespace

void DownloadDataDecision(Context& ctx) {
  engine::LinkState& s = ctx.link;
  const std::uint32_t dest = data::ReadDestVersion(ctx.programDir);
  LogTerminalState(ctx);
  if (ctx.device.ParaIntact) {
    ctx.Log(1, "\r\nDestVer_" + Hex(dest));
    if (!ctx.device.ParaVersionBcd)
      ctx.device.ParaVersionNum = 1;
    // The package's initial data replaces the terminal's.
    if (!CheckInitData(ctx))
      return;
  } else {
    if (!CheckInitData(ctx))
      return;
    const std::string question = ctx.Text("Run_Intg_Warn_L0") + "\r\n" +
                                 ctx.Text("Run_Intg_Warn_L1") + "\r\n" +
                                 ctx.Text("Run_Intg_Warn_L2");
    if (ctx.MessageBox(question, platform::kBoxOkCancel) == platform::kButtonOk) {
      s.DownloadData = 1;
      ctx.Log(1, "\r\nDL initData");
    } else {
      s.DownloadData = 0;
      ctx.Log(1, "\r\nUnDL initData");
    }
  }
  StartDownloadStages(ctx);
}

void StartDownloadStages(Context& ctx) {
  engine::LinkState& s = ctx.link;
  DeleteResumeRecords(ctx);
  if (s.DownloadData == 0)
    s.ParaPath = "NoDlPara";
  s.OperationTime = ctx.loop.WallTime();
  const bool e2 = ctx.device.BlVersion >= engine::kBlE2prom;
  const data::DownloadRecord record = data::CreateDownloadRecord(
      ctx.programDir, ctx.port.number, static_cast<std::time_t>(s.OperationTime), s.ParaPath,
      e2 ? data::ParaForm::kE2prom : data::ParaForm::kFlash, ctx.package.paraFileRequisiteNum);
  if (!record.result.ok()) {
    // Without its record an interrupted download could not be resumed.
    engine::SetBusy(ctx, engine::WindowState::kIdle);
    ctx.MessageBox(record.result.path + ctx.Text("F_NotExist"), platform::kBoxError);
    return;
  }
  s.RecordPath = record.paths.record;
  s.RecordCopyPath = record.paths.copy;
  if (RamStageFirst(ctx)) {
    s.ContinueDownload = 1;
    s.ImageLoaded = 0;
    s.CmdID = link::MsgRamBlock;
    engine::StartCommand(ctx);
    return;
  }
  engine::NextDownloadStage(ctx);
}

}  // namespace tavro::operations

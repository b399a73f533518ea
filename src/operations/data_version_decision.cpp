#include "operations/data_version_decision.hpp"

#include <cstdio>

#include "data/backup_tree.hpp"
#include "data/download_record.hpp"
#include "data/file_io.hpp"
#include "data/para_header.hpp"
#include "data/para_images.hpp"
#include "data/terminal_convert.hpp"
#include "engine/download_stage.hpp"
#include "engine/stage_control.hpp"
#include "link/messages.hpp"
#include "operations/convert_report.hpp"
#include "operations/device_info_decode.hpp"
#include "operations/download_setup.hpp"
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

// Data versions from 1.3 on may move from the Flash areas to the E2PROM.
constexpr std::uint32_t kFirstE2promDataVersion = 0x01030000;

// The terminal's data is Flash images and the terminal takes the E2PROM
// layout in this upgrade.
bool MovesDataToE2prom(const Context& ctx, std::uint32_t cur) {
  return cur >= kFirstE2promDataVersion && MovesToE2prom(ctx);
}

// Builds E2.dat in the read-back folder from the terminal's Flash images;
// false with the failed image named.
bool BuildE2Image(Context& ctx) {
  ctx.Log(1, "\r\nDTypeF2E");
  const data::FileResult built = data::BuildE2ImageFromFlash(ctx.link.DataBackupFolder);
  if (built.ok())
    return true;
  ctx.Refresh();
  const bool missing =
      built.error == data::FileError::kNotExist || built.error == data::FileError::kWriteFailed;
  ctx.MessageBox(built.path + ctx.Text(missing ? "F_NotExist" : "F_ReadInErr"),
                 platform::kBoxError);
  return false;
}

int ConvertTerminalData(Context& ctx, std::uint32_t cur, std::uint32_t dest, bool toE2) {
  data::TerminalConversion request;
  request.programDir = ctx.programDir;
  request.comPort = ctx.port.number;
  request.blVersion = ctx.device.BlVersion;
  request.blUpDataConfig = ctx.package.blUpDataConfig;
  request.dataVersion = cur;
  request.backupFolder = ctx.link.DataBackupFolder;
  request.backupSetName = ctx.link.BackupFolderName;
  request.stamp = engine::OperationTimeStamp(ctx);
  request.targetVersion = dest;
  request.toE2 = toE2;
  const data::TerminalConversionResult result = data::ConvertTerminalData(request);
  for (const std::string& line : result.logLines)
    ctx.Log(1, line);
  for (const data::ConvertError& notice : result.chain.notices)
    ReportConvertError(ctx, notice);
  if (result.code == data::kConvertFailed)
    ReportConvertError(ctx, result.chain.error);
  if (result.code == data::kConvertReached && !result.paraPath.empty())
    ctx.link.ParaPath = result.paraPath;
  return result.code;
}

// The terminal's own data brought to the package's data version; false when
// the operation has ended.
bool DecideUpgradeData(Context& ctx, std::uint32_t cur, std::uint32_t dest) {
  engine::LinkState& s = ctx.link;
  const bool toE2 = MovesDataToE2prom(ctx, cur);
  if (!toE2 && cur == dest) {
    // Already at the destination: the oldest generation takes its own data
    // back, the others keep theirs.
    const std::uint16_t bl = ctx.device.BlVersion;
    if (bl >= 0x200 && bl <= 0x20F) {
      s.ParaPath = s.DataBackupFolder;
      s.DownloadData = 1;
    } else {
      s.DownloadData = 0;
    }
    return true;
  }
  s.DownloadData = 1;
  int r = data::kConvertFailed;
  if (toE2) {
    r = BuildE2Image(ctx) ? data::kConvertReached : data::kConvertFailed;
    s.ParaPath = s.DataBackupFolder;
  }
  if (cur < dest) {
    // A half-built E2PROM image is never converted.
    if (!toE2 || r == data::kConvertReached)
      r = ConvertTerminalData(ctx, cur, dest, toE2);
  } else if (cur > dest) {
    r = data::kConvertNoRule;  // there is no downgrade
  }
  if (r == data::kConvertFailed) {
    ctx.LogCommandState(1, "ParaConvErr");
    engine::SetBusy(ctx, engine::WindowState::kIdle);
    ctx.MessageBox(ctx.Text("F_DataConvErr"), platform::kBoxError);
    return false;
  }
  if (r == data::kConvertNoRule) {
    ctx.LogCommandState(1, "NoRule_End");
    ctx.SetInfoText(ctx.Text("Sw_UpdateStop"));
    engine::SetBusy(ctx, engine::WindowState::kIdle);
    ctx.Refresh();
    ctx.MessageBox(ctx.Text("F_NoUpRuleErr"), platform::kBoxError);
    return false;
  }
  s.DownloadData = 1;
  RunningTransfer(ctx)->dataMovesToE2prom = toE2;
  ctx.stages.converted = true;
  const std::string note = ctx.Text("Ext_ConvertedFrom") + " " + VersionText(cur) + " " +
                           ctx.Text("Ext_ConvertedTo") + " " + VersionText(dest);
  ctx.stages.notes.push_back(note);
  ctx.Log(1, "\r\n" + note);
  return true;
}

// The time stamp of the terminal's data as identified before this download:
// a record keeps it, so that a terminal whose rewrite began but stored
// nothing yet is still known as the one the record belongs to.
std::string TerminalDataTime(const Context& ctx) {
  if (ctx.device.BlVersion >= engine::kBlE2prom)
    return ctx.device.ParaTimestamp;
  const auto header = data::DecodeParaHeader(
      link::ByteView(ctx.device.ParaHeaderTable.data(), engine::kParaHeaderSize));
  return header ? data::TimeText(*header) : std::string();
}

}  // namespace

void DataVersionDecision(Context& ctx) {
  engine::LinkState& s = ctx.link;
  const std::uint32_t dest = data::ReadDestVersion(ctx.programDir);
  LogTerminalState(ctx);
  if (ctx.device.ParaIntact) {
    ctx.Log(1, "\r\nDestVer_" + Hex(dest));
    if (!ctx.device.ParaVersionBcd)
      ctx.device.ParaVersionNum = 1;
    const std::uint32_t cur = ctx.device.ParaVersionNum;
    if (RunningTransfer(ctx)->plainDownload) {
      // The package's initial data replaces the terminal's.
      if (!CheckInitData(ctx))
        return;
    } else if (!DecideUpgradeData(ctx, cur, dest)) {
      return;
    }
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

bool AwaitsNewBootloader(const Context& ctx) {
  return RamStageFirst(ctx) && ctx.device.BlVersion < engine::kBlE2prom;
}

bool MakeDownloadRecord(Context& ctx) {
  engine::LinkState& s = ctx.link;
  DeleteResumeRecords(ctx);
  if (s.DownloadData == 0)
    s.ParaPath.reset();
  s.OperationTime = ctx.loop.WallTime();
  const bool e2 = ctx.device.BlVersion >= engine::kBlE2prom;
  const data::DownloadRecord record = data::CreateDownloadRecord(
      ctx.programDir, ctx.port.number, static_cast<std::time_t>(s.OperationTime),
      s.ParaPath.value_or(data::kRecordNoDataSet),
      e2 ? data::ParaForm::kE2prom : data::ParaForm::kFlash, ctx.package.paraFileRequisiteNum,
      TerminalDataTime(ctx));
  if (!record.result.ok()) {
    // Without its record an interrupted download could not be resumed.
    engine::SetBusy(ctx, engine::WindowState::kIdle);
    ctx.MessageBox(record.result.path + ctx.Text("F_NotExist"), platform::kBoxError);
    return false;
  }
  TransferState& t = *RunningTransfer(ctx);
  t.record = record.paths;
  t.recordResumable = true;
  // Cut after the new bootloader went in, the terminal keeps its data in the
  // E2PROM from then on while this record has the keys of Flash data: the
  // mark lets the next Upgrade resume with the saved E2PROM image.
  if (t.dataMovesToE2prom && s.DownloadData == 1 && !data::MarkRecordMovesToE2prom(record.paths)) {
    engine::SetBusy(ctx, engine::WindowState::kIdle);
    ctx.MessageBox(record.paths.record + ctx.Text("F_NotExist"), platform::kBoxError);
    return false;
  }
  return true;
}

void StartDownloadStages(Context& ctx) {
  engine::LinkState& s = ctx.link;
  if (s.DownloadData == 1)
    ctx.stages.dataAfter = VersionText(data::ReadDestVersion(ctx.programDir));
  if (!MakeDownloadRecord(ctx))
    return;
  TransferState& t = *RunningTransfer(ctx);
  if (RamStageFirst(ctx)) {
    t.afterRestart = AfterRestart::kNextStage;
    s.ImageLoaded = 0;
    s.CmdID = link::MsgRamBlock;
    engine::StartCommand(ctx);
    return;
  }
  engine::NextDownloadStage(ctx);
}

}  // namespace tavro::operations

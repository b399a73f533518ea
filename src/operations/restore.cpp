#include "operations/restore.hpp"

#include "data/backup_tree.hpp"
#include "data/restore_check.hpp"
#include "engine/backup_read.hpp"
#include "engine/download_stage.hpp"
#include "engine/stage_control.hpp"
#include "link/messages.hpp"
#include "link/payloads.hpp"
#include "operations/data_version_decision.hpp"
#include "operations/device_info_decode.hpp"
#include "operations/download_setup.hpp"
#include "operations/file_set_check.hpp"
#include "operations/operation_checks.hpp"
#include "operations/read_back_flow.hpp"
#include "platform/control_ids.hpp"

namespace tavro::operations {
namespace {

using engine::Context;

const char* RefusalKey(data::RestoreRefusal why) {
  switch (why) {
    case data::RestoreRefusal::kMissing:
      return "F_NotExist";
    case data::RestoreRefusal::kIncomplete:
      return "Ext_Restore_Incomplete";
    case data::RestoreRefusal::kOtherGeneration:
      return "Ext_Restore_OtherGeneration";
    case data::RestoreRefusal::kTooLarge:
      return "Ext_Restore_TooLarge";
    case data::RestoreRefusal::kModelDiffers:
      return "Ext_Restore_ModelDiffers";
    case data::RestoreRefusal::kDataVersionDiffers:
      return "Ext_Restore_DataVersion";
    case data::RestoreRefusal::kNone:
      break;
  }
  return "F_ReadInErr";
}

// The terminal's model as it reported it: its App's, else its data's (a
// conversion may give the data a model text of its own).
std::string TerminalModel(const engine::DeviceInfo& d) {
  if (d.CurAppIntact)
    return d.CurAppModel;
  return d.ParaIntact ? d.ParaModel : std::string();
}

std::size_t AppHeaderOffset(const engine::DeviceInfo& d) {
  const std::size_t units = d.SizeCode < 16 ? 16 : d.SizeCode;
  return units * 256 - link::kBlockSize;
}

class Restore final : public TransferOperation {
 public:
  explicit Restore(data::RestorePoint point) : TransferOperation(false), point_(std::move(point)) {}

  // The automatic backup never writes into a folder that exists, so the
  // restore point itself is never written into.
  data::DataFolderNaming AreaFolderNaming() const override {
    return data::DataFolderNaming::kNewFolderEachTime;
  }

 protected:
  void ContinueIdentified(Context& ctx) override {
    if (!Check(ctx) || !Confirm(ctx))
      return;
    BackUpTerminal(ctx);
  }
  void ContinueAfterReadBack(Context& ctx) override { SendRestorePoint(ctx); }

 private:
  bool Check(Context& ctx) {
    const engine::DeviceInfo& d = ctx.device;
    data::RestoreTerminal terminal;
    terminal.blVersion = d.BlVersion;
    terminal.model = TerminalModel(d);
    if (d.ParaIntact)
      terminal.dataVersion = d.ParaVersionNum;
    terminal.areas = &ctx.areas;
    terminal.requisiteNum = ctx.package.paraFileRequisiteNum;
    terminal.totalNum = ctx.package.paraFileTotalNum;
    terminal.appHeaderOffset = AppHeaderOffset(d);
    check_ = data::CheckRestorePoint(point_, terminal);
    if (check_.refusal == data::RestoreRefusal::kNone)
      return true;
    ctx.Log(1, "\r\nRestoreRefused\r\n" + check_.path);
    End(ctx, check_.path + ctx.Text(RefusalKey(check_.refusal)));
    return false;
  }

  std::string PointText(Context& ctx) const {
    const std::string app =
        check_.appVersion ? VersionText(*check_.appVersion) : ctx.Text("Ext_Restore_NoApp");
    return ReadableStamp(point_.stamp) + ", " + ctx.Text("Ext_SummaryApp") + " " + app + ", " +
           ctx.Text("Ext_SummaryData") + " " + VersionText(check_.dataVersion);
  }

  bool Confirm(Context& ctx) {
    const engine::DeviceInfo& d = ctx.device;
    const std::string app = d.CurAppIntact ? d.CurAppVersion : ctx.Text("Dis_Intg_ERR_CurApp");
    const std::string data = d.ParaIntact ? d.ParaVersion : ctx.Text("Dis_Intg_ERR_Para");
    const std::string text = ctx.Text("Ext_Restore_Ask") + "\r\n" + ctx.Text("Ext_Restore_Point") +
                             ": " + PointText(ctx) + "\r\n" + ctx.Text("Ext_Restore_Current") +
                             ": " + ctx.Text("Ext_SummaryApp") + " " + app + ", " +
                             ctx.Text("Ext_SummaryData") + " " + data + "\r\n" +
                             ctx.Text("Ext_Restore_BackupFirst");
    if (ctx.MessageBox(text, platform::kBoxOkCancel) == platform::kButtonOk)
      return true;
    ctx.Log(1, "\r\nRestoreCancel");
    engine::SetBusy(ctx, engine::WindowState::kIdle);
    ShowStopped(ctx);
    return false;
  }

  // What the terminal holds now is kept first, as Upgrade keeps it, so
  // that the restore can itself be undone.
  void BackUpTerminal(Context& ctx) {
    const std::shared_ptr<TransferState> t = RunningTransfer(ctx);
    t->appBackup = AppBackupChoice::kBackUpFirst;
    if (ctx.device.CurAppIntact) {
      engine::StartAppReadBack(ctx, [&ctx] { ContinueAfterAppReadBack(ctx); });
    } else {
      ContinueAfterAppReadBack(ctx);
    }
  }

  void SendRestorePoint(Context& ctx) {
    engine::LinkState& s = ctx.link;
    s.NewBlFile = 0;
    s.DownloadApp = point_.appFile ? 1 : 0;
    s.AppBackupToSend = point_.appFile;
    if (check_.appVersion)
      s.FileVersion = VersionText(*check_.appVersion);
    s.ParaPath = point_.dataFolder;
    s.DownloadData = 1;
    ctx.stages.dataAfter = VersionText(check_.dataVersion);
    const std::string note = ctx.Text("Ext_Restore_Done") + " " + PointText(ctx);
    ctx.stages.notes.push_back(note);
    ctx.Log(1, "\r\n" + note + "\r\n" + point_.dataFolder);
    if (!MakeDownloadRecord(ctx))
      return;
    // The package's resources belong to the package, not to the backup.
    engine::NextDownloadStage(ctx, true);
  }

  void End(Context& ctx, const std::string& message) {
    engine::SetBusy(ctx, engine::WindowState::kIdle);
    ctx.SetInfoText(message);
    ctx.Refresh();
    ctx.MessageBox(message, platform::kBoxError);
  }

  static void ShowStopped(Context& ctx) {
    ctx.SetInfoText(ctx.Text("Sw_UpdateStop"));
    ctx.Refresh();
  }

  data::RestorePoint point_;
  data::RestoreCheck check_;
};

// The lines and the progress of a download; no bootloader goes in.
void SetUpRestore(Context& ctx) {
  engine::LinkState& s = ctx.link;
  s.NewBlFile = 0;
  s.AppBackupToSend.reset();
  ShowDownloadLines(ctx);
  ctx.stages = engine::StageSummary{};
  ctx.stages.appBefore = ctx.device.CurAppIntact ? ctx.device.CurAppVersion : std::string();
  ctx.stages.dataBefore = ctx.device.ParaIntact ? ctx.device.ParaVersion : std::string();
  s.OperationTime = ctx.loop.WallTime();
  ctx.Log(1, "\r\n\r\nRestore-" + engine::OperationStamp(ctx));
  s.FlashCopyPending = ctx.device.BlVersion >= engine::kBlE2prom ? 1 : 0;
  RunningTransfer(ctx)->afterRestart = AfterRestart::kShowDeviceInfo;
  s.CmdID = link::MsgReadAppInfo;
  ShowDownloadProgress(ctx);
}

}  // namespace

std::shared_ptr<engine::Operation> MakeRestore(data::RestorePoint point) {
  return std::make_shared<Restore>(std::move(point));
}

void StartRestore(Context& ctx) {
  if (!RequireConnection(ctx))
    return;
  const std::optional<std::string> chosen =
      ctx.screen.ChooseFolder(data::PortBackupFolder(ctx.programDir, ctx.port.number) + "/Data");
  if (!chosen)
    return;
  const data::RestoreFolder folder = data::ResolveRestorePoint(ctx.programDir, *chosen);
  if (folder.check != data::RestoreFolderCheck::kOk) {
    const bool outside = folder.check == data::RestoreFolderCheck::kOutsideBackup;
    ctx.MessageBox(*chosen + ctx.Text(outside ? "Ext_Restore_Outside" : "Ext_Restore_NotBackup"),
                   platform::kBoxError);
    return;
  }
  ctx.operations.Install(MakeRestore(folder.point));
  if (!FileSetCheck(ctx, AreaCheck::kConnectedTerminal)) {
    engine::SetBusy(ctx, engine::WindowState::kIdle);
    return;
  }
  SetUpRestore(ctx);
  engine::StartCommand(ctx);
  ctx.Refresh();
}

}  // namespace tavro::operations

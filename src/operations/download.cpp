#include "operations/download.hpp"

#include <cstdio>

#include "data/backup_tree.hpp"
#include "data/file_io.hpp"
#include "data/number_parse.hpp"
#include "engine/backup_read.hpp"
#include "engine/download_stage.hpp"
#include "engine/stage_control.hpp"
#include "link/messages.hpp"
#include "operations/data_version_decision.hpp"
#include "operations/download_progress.hpp"
#include "operations/download_setup.hpp"
#include "operations/file_set_check.hpp"
#include "operations/identify.hpp"
#include "operations/operation_checks.hpp"
#include "operations/read_back_flow.hpp"
#include "operations/view_info.hpp"
#include "platform/control_ids.hpp"

namespace tavro::operations {
namespace {

using engine::Context;

constexpr const char* kPackageMarker = "/QZDownload.bin";

class Download final : public IdentifyingOperation {
 public:
  void OnIdentified(Context& ctx, engine::Identification how) override {
    // A terminal that restarted (new bootloader, E2PROM check) is shown, and
    // the display step goes on with the download.
    if (how == engine::Identification::kFresh) {
      ShowDeviceInfo(ctx);
      return;
    }
    ReadBackForDecision(ctx);
  }
  void OnProgressTick(Context& ctx, int timerId) override {
    if (timerId == engine::kTimerProgress)
      ShowDownloadStages(ctx);
  }
  void OnReadBackDone(Context& ctx) override {
    ctx.link.CmdID = link::CmdParaBackupDone;
    DataVersionDecision(ctx);
  }
};

}  // namespace

std::shared_ptr<engine::Operation> MakeDownload() {
  return std::make_shared<Download>();
}

bool AskBackupApp(Context& ctx) {
  const std::string text = ctx.Text("Run_Bak_App_Warn_L0") + ": " + ctx.device.CurAppVersion +
                           "\r\n" + ctx.Text("Run_Bak_App_Warn_L1") + ": " + ctx.link.FileVersion +
                           "\r\n" + ctx.Text("Run_Bak_App_Warn_L2") + "\r\n" +
                           ctx.Text("Run_Bak_App_Warn_L3");
  return ctx.MessageBox(text, platform::kBoxOkCancel) == platform::kButtonOk;
}

void StartDownload(Context& ctx) {
  engine::LinkState& s = ctx.link;
  if (!RequireConnection(ctx))
    return;
  ctx.operations.Install(MakeDownload());
  s.CheckDownloadFiles = 1;
  if (!FileSetCheck(ctx, AreaCheck::kConnectedTerminal)) {
    engine::SetBusy(ctx, engine::WindowState::kIdle);
    return;
  }
  if (!data::FileExists(ctx.Path(kPackageMarker))) {
    // No package is ready: the button only shows the finished stages.
    ctx.controls.SetText(platform::kDownloadButton, ctx.Text("B_Run"));
    ctx.SetInfoText("");
    ctx.Refresh();
    s.CmdID = link::CmdComplete;
    engine::StartCommand(ctx);
    return;
  }
  ctx.controls.SetText(platform::kDownloadButton, ctx.Text("B_Download"));
  const std::string warning = ctx.Text("Run_Dl_Warn_L0") + "\r\n" + ctx.Text("Run_Dl_Warn_L1") +
                              "\r\n" + ctx.Text("Run_Dl_Warn_L2");
  if (ctx.MessageBox(warning, platform::kBoxOkCancel) != platform::kButtonOk) {
    engine::SetBusy(ctx, engine::WindowState::kIdle);
    return;
  }
  DeleteResumeRecords(ctx);
  if (const auto bootloader = engine::FirstFileIn(ctx.Path("/Data/Bl"), "*.bin"))
    s.NewBlFile = bootloader->find("BL") != std::string::npos ? 1 : 0;
  const bool checkE2Image = engine::FirstFileIn(ctx.Path("/Data/Bl/CheckE2"), "*.bin").has_value();
  if (!ReadPackageAppVersion(ctx)) {
    engine::SetBusy(ctx, engine::WindowState::kIdle);
    return;
  }
  ShowDownloadLines(ctx);
  s.OperationTime = ctx.loop.WallTime();
  ctx.Log(1, "\r\n\r\nDlSW-" + engine::OperationStamp(ctx));
  s.FlashCopyPending = ctx.device.BlVersion >= engine::kBlE2prom || MovesToE2prom(ctx) ? 1 : 0;

  s.AfterInfoAction = 0;
  if (ctx.device.BlVersion < 0x210) {
    s.CmdID = link::MsgFlashWriteBlock;
  } else if (MovesToE2prom(ctx) && checkE2Image) {
    s.AfterInfoAction = 1;
    s.CmdID = link::MsgRamBlock;
  } else {
    s.CmdID = link::MsgReadAppInfo;
  }
  ShowDownloadProgress(ctx);
  s.BackupMode = 0;
  s.PlainDownload = 1;
  // The package is consumed: from now on the button offers "Run".
  data::RemoveFile(ctx.Path(kPackageMarker));
  engine::StartCommand(ctx);
  ctx.Refresh();
}

}  // namespace tavro::operations

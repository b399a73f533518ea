#include "operations/download.hpp"

#include "data/file_io.hpp"
#include "engine/download_stage.hpp"
#include "engine/stage_control.hpp"
#include "link/messages.hpp"
#include "operations/download_setup.hpp"
#include "operations/file_set_check.hpp"
#include "operations/operation_checks.hpp"
#include "platform/control_ids.hpp"

namespace tavro::operations {
namespace {

using engine::Context;

constexpr const char* kPackageMarker = "/QZDownload.bin";

class Download final : public TransferOperation {
 public:
  Download() : TransferOperation(true) {}
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
  if (!RequireConnection(ctx))
    return;
  ctx.operations.Install(MakeDownload());
  if (!FileSetCheck(ctx, AreaCheck::kConnectedTerminal, FileScope::kWithDownloadFiles)) {
    engine::SetBusy(ctx, engine::WindowState::kIdle);
    return;
  }
  if (!data::FileExists(ctx.Path(kPackageMarker))) {
    // No package is ready. Showing the finished stages here would claim a
    // download that never happened: say what is missing instead.
    ctx.controls.SetText(platform::kDownloadButton, ctx.Text("B_Run"));
    ctx.SetInfoText(ctx.Text("Ext_NoPackage"));
    engine::SetBusy(ctx, engine::WindowState::kIdle);
    ctx.MessageBox(ctx.Text("Ext_NoPackage"), platform::kBoxWarning);
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
  if (!SetUpTransfer(ctx, {"BL", "DlSW-", false}))
    return;
  // The package is consumed: from now on the button offers "Run", here and
  // in every other instance on this program directory.
  {
    const data::ProgramDirLock lock = ctx.LockSharedFiles();
    data::RemoveFile(ctx.Path(kPackageMarker));
  }
  engine::StartCommand(ctx);
  ctx.Refresh();
}

}  // namespace tavro::operations

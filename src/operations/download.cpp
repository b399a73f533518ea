#include "operations/download.hpp"

#include <cstdio>

#include "data/backup_tree.hpp"
#include "data/file_io.hpp"
#include "data/number_parse.hpp"
#include "engine/backup_read.hpp"
#include "engine/download_stage.hpp"
#include "engine/stage_control.hpp"
#include "link/messages.hpp"
#include "operations/download_decision.hpp"
#include "operations/download_progress.hpp"
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
    HandOver(ctx);
  }
  void OnProgressTick(Context& ctx, int timerId) override {
    if (timerId == engine::kTimerProgress)
      ShowDownloadStages(ctx);
  }
  void OnReadBackDone(Context& ctx) override {
    ctx.link.CmdID = link::CmdParaBackupDone;
    DownloadDataDecision(ctx);
  }

 private:
  // The identification within the download: the terminal's App first when
  // the technician wants it kept, then its parameter data, then the decision.
  static void HandOver(Context& ctx) {
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
};

// "%x.%x.%x.%x" of the four bytes at offset 64 of the App image, most
// significant first; false (with the message shown) when it cannot be read.
bool ReadFileVersion(Context& ctx, const std::string& path) {
  data::ReadError why = data::ReadError::kNone;
  const auto bytes = data::ReadWholeFile(path, &why);
  if (!bytes) {
    ctx.MessageBox(
        path + ctx.Text(why == data::ReadError::kCannotOpen ? "F_NotExist" : "F_ReadInErr"),
        platform::kBoxError);
    return false;
  }
  if (bytes->size() < 64 + 16) {
    ctx.MessageBox(path + ctx.Text("F_ReadInErr"), platform::kBoxError);
    return false;
  }
  const std::uint8_t* v = bytes->data() + 64;
  char text[32];
  std::snprintf(text, sizeof text, "%x.%x.%x.%x", v[3], v[2], v[1], v[0]);
  ctx.link.FileVersion = text;
  return true;
}

std::string StageLines(Context& ctx) {
  std::string text = "  " + ctx.Text("Dis_GetInfo") + "(0%)";
  for (const char* key : {"Dis_Backup2PC", "Dis_DataConv", "Dis_Download", "Dis_DevRun"})
    text += "\r\n\r\n  " + ctx.Text(key);
  return text;
}

bool MovesToE2prom(const Context& ctx) {
  const std::uint16_t bl = ctx.device.BlVersion;
  return bl >= 0x220 && bl < engine::kBlE2prom && ctx.link.NewBlFile == 1 &&
         ctx.package.blUpDataConfig != 0;
}

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

  const std::string appFolder = AppFolder(ctx, s.NewBlFile == 1);
  if (const auto app = engine::FirstFileIn(appFolder, "*.bin");
      app && !ReadFileVersion(ctx, *app)) {
    engine::SetBusy(ctx, engine::WindowState::kIdle);
    return;
  }
  ctx.SetInfoText(StageLines(ctx));
  const std::uint32_t blanks = data::ParseAutoBase(ctx.Text("Sw_Warning_Blank"));
  ctx.controls.SetText(
      platform::kWarningText,
      std::string(std::min<std::uint32_t>(blanks, 200), ' ') + ctx.Text("Sw_Warning"));
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
  ctx.controls.SetVisible(platform::kWarningText, true);
  ctx.controls.SetVisible(platform::kProgressNote, true);
  ctx.controls.SetRange(platform::kProgressBar, 0, static_cast<int>(engine::kProgressFull));
  ctx.controls.SetPos(platform::kProgressBar, 0);
  ctx.controls.SetVisible(platform::kProgressBar, true);
  ctx.Refresh();
  s.ElapsedSec = 0;
  ctx.loop.StopTimer(engine::kTimerProgress);
  ctx.loop.StartTimer(engine::kTimerProgress, 1000);
  s.BackupMode = 0;
  s.PlainDownload = 1;
  // The package is consumed: from now on the button offers "Run".
  data::RemoveFile(ctx.Path(kPackageMarker));
  engine::StartCommand(ctx);
  ctx.Refresh();
}

}  // namespace tavro::operations

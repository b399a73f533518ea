#include "operations/backup.hpp"

#include "engine/backup_read.hpp"
#include "engine/stage_control.hpp"
#include "link/messages.hpp"
#include "operations/backup_progress.hpp"
#include "operations/file_set_check.hpp"
#include "operations/identify.hpp"
#include "operations/operation_checks.hpp"
#include "operations/read_back_flow.hpp"
#include "operations/view_info.hpp"
#include "platform/control_ids.hpp"

namespace tavro::operations {
namespace {

using engine::Context;

constexpr int kBackupProgressMax = 1024;
constexpr std::size_t kWrapWidth = 75;

class Backup final : public IdentifyingOperation {
 public:
  explicit Backup(const engine::DeviceInfo& identified) : identified_(identified) {}

  // A terminal that restarted during the backup is identified again and
  // shown; the backup does not resume on its own.
  void OnIdentified(Context& ctx, engine::Identification) override {
    reidentified_ = true;
    ShowDeviceInfo(ctx);
  }
  void OnProgressTick(Context& ctx, int timerId) override {
    if (timerId == engine::kTimerBackupProgress)
      ShowBackupProgress(ctx);
  }
  void OnReadBackDone(Context& ctx) override { ShowBackupSummary(ctx); }
  // Every backup keeps its own folder, even two within one second.
  data::DataFolderNaming AreaFolderNaming() const override {
    return data::DataFolderNaming::kNewFolderEachTime;
  }
  // The read-back is the whole operation: its command stands until the
  // summary.
  std::optional<std::uint32_t> CommandAfterAreaReadBack() const override { return std::nullopt; }
  // What this backup's reads found (an area refused, no App) speaks for this
  // backup only: the next one, like one in a fresh window, starts from what
  // the terminal reported when it was identified. A terminal identified
  // anew meanwhile keeps what it reported then.
  void OnReturnToIdle(Context& ctx) override {
    if (!reidentified_ && ctx.link.DevIdentified == 1)
      ctx.device = identified_;
  }

 private:
  engine::DeviceInfo identified_;
  bool reidentified_ = false;
};

bool IsSeparator(char c) {
  return c == '/' || c == '\\';
}

}  // namespace

std::shared_ptr<engine::Operation> MakeBackup(const engine::DeviceInfo& identified) {
  return std::make_shared<Backup>(identified);
}

std::string WrapPath(const std::string& path) {
  std::string text = path;
  for (std::size_t n = kWrapWidth; n < text.size(); n += kWrapWidth) {
    std::size_t at = 0;
    for (std::size_t i = std::min(n, text.size()); i > 0; --i) {
      if (IsSeparator(text[i - 1])) {
        at = i - 1;
        break;
      }
    }
    // A name longer than a line is not broken again before the same
    // separator.
    if ((at >= 2 && text.compare(at - 2, 2, "\r\n") == 0) ||
        (at == 0 && text.compare(0, 2, "\r\n") == 0))
      continue;
    text.insert(at, "\r\n");
  }
  return text;
}

void StartBackup(Context& ctx) {
  engine::LinkState& s = ctx.link;
  if (!RequireConnection(ctx))
    return;
  ctx.operations.Install(MakeBackup(ctx.device));
  if (!FileSetCheck(ctx, AreaCheck::kConnectedTerminal)) {
    engine::SetBusy(ctx, engine::WindowState::kIdle);
    return;
  }
  s.OperationTime = ctx.loop.WallTime();
  ctx.Log(1, "\r\n\r\nBackup-" + engine::OperationStamp(ctx));
  s.AppBackupFile.clear();
  s.DataBackupFolder.clear();

  ctx.controls.SetVisible(platform::kWarningText, true);
  ctx.controls.SetVisible(platform::kProgressNote, false);
  ctx.controls.SetRange(platform::kProgressBar, 0, kBackupProgressMax);
  ctx.controls.SetPos(platform::kProgressBar, 0);
  ctx.controls.SetVisible(platform::kProgressBar, true);

  ctx.SetInfoText(ctx.Text("Dis_Backup2PC") + ":");
  ctx.Refresh();
  engine::StartAppReadBack(ctx, [&ctx] { ContinueAfterAppReadBack(ctx); });
  s.ElapsedSec = 0;
  ctx.loop.StopTimer(engine::kTimerBackupProgress);
  ctx.loop.StartTimer(engine::kTimerBackupProgress, 1000);
  ctx.Refresh();
}

void ShowBackupSummary(Context& ctx) {
  engine::LinkState& s = ctx.link;
  // Taken before the return to idle, which gives the window back what the
  // identification found.
  const engine::DeviceInfo d = ctx.device;
  engine::SetBusy(ctx, engine::WindowState::kIdle);
  ctx.controls.SetPos(platform::kProgressBar, kBackupProgressMax);
  s.TotalTimeText = ctx.Text("Dis_TotalTime") + ":" + std::to_string(s.ElapsedSec) + " S";
  ctx.controls.SetText(platform::kProgressNote, s.TotalTimeText);
  ctx.controls.SetVisible(platform::kProgressNote, true);

  std::string text = d.CurAppIntact ? "√" + ctx.Text("Dis_Backup2PC_App") + "(100%)"
                                    : "  " + ctx.Text("Dis_Intg_ERR_CurApp");
  text += d.ParaIntact ? "\r\n√" + ctx.Text("Dis_Backup2PC_Para") + "(100%)"
                       : "\r\n  " + ctx.Text("Dis_Intg_ERR_Para");
  if (d.CurAppIntact)
    text += "\r\n" + ctx.Text("Dis_Backup2PC_App_Path") + ":\r\n" + WrapPath(s.AppBackupFile);
  if (d.ParaIntact)
    text += "\r\n" + ctx.Text("Dis_Backup2PC_Para_Path") + ":\r\n" + WrapPath(s.DataBackupFolder);
  ctx.SetInfoText(std::move(text));
  ctx.MessageBox(ctx.Text("Sw_Backup_Ok"), platform::kBoxOk);
}

}  // namespace tavro::operations

#include "operations/view_info.hpp"

#include "engine/download_stage.hpp"
#include "engine/stage_control.hpp"
#include "engine/timer_engine.hpp"
#include "link/messages.hpp"
#include "operations/data_version_decision.hpp"
#include "operations/file_set_check.hpp"
#include "operations/identify.hpp"
#include "operations/operation_checks.hpp"
#include "platform/control_ids.hpp"

namespace tavro::operations {
namespace {

using engine::Context;

void HideProgress(Context& ctx) {
  ctx.controls.SetVisible(platform::kProgressBar, false);
  ctx.controls.SetVisible(platform::kWarningText, false);
  ctx.controls.SetVisible(platform::kProgressNote, false);
}

class ViewInfo final : public IdentifyingOperation {
 public:
  void OnIdentified(Context& ctx, engine::Identification) override { ShowDeviceInfo(ctx); }
};

}  // namespace

std::shared_ptr<engine::Operation> MakeViewInfo() {
  return std::make_shared<ViewInfo>();
}

void StartViewInfo(Context& ctx) {
  if (!ctx.serial.IsOpen()) {
    ctx.MessageBox(ctx.Text("C_ComClose"), platform::kBoxError);
    return;
  }
  ctx.operations.Install(MakeViewInfo());
  ctx.link.CheckDownloadFiles = 0;
  ctx.link.BackupMode = 0;
  ctx.link.PlainDownload = 0;
  if (!FileSetCheck(ctx)) {
    engine::SetBusy(ctx, engine::WindowState::kIdle);
    return;
  }
  ctx.SetInfoText(ctx.Text("Dis_GetInfo"));
  HideProgress(ctx);
  ctx.Refresh();
  // Whatever an earlier connect found belongs to that exchange, perhaps to
  // another terminal: this one starts with nothing known.
  ctx.device = engine::DeviceInfo{};
  engine::DropLink(ctx);
  ctx.link.ConnectRepeats = 0;
  ctx.link.CmdID = link::MsgConnect;
  engine::StartCommand(ctx);
  ctx.Refresh();
}

void ShowDeviceInfo(Context& ctx) {
  engine::LinkState& s = ctx.link;
  // A download that made the terminal restart goes on from here.
  if (s.ContinueDownload == 1) {
    s.ContinueDownload = 0;
    // The terminal restarted without the new bootloader (the loader was cut
    // off): data for the new generation must not follow. Nothing has been
    // written yet, so the next Upgrade starts afresh without a record.
    if (AwaitsNewBootloader(ctx)) {
      DeleteResumeRecords(ctx);
      engine::SetBusy(ctx, engine::WindowState::kIdle);
      ctx.AppendInfoText("\r\n" + ctx.Text("Ext_BlNotUpgraded"));
      ctx.Refresh();
      ctx.MessageBox(ctx.Text("Ext_BlNotUpgraded"), platform::kBoxError);
      return;
    }
    engine::NextDownloadStage(ctx);
    return;
  }
  if (s.AfterInfoAction == 1) {
    s.AfterInfoAction = 0;
    s.CmdID = link::MsgReadAppInfo;
    engine::StartCommand(ctx);
    return;
  }
  if (s.AfterInfoAction == 2) {
    s.AfterInfoAction = 0;
    engine::SetBusy(ctx, engine::WindowState::kIdle);
    ctx.SetInfoText("\r\nE2PROM" + ctx.Text("Run_StatusErr"));
    return;
  }
  const engine::DeviceInfo& d = ctx.device;
  HideProgress(ctx);
  std::string text = ctx.Text("Dis_Bl_Ver") + ": " + d.BlVersionText;
  text += "\r\n" + ctx.Text("Dis_ChipNum") + ": " + d.ChipNum;
  text += "\r\n" + ctx.Text("Dis_CompanyNum") + ": " + d.CompanyNum;
  text += "\r\n" + (d.CurAppIntact ? ctx.Text("Dis_Ver_CurApp") + ": " + d.CurAppVersion
                                   : ctx.Text("Dis_Intg_ERR_CurApp"));
  text += "\r\n" + (d.BakAppIntact ? ctx.Text("Dis_Ver_BakApp") + ": " + d.BakAppVersion
                                   : ctx.Text("Dis_Intg_ERR_BakApp"));
  text += "\r\n" + (d.ParaIntact ? ctx.Text("Dis_Ver_Para") + ": " + d.ParaVersion
                                 : ctx.Text("Dis_Intg_ERR_Para"));
  ctx.SetInfoText(std::move(text));

  struct PartCheck {
    bool intact;
    bool bcd;
    const char* name;
  };
  for (const PartCheck& part : {PartCheck{d.CurAppIntact, d.CurAppVersionBcd, "CurApp"},
                                PartCheck{d.BakAppIntact, d.BakAppVersionBcd, "BakApp"},
                                PartCheck{d.ParaIntact, d.ParaVersionBcd, "Para"}}) {
    if (!part.intact) {
      ctx.Log(1, std::string("\r\n\r\n") + part.name + "IntgErr");
    } else if (!part.bcd) {
      ctx.Log(1, std::string("\r\n\r\n") + part.name + "VerNumErr");
    }
  }
  engine::SetBusy(ctx, engine::WindowState::kIdle);
}

}  // namespace tavro::operations

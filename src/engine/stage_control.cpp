#include "engine/stage_control.hpp"

#include <array>

#include "data/file_io.hpp"
#include "engine/dispatch.hpp"
#include "engine/timer_engine.hpp"
#include "link/messages.hpp"
#include "link/payloads.hpp"
#include "platform/control_ids.hpp"

namespace tavro::engine {
namespace {

// The controls an operation disables while it runs.
constexpr std::array<int, 21> kBusyControls = {1001,
                                               1002,
                                               1003,
                                               1004,
                                               1005,
                                               1006,
                                               1007,
                                               1025,
                                               1026,
                                               1027,
                                               1009,
                                               1028,
                                               1051,
                                               1040,
                                               1053,
                                               platform::kDeviceInfoButton,
                                               platform::kUpgradeButton,
                                               platform::kPortList,
                                               platform::kPortButton,
                                               platform::kBackupButton,
                                               platform::kDownloadButton};

void Complete(Context& ctx) {
  SetBusy(ctx, true);
  ctx.controls.SetPos(platform::kProgressBar, static_cast<int>(kProgressFull));
  std::string text = "√" + ctx.Text("Dis_GetInfo") + "(100%)";
  text += "\r\n\r\n√" + ctx.Text("Dis_Backup2PC") + "(100%)";
  text += "\r\n\r\n√" + ctx.Text("Dis_DataConv") + "(100%)";
  text += "\r\n\r\n√" + ctx.Text("Dis_Download") + "(100%)";
  text += "\r\n\r\n√" + ctx.Text("Dis_DevRestart");
  ctx.SetInfoText(std::move(text));
  ctx.loop.Sleep(1);
  // The operation finished: its download record has nothing left to resume.
  if (!ctx.link.RecordPath.empty())
    data::RemoveFile(ctx.link.RecordPath);
  if (!ctx.link.RecordCopyPath.empty())
    data::RemoveFile(ctx.link.RecordCopyPath);
  ctx.Refresh();
  ctx.MessageBox(ctx.Text("Dis_DevRestart"), platform::kBoxOk);
}

}  // namespace

void StartCommand(Context& ctx) {
  LinkState& s = ctx.link;
  s.FrameRetryNum = 0;
  s.ImageLoaded = 0;
  s.StepIndex = 0;
  s.gOverTimeNum = 0;
  s.CrcErrNum = 0;
  s.gFrameNum = 0;
  s.gFrameSum = 0;
  s.Rx12007Run = 0;
  s.LastBlockNo = 0xFFFF;
  ctx.RxTextEcho = 0;
  for (int id = 1; id <= 8; ++id)
    ctx.loop.StopTimer(id);

  if (!ctx.serial.IsOpen()) {
    ctx.MessageBox(ctx.Text("C_ComClose"), platform::kBoxError);
    return;
  }
  if (s.CmdID - 12000u > 1000u) {
    ctx.MessageBox(ctx.Text("Cmd_Num_Err"), platform::kBoxError);
    return;
  }
  if (s.LinkUp == 0 && s.CmdID != link::MsgConnect && s.CmdID != link::CmdHandshake) {
    ctx.MessageBox(ctx.Text("Run_UnConnect"), platform::kBoxError);
    return;
  }
  if (s.CmdID == link::CmdComplete) {
    Complete(ctx);
    return;
  }
  ctx.controls.SetText(platform::kTermText, "");
  s.buffers.ReleaseAll();
  SetBusy(ctx, false);
  SendFirst(ctx, s.CmdID);
  s.gOneCmdTime = 0;
  ctx.loop.StopTimer(kTimerAnswer);
  ctx.loop.StartTimer(kTimerAnswer, 1000);
  ctx.Refresh();
}

void SetBusy(Context& ctx, bool idle) {
  if (idle) {
    for (int id = 1; id <= 10; ++id)
      ctx.loop.StopTimer(id);
    ctx.link.ContinueDownload = 0;
    ctx.link.ImageLoaded = 0;
    ctx.RxTextEcho = 1;
    for (int id : kBusyControls)
      ctx.controls.SetEnabled(id, true);
    const bool packageReady = data::FileExists(ctx.Path("/QZDownload.bin"));
    ctx.controls.SetText(platform::kDownloadButton,
                         ctx.Text(packageReady ? "B_Download" : "B_Run"));
  } else {
    for (int id : kBusyControls)
      ctx.controls.SetEnabled(id, false);
  }
}

void ReportRetryOverflow(Context& ctx, int kind) {
  for (int id = 1; id <= 8; ++id)
    ctx.loop.StopTimer(id);
  ctx.link.CrcErrNum = 0;
  static constexpr std::array<const char*, 4> kWords = {"Flash", "Time", "CRC", "E2"};
  const std::string word = (kind >= 0 && kind < 4) ? kWords[static_cast<std::size_t>(kind)] : "";
  const std::string message = word + ctx.Text("Run_ErrNumOver");
  SetBusy(ctx, true);
  ctx.link.buffers.ReleaseAll();
  ctx.MessageBox(message, platform::kBoxError);
}

bool ApplyBlockAck(Context& ctx, bool accepted, int kind, const std::function<void()>& resend) {
  if (accepted) {
    ctx.link.FrameRetryNum = 0;
    return true;
  }
  if (ctx.link.FrameRetryNum > 3) {
    ReportRetryOverflow(ctx, kind);
  } else {
    ++ctx.link.FrameRetryNum;
    resend();
  }
  return false;
}

bool ResendBlock(Context& ctx) {
  const auto it = ctx.handlers.blockSender.find(ctx.link.CmdID);
  if (it == ctx.handlers.blockSender.end())
    return false;
  it->second();
  return true;
}

void OnRxTimeout(Context& ctx) {
  if (ctx.link.Rx12007Run >= 3) {
    ctx.LogCommandState(1, "BL rec overtime End");
    ctx.AppendInfoText("\r\n" + ctx.Text("Run_ConnectOverTime"));
    SetBusy(ctx, true);
    // The command ends here, so its transfer buffers go with it.
    ctx.link.buffers.ReleaseAll();
    ctx.MessageBox(ctx.Text("Run_ConnectOverTime"), platform::kBoxError);
    return;
  }
  ResendBlock(ctx);
}

void ContinueAfterLinkQuery(Context& ctx) {
  ctx.link.CheckDownloadFiles = 1;
  const bool ok = ctx.handlers.fileSetCheck ? ctx.handlers.fileSetCheck() : true;
  if (ok) {
    // Read as a command of its own: a CRC error then asks for the App
    // information again, and a silent terminal times out.
    ctx.link.CmdID = link::MsgReadAppInfo;
    StartCommand(ctx);
  } else {
    SetBusy(ctx, true);
  }
}

void OnLinkQueryReply(Context& ctx, link::ByteView payload) {
  ctx.loop.StopTimer(kTimerLinkPoll);
  // A reply too short to carry the type counts as type 0, as an unanswered query.
  ctx.link.TerminalType = link::DecodeLinkQueryReply(payload).value_or(0);
  ContinueAfterLinkQuery(ctx);
}

void StartHandshake(Context& ctx) {
  ctx.link.CmdID = link::CmdHandshake;
  ctx.device.ParaHeaderTable.fill(0);
  StartCommand(ctx);
}

void NextDownloadStage(Context& ctx, bool afterResources) {
  LinkState& s = ctx.link;
  if (!afterResources && !data::ListFiles(ctx.Path("/Data/Res"), "*.rom").empty()) {
    s.CmdID = link::CmdResource;
  } else if (s.DownloadApp == 1) {
    s.CmdID = link::MsgAppDownloadStart;
  } else if (s.DownloadData == 1) {
    s.CmdID =
        ctx.device.BlVersion >= kBlE2prom ? link::MsgE2WriteBlock : link::MsgParaDownloadStart;
  } else {
    s.CmdID = link::CmdComplete;
  }
  StartCommand(ctx);
}

void RegisterStageControl(Context& ctx) {
  ctx.handlers.onMessage[link::MsgRxTimeout] = [&ctx](link::ByteView) { OnRxTimeout(ctx); };
  ctx.handlers.onMessage[link::MsgLinkQueryReply] = [&ctx](link::ByteView payload) {
    OnLinkQueryReply(ctx, payload);
  };
}

}  // namespace tavro::engine

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

// A command that cannot start. Asked for within a running operation, it ends
// that operation: its timers are stopped, and nothing else would ever return
// the window to idle. A button's first command leaves the window as it was.
void RefuseCommand(Context& ctx, const char* key) {
  if (!ctx.controls.Get(platform::kDeviceInfoButton).enabled)
    SetBusy(ctx, WindowState::kIdle);
  ctx.MessageBox(ctx.Text(key), platform::kBoxError);
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
  StopTimers(ctx.loop, kCommandTimers);

  if (!ctx.serial.IsOpen()) {
    RefuseCommand(ctx, "C_ComClose");
    return;
  }
  if (s.CmdID - 12000u > 1000u) {
    RefuseCommand(ctx, "Cmd_Num_Err");
    return;
  }
  if (s.LinkUp == 0 && s.CmdID != link::MsgConnect && s.CmdID != link::CmdHandshake) {
    RefuseCommand(ctx, "Run_UnConnect");
    return;
  }
  if (const auto action = ctx.handlers.runAtOnce.find(s.CmdID);
      action != ctx.handlers.runAtOnce.end()) {
    action->second();
    return;
  }
  ctx.controls.SetText(platform::kTermText, "");
  s.buffers.ReleaseAll();
  // Blocks of an earlier read have nowhere to go now.
  s.PendingBlockId = 0;
  SetBusy(ctx, WindowState::kBusy);
  SendFirst(ctx, s.CmdID);
  s.gOneCmdTime = 0;
  ctx.loop.StopTimer(kTimerAnswer);
  ctx.loop.StartTimer(kTimerAnswer, 1000);
  ctx.Refresh();
}

void SetBusy(Context& ctx, WindowState state) {
  if (state == WindowState::kBusy) {
    for (int id : platform::kBusyControls)
      ctx.controls.SetEnabled(id, false);
    for (int id : ctx.operationControls) {
      if (ctx.controls.Has(id))
        ctx.controls.SetEnabled(id, false);
    }
    return;
  }
  StopTimers(ctx.loop, kOperationTimers);
  ctx.link.ImageLoaded = 0;
  ctx.RxTextEcho = 1;
  for (int id : platform::kBusyControls)
    ctx.controls.SetEnabled(id, true);
  for (int id : ctx.operationControls) {
    if (ctx.controls.Has(id))
      ctx.controls.SetEnabled(id, true);
  }
  const bool packageReady = data::FileExists(ctx.Path("/QZDownload.bin"));
  ctx.controls.SetText(platform::kDownloadButton, ctx.Text(packageReady ? "B_Download" : "B_Run"));
  if (const std::shared_ptr<Operation> operation = ctx.operations.Current())
    operation->OnReturnToIdle(ctx);
  ctx.operations.Remove();
}

void ReportRetryOverflow(Context& ctx, RetryKind kind) {
  StopTimers(ctx.loop, kCommandTimers);
  // The link-query poll runs on its own; an identification that ends here
  // must not go on when it runs out.
  ctx.loop.StopTimer(kTimerLinkPoll);
  ctx.link.CrcErrNum = 0;
  const char* word = "";
  switch (kind) {
    case RetryKind::kFlash:
      word = "Flash";
      break;
    case RetryKind::kTime:
      word = "Time";
      break;
    case RetryKind::kCrc:
      word = "CRC";
      break;
    case RetryKind::kE2:
      word = "E2";
      break;
  }
  const std::string message = word + ctx.Text("Run_ErrNumOver");
  SetBusy(ctx, WindowState::kIdle);
  ctx.link.buffers.ReleaseAll();
  ctx.MessageBox(message, platform::kBoxError);
}

bool ApplyBlockAck(Context& ctx, bool accepted, RetryKind kind,
                   const std::function<void()>& resend) {
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
    SetBusy(ctx, WindowState::kIdle);
    // The command ends here, so its transfer buffers go with it.
    ctx.link.buffers.ReleaseAll();
    ctx.MessageBox(ctx.Text("Run_ConnectOverTime"), platform::kBoxError);
    return;
  }
  ResendBlock(ctx);
}

void ContinueAfterLinkQuery(Context& ctx) {
  const std::shared_ptr<Operation> operation = ctx.operations.Current();
  const bool ok = operation ? operation->CheckFileSet(ctx) : true;
  if (ok) {
    // Read as a command of its own: a CRC error then asks for the App
    // information again, and a silent terminal times out.
    ctx.link.CmdID = link::MsgReadAppInfo;
    StartCommand(ctx);
  } else {
    SetBusy(ctx, WindowState::kIdle);
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

void RegisterStageControl(Context& ctx) {
  ctx.handlers.onMessage[link::MsgRxTimeout] = [&ctx](link::ByteView) { OnRxTimeout(ctx); };
  ctx.handlers.onMessage[link::MsgLinkQueryReply] = [&ctx](link::ByteView payload) {
    OnLinkQueryReply(ctx, payload);
  };
}

}  // namespace tavro::engine

#include "engine/run_result.hpp"

#include "engine/stage_control.hpp"
#include "link/messages.hpp"
#include "platform/control_ids.hpp"

namespace tavro::engine {
namespace {

const char* RunResultKey(std::uint16_t status) {
  return status == 0 ? "Run_NoPermission" : status == 1 ? "Run_RunOk" : "Run_CurAppNull";
}

}  // namespace

void OnRunResult(Context& ctx, link::ByteView payload) {
  // A report too short to say anything reads as "no current App".
  const std::uint16_t status = link::DecodeStatusWord(payload).value_or(0xFFFF);
  // The report comes after a download's completion, the window idle. While
  // an operation still runs the terminal restarted before its end: what it
  // says about its App must not read as the operation's success.
  const bool cutShort = ctx.operations.IsRunning();
  SetBusy(ctx, WindowState::kIdle);
  ctx.link.RunResult = status;
  ctx.link.DevIdentified = 0;
  ctx.link.LinkUp = 0;
  ctx.device.BlAnnounced = false;  // the terminal restarts: it must announce itself again
  ctx.controls.SetIcon(platform::kConnectionStatusIcon, platform::kIconOff);
  if (cutShort) {
    ctx.LogCommandState(1, "RunBeforeEnd");
    ctx.AppendInfoText("\r\n" + ctx.Text("Ext_RunBeforeEnd"));
    ctx.Refresh();
    ctx.MessageBox(ctx.Text("Ext_RunBeforeEnd"), platform::kBoxError);
    ctx.Refresh();
    return;
  }
  const char* key = RunResultKey(status);
  const bool afterCompletion = ctx.operations.TakeRunReportDue();
  if (!afterCompletion && !ctx.InfoText().empty()) {
    // The terminal restarted on its own after an operation that had ended
    // without its completion (a stop the screen already shows): its App
    // runs, but nothing of that operation finished, so no stage is ticked.
    ctx.LogCommandState(1, "RunUnasked");
    ctx.AppendInfoText("\r\n" + ctx.Text("Ext_RunUnasked"));
    ctx.Refresh();
    return;
  }
  if (ctx.InfoText().empty()) {
    ctx.SetInfoText(ctx.Text(key));
    ctx.Refresh();
    ctx.MessageBox(ctx.Text(key), platform::kBoxOk);
    ctx.Refresh();
    return;
  }
  ctx.controls.SetPos(platform::kProgressBar, static_cast<int>(kProgressFull));
  ctx.SetInfoText(CompletedStagesText(ctx, "Dis_DevRun", true));
  ctx.Refresh();
  if (status == 0) {
    ctx.LogCommandState(1, "RunNoUAC");
    ctx.MessageBox(ctx.Text(key), platform::kBoxError);
  } else if (status == 1) {
    ctx.MessageBox(ctx.Text(key), platform::kBoxOk);
  } else {
    ctx.LogCommandState(1, "RunNoApp");
    ctx.MessageBox(ctx.Text(key), platform::kBoxOk);
  }
  ctx.Refresh();
}

void SendGoBack(Context& ctx) {
  ctx.Send(link::MsgGoBack);
  ctx.link.gOneCmdTime = 0;
  ctx.loop.StopTimer(kTimerGoBack);
  ctx.loop.StartTimer(kTimerGoBack, 1000);
}

void OnGoBackResult(Context& ctx, link::ByteView payload) {
  const std::uint16_t status = link::DecodeStatusWord(payload).value_or(0);
  ctx.link.GoBackResult = status;
  SetBusy(ctx, WindowState::kIdle);
  switch (status) {
    case 0:
      ctx.MessageBox(ctx.Text("Run_AppGobackErr"), platform::kBoxError);
      break;
    case 2:
      ctx.MessageBox(ctx.Text("Run_AppGobackNull"), platform::kBoxError);
      break;
    case 3:
      ctx.link.gOverTimeNum = 0;
      break;
    default:
      ctx.MessageBox(ctx.Text("Run_AppGobackOk"), platform::kBoxOk);
      break;
  }
  ctx.Refresh();
}

void RegisterRunResult(Context& ctx) {
  HandlerTables& h = ctx.handlers;
  h.onMessage[link::MsgRunResult] = [&ctx](link::ByteView p) { OnRunResult(ctx, p); };
  h.onMessage[link::MsgGoBackResult] = [&ctx](link::ByteView p) { OnGoBackResult(ctx, p); };
  h.sendFirst[link::MsgGoBack] = [&ctx] { SendGoBack(ctx); };
  h.resendAfterCrc[link::MsgGoBack] = [&ctx] { SendGoBack(ctx); };
}

}  // namespace tavro::engine

#include "engine/timer_engine.hpp"

#include "engine/progress.hpp"
#include "engine/read_back.hpp"
#include "engine/receive_path.hpp"
#include "engine/stage_control.hpp"
#include "link/messages.hpp"
#include "platform/control_ids.hpp"
#include "platform/control_state.hpp"

namespace tavro::engine {
namespace {

// The silence watch's resend: the command's block again when it belongs to
// `group`.
void ResendIfIn(Context& ctx, SilenceResend group) {
  const auto it = ctx.handlers.silenceResend.find(ctx.link.CmdID);
  if (it != ctx.handlers.silenceResend.end() && it->second == group)
    ResendBlock(ctx);
}

void EndWithBox(Context& ctx, const char* key) {
  ctx.MessageBox(ctx.Text(key), platform::kBoxError);
}

void OnDevBackupTick(Context& ctx) {
  if (++ctx.link.gOneCmdTime <= kWatchdogLimit)
    return;
  SetBusy(ctx, WindowState::kIdle);
  DropLink(ctx);
  ctx.LogCommandState(1, "DevBakOverTime", data::CmdWord::CmdId);
  EndWithBox(ctx, "F_BackupErr");
}

void OnSilenceTick(Context& ctx) {
  LinkState& s = ctx.link;
  ++s.gOverTimeNum;
  if (s.gOverTimeNum < kSilenceGiveUp) {
    if (s.gOverTimeNum % kSilenceResendEvery == 0) {
      ResendIfIn(ctx, SilenceResend::kFirstGroup);
      ResendIfIn(ctx, SilenceResend::kSecondGroup);
    }
    return;
  }
  for (int id : {kTimerBlockSend, kTimerSilence, kTimerReadBack, kTimerHeaderPace}) {
    ctx.loop.StopTimer(id);
  }
  s.gOverTimeNum = 0;
  DropLink(ctx);
  ctx.LogCommandState(1, "CommTime", data::CmdWord::CmdId);
  SetBusy(ctx, WindowState::kIdle);
  ctx.AppendInfoText("\r\n" + ctx.Text("Run_ConnectOverTime"));
  EndWithBox(ctx, "Run_ConnectOverTime");
}

void OnGoBackTick(Context& ctx) {
  if (++ctx.link.gOneCmdTime <= kWatchdogLimit)
    return;
  SetBusy(ctx, WindowState::kIdle);
  DropLink(ctx);
  EndWithBox(ctx, "Run_AppGobackErr");
}

void OnHeaderPaceTick(Context& ctx) {
  if (++ctx.link.gOneCmdTime != 3)
    return;
  ctx.loop.StopTimer(kTimerHeaderPace);
  FinishRead(ctx);
}

void OnAnswerTick(Context& ctx) {
  if (++ctx.link.gOneCmdTime < kAnswerGiveUp)
    return;
  ctx.LogCommandState(1, "OneCmdOverTime");
  SetBusy(ctx, WindowState::kIdle);
  DropLink(ctx);
  EndWithBox(ctx, "Run_ConnectOverTime");
}

void OnE2PaceTick(Context& ctx) {
  if (++ctx.link.gOneCmdTime != 6)
    return;
  ctx.loop.StopTimer(kTimerE2Pace);
  FinishRead(ctx);
}

void OnLinkPollTick(Context& ctx) {
  LinkState& s = ctx.link;
  ++s.PollCount;
  if (s.PollCount < kPollGiveUp) {
    if (s.PollCount % kPollResendEvery == 0)
      SendLinkQuery(ctx);
    return;
  }
  ctx.loop.StopTimer(kTimerLinkPoll);
  s.TerminalType = 0;
  ContinueAfterLinkQuery(ctx);
}

}  // namespace

void DropLink(Context& ctx) {
  ctx.loop.StopTimer(kTimerLinkPoll);
  // The next exchange must be announced again before anything is decided
  // from the generation.
  ctx.device.BlAnnounced = false;
  ctx.link.DevIdentified = 0;
  ctx.link.LinkUp = 0;
  ctx.controls.SetIcon(platform::kConnectionStatusIcon, platform::kIconOff);
  ctx.rx.Reset();
}

void OnTimerTick(Context& ctx, int timerId) {
  ctx.LogCommandState(4, "Timer", data::CmdWord::CmdId);
  switch (timerId) {
    case kTimerDevBackup:
      OnDevBackupTick(ctx);
      break;
    case kTimerSilence:
      OnSilenceTick(ctx);
      break;
    case kTimerGoBack:
      OnGoBackTick(ctx);
      break;
    case kTimerHeaderPace:
      OnHeaderPaceTick(ctx);
      break;
    case kTimerAnswer:
      OnAnswerTick(ctx);
      break;
    case kTimerE2Pace:
      OnE2PaceTick(ctx);
      break;
    case kTimerProgress:
    case kTimerBackupProgress:
      OnProgressTick(ctx, timerId);
      break;
    case kTimerLinkPoll:
      OnLinkPollTick(ctx);
      break;
    default:
      break;
  }
  ctx.Refresh();
}

}  // namespace tavro::engine

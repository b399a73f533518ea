#include "engine/timer_engine.hpp"

#include <array>

#include "engine/progress.hpp"
#include "engine/receive_path.hpp"
#include "engine/stage_control.hpp"
#include "link/messages.hpp"
#include "platform/control_ids.hpp"
#include "platform/control_state.hpp"

namespace tavro::engine {
namespace {

// The silence watch resends by two groups, the second looked up with CmdID
// read again after the first has run.
constexpr std::array<std::uint32_t, 5> kFirstResendGroup = {
    link::MsgAppDownloadStart, link::CmdAppSending, link::MsgParaDownloadStart,
    link::CmdParaSending, link::CmdResource};
constexpr std::array<std::uint32_t, 4> kSecondResendGroup = {
    link::MsgRamBlock, link::CmdBlUpgrade, link::MsgE2WriteBlock, link::CmdFlashCopy};

template <std::size_t N>
void ResendIfIn(Context& ctx, const std::array<std::uint32_t, N>& group) {
  for (std::uint32_t cmd : group) {
    if (ctx.link.CmdID == cmd) {
      ResendBlock(ctx);
      return;
    }
  }
}

void EndWithBox(Context& ctx, const char* key) {
  ctx.MessageBox(ctx.Text(key), platform::kBoxError);
}

void OnDevBackupTick(Context& ctx) {
  if (++ctx.link.gOneCmdTime <= kWatchdogLimit)
    return;
  SetBusy(ctx, true);
  DropLink(ctx);
  ctx.LogCommandState(1, "DevBakOverTime", data::CmdWord::CmdId);
  EndWithBox(ctx, "F_BackupErr");
}

void OnSilenceTick(Context& ctx) {
  LinkState& s = ctx.link;
  ++s.gOverTimeNum;
  if (s.gOverTimeNum < kSilenceGiveUp) {
    if (s.gOverTimeNum % kSilenceResendEvery == 0) {
      ResendIfIn(ctx, kFirstResendGroup);
      ResendIfIn(ctx, kSecondResendGroup);
    }
    return;
  }
  for (int id : {kTimerBlockSend, kTimerSilence, kTimerReadBack, kTimerHeaderPace}) {
    ctx.loop.StopTimer(id);
  }
  s.gOverTimeNum = 0;
  DropLink(ctx);
  ctx.LogCommandState(1, "CommTime", data::CmdWord::CmdId);
  SetBusy(ctx, true);
  ctx.AppendInfoText("\r\n" + ctx.Text("Run_ConnectOverTime"));
  EndWithBox(ctx, "Run_ConnectOverTime");
}

void OnGoBackTick(Context& ctx) {
  if (++ctx.link.gOneCmdTime <= kWatchdogLimit)
    return;
  SetBusy(ctx, true);
  DropLink(ctx);
  EndWithBox(ctx, "Run_AppGobackErr");
}

void OnHeaderPaceTick(Context& ctx) {
  if (++ctx.link.gOneCmdTime != 3)
    return;
  ctx.loop.StopTimer(kTimerHeaderPace);
  if (ctx.handlers.handshakeStep)
    ctx.handlers.handshakeStep();
}

void OnAnswerTick(Context& ctx) {
  if (++ctx.link.gOneCmdTime < kAnswerGiveUp)
    return;
  ctx.LogCommandState(1, "OneCmdOverTime");
  SetBusy(ctx, true);
  DropLink(ctx);
  EndWithBox(ctx, "Run_ConnectOverTime");
}

void OnE2PaceTick(Context& ctx) {
  if (++ctx.link.gOneCmdTime != 6)
    return;
  ctx.loop.StopTimer(kTimerE2Pace);
  if (ctx.handlers.e2HeaderStep)
    ctx.handlers.e2HeaderStep();
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
      OnDownloadProgressTick(ctx);
      break;
    case kTimerBackupProgress:
      OnBackupProgressTick(ctx);
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

#include "engine/receive_path.hpp"

#include "data/text_encoding.hpp"
#include "engine/dispatch.hpp"
#include "engine/stage_control.hpp"
#include "engine/timer_engine.hpp"
#include "link/messages.hpp"
#include "platform/control_ids.hpp"

namespace tavro::engine {
namespace {

bool WindowBusy(const Context& ctx) {
  return !ctx.controls.Get(platform::kDeviceInfoButton).enabled;
}

// A timer that ends or moves on the wait for the terminal.
bool WaitWatched(Context& ctx) {
  for (const int id : {kTimerDevBackup, kTimerSilence, kTimerGoBack, kTimerHeaderPace, kTimerAnswer,
                       kTimerE2Pace, kTimerLinkPoll}) {
    if (ctx.loop.TimerRunning(id))
      return true;
  }
  return false;
}

}  // namespace
namespace {

// How a stray received byte shows in the information area: printable text
// and line breaks as they are, a 0 byte as a space, anything else escaped
// ("\x1B"), so the area never holds raw binary.
std::u16string EchoForm(std::uint8_t byte) {
  if (byte == 0)
    return u" ";
  if ((byte >= 0x20 && byte < 0x7F) || byte == '\r' || byte == '\n' || byte == '\t')
    return std::u16string(1, static_cast<char16_t>(byte));
  constexpr char16_t kHex[] = u"0123456789ABCDEF";
  return {u'\\', u'x', kHex[byte >> 4], kHex[byte & 0x0F]};
}

// Received bytes while no operation runs: those the receive path takes as
// (part of) a frame are never shown; bytes it drops while hunting for a frame
// are the terminal's stray text. Bytes that might still start a frame wait
// until that is decided.
void EchoStray(Context& ctx, std::uint8_t byte, link::FrameAssembler::Result result) {
  std::string& held = ctx.echo.held;
  if (result != link::FrameAssembler::Result::kPending) {
    held.clear();
    return;
  }
  if (ctx.rx.StoredCount() != 0 || ctx.rx.SyncState() != link::FrameAssembler::kHunting) {
    held.push_back(static_cast<char>(byte));
    if (held.size() > link::kMaxRxFrame)
      held.clear();
    return;
  }
  for (const char c : held)
    EchoReceivedByte(ctx, static_cast<std::uint8_t>(c));
  held.clear();
  EchoReceivedByte(ctx, byte);
}

// How often a connect is sent again for a hello that came without the
// bootloader's announcement before the identification gives up.
constexpr std::uint8_t kConnectRepeatLimit = 3;

// A hello without this exchange's announcement: the announcement was damaged
// or lost, or the terminal was already past it. Going on would decide the
// generation from a value this connect never received, so the connect is
// sent again, as a terminal that missed our acknowledgement expects.
void AskForAnnouncement(Context& ctx) {
  LinkState& s = ctx.link;
  ctx.LogCommandState(1, "NoBlHello");
  if (s.ConnectRepeats < kConnectRepeatLimit) {
    ++s.ConnectRepeats;
    ctx.device = DeviceInfo{};
    s.CmdID = link::MsgConnect;
    StartCommand(ctx);
    return;
  }
  s.ConnectRepeats = 0;
  SetBusy(ctx, WindowState::kIdle);
  DropLink(ctx);
  ctx.AppendInfoText("\r\n" + ctx.Text("Ext_NoBlHello"));
  ctx.MessageBox(ctx.Text("Ext_NoBlHello"), platform::kBoxError);
}

}  // namespace

std::string EchoByte(const std::string& text, std::uint8_t byte) {
  std::u16string wide = data::Utf8ToUtf16(text);
  if (wide.size() > kEchoLimit) {
    const std::size_t cr = wide.rfind(u'\r');
    if (cr == std::u16string::npos) {
      wide.erase(0, 1);
    } else {
      // Keep what follows the line break "\r\n".
      wide.erase(0, std::min(wide.size(), cr + 2));
    }
    if (wide == u"设备" || wide == u"√设备")
      wide.clear();
  }
  wide += EchoForm(byte);
  return data::Utf16ToUtf8(wide);
}

void EchoReceivedByte(Context& ctx, std::uint8_t byte) {
  EchoCount& echo = ctx.echo;
  const std::string& text = ctx.controls.Get(platform::kInfoText).text;
  if (echo.revision != ctx.controls.TextRevision(platform::kInfoText))
    echo.units = data::Utf8ToUtf16(text).size();
  if (echo.units > kEchoLimit) {
    // The cut: rare, once per line or per limit's worth of characters.
    ctx.SetInfoText(EchoByte(text, byte));
    echo.units = data::Utf8ToUtf16(ctx.controls.Get(platform::kInfoText).text).size();
  } else {
    const std::u16string form = EchoForm(byte);
    ctx.AppendInfoText(data::Utf16ToUtf8(form));
    echo.units += form.size();
  }
  echo.revision = ctx.controls.TextRevision(platform::kInfoText);
}

void OnRxByte(Context& ctx, std::uint8_t byte) {
  data::LogReceivedByte(ctx.runLog, ctx.package.debugLevel, byte);
  const link::FrameAssembler::Result assembled = ctx.rx.Push(byte);
  if (ctx.RxTextEcho == 1) {
    EchoStray(ctx, byte, assembled);
    ctx.Refresh();
  } else {
    ctx.echo.held.clear();
  }
  if (assembled != link::FrameAssembler::Result::kComplete)
    return;

  LinkState& s = ctx.link;
  s.gOverTimeNum = 0;  // any addressed frame is a sign of life
  const link::ByteView frame = ctx.rx.Frame();
  if (link::CheckReceivedCrc(frame) == link::CrcCheck::kError) {
    ++s.CrcErrNum;
    if (ctx.DebugAtLeast(1)) {
      ctx.runLog.Write(
          data::FormatCommandState("CrcErrNum=" + std::to_string(s.CrcErrNum), ctx.Counters()));
    }
    if (s.CrcErrNum >= 3) {
      ReportRetryOverflow(ctx, RetryKind::kCrc);
    } else {
      ResendAfterCrcError(ctx, s.CmdID);
    }
    return;
  }
  s.CrcErrNum = 0;
  link::FrameView view;
  link::ParseFrame(frame, view);  // cannot fail: the CRC check placed DataLen inside
  data::LogReceivedFrame(ctx.runLog, ctx.package.debugLevel, view.msgId);
  if (view.msgId == link::MsgRxTimeout) {
    ++s.Rx12007Run;
  } else {
    s.Rx12007Run = 0;
  }
  const bool awaitingAnswer = ctx.loop.TimerRunning(kTimerAnswer);
  DispatchFrame(ctx, view.msgId, view.payload);
  // A frame that did not move the command on (one reported cut off, a block
  // not taken, a stray reply, one of a loader that is not running) is not
  // its answer. When nothing else watches the wait, the answer time-out goes
  // on counting: otherwise nothing would ever end it.
  if (awaitingAnswer && WindowBusy(ctx) && !WaitWatched(ctx))
    ctx.loop.StartTimer(kTimerAnswer, 1000);
}

void SendLinkQuery(Context& ctx) {
  ctx.Send(link::MsgLinkQuery);
  ctx.loop.StopTimer(kTimerLinkPoll);
  ctx.loop.StartTimer(kTimerLinkPoll, kShortestTimerMs);
}

void OnHello(Context& ctx) {
  LinkState& s = ctx.link;
  if (s.DevIdentified == 1 && !ctx.operations.IsRunning()) {
    // No command waits for an answer: a terminal that says hello now has
    // restarted, or another one was plugged in. What the window knows
    // belongs to the earlier exchange.
    DropLink(ctx);
  }
  if (s.DevIdentified == 0) {
    if (!ctx.device.BlAnnounced) {
      AskForAnnouncement(ctx);
      return;
    }
    ctx.loop.Sleep(50);
    s.LinkUp = 1;
    s.PollCount = 0;
    SendLinkQuery(ctx);
    s.CmdID = link::MsgLinkQuery;
    return;
  }
  if (s.CrcErrNum > 3) {
    ReportRetryOverflow(ctx, RetryKind::kCrc);
    return;
  }
  ++s.CrcErrNum;
  switch (s.CmdID) {
    case link::MsgAppDownloadStart:
    case link::MsgRamBlock:
    case link::MsgParaDownloadStart:
      ResendBlock(ctx);
      break;
    default:
      SendFirst(ctx, s.CmdID);
  }
}

void OnText(Context& ctx, link::ByteView payload) {
  if (data::Utf8ToUtf16(ctx.InfoText()).size() > 50)
    ctx.SetInfoText("");
  std::u16string added;
  for (std::uint8_t b : payload) {
    if (b != 0)
      added += EchoForm(b);
  }
  ctx.controls.AppendText(platform::kTermText, data::Utf16ToUtf8(added));
}

void RegisterReceivePath(Context& ctx) {
  HandlerTables& h = ctx.handlers;
  h.onMessage[link::MsgHello] = [&ctx](link::ByteView) { OnHello(ctx); };
  h.onMessage[link::MsgText] = [&ctx](link::ByteView payload) { OnText(ctx, payload); };
  // Each frame of the running loader shows it alive: the answer time-out
  // counts again from it.
  h.onMessage[link::MsgRamHello] = [&ctx](link::ByteView) {
    ctx.link.gOneCmdTime = 0;
    ctx.Send(link::MsgRamHelloAck);
  };
  h.onMessage[link::MsgRamContinue] = [&ctx](link::ByteView) {
    ctx.link.gOneCmdTime = 0;
    ctx.link.CmdID = link::MsgRamContinueAck;
    SendFirst(ctx, link::MsgRamContinueAck);
  };
  h.sendFirst[link::MsgConnect] = [&ctx] { ctx.Send(link::MsgConnect); };
  h.sendFirst[link::MsgLinkQuery] = [&ctx] { SendLinkQuery(ctx); };
  h.sendFirst[link::MsgReadAppInfo] = [&ctx] { ctx.Send(link::MsgReadAppInfo); };
  h.sendFirst[link::MsgRamContinueAck] = [&ctx] { ctx.Send(link::MsgRamContinueAck); };
  h.sendFirst[link::MsgE2CheckResultAck] = [&ctx] { ctx.Send(link::MsgE2CheckResultAck); };
  h.resendAfterCrc[link::MsgReadAppInfo] = [&ctx] { ctx.Send(link::MsgReadAppInfo); };
  // A damaged announcement or link-query reply is asked for again: going on
  // without it would leave the generation or the terminal type unknown.
  h.resendAfterCrc[link::MsgConnect] = [&ctx] { ctx.Send(link::MsgConnect); };
  h.resendAfterCrc[link::MsgLinkQuery] = [&ctx] {
    ctx.link.PollCount = 0;
    SendLinkQuery(ctx);
  };
}

}  // namespace tavro::engine

#include "engine/ram_loader.hpp"

#include <array>

#include "engine/block_send.hpp"
#include "engine/download_stage.hpp"
#include "engine/stage_control.hpp"
#include "link/messages.hpp"
#include "platform/control_ids.hpp"

namespace tavro::engine {
namespace {

// 9 ticks of this: 45 s for the terminal to restart with its new
// bootloader and announce itself.
constexpr std::uint32_t kRestartAnswerTickMs = 5000;

void SendCountedBlock(Context& ctx, std::uint16_t msgId, std::uint16_t number) {
  const LinkState& s = ctx.link;
  const BlockChunk chunk = ChunkOf(s.ImageLen, number);
  ctx.Send(msgId, link::CountedBlockPayload(
                      s.gFrameSum, number,
                      link::ByteView(s.buffers.sendImage.data() + chunk.offset, chunk.length)));
}

void StartSeries(Context& ctx) {
  LinkState& s = ctx.link;
  BeginImageSend(ctx, BlockCountFor(s.ImageLen));
}

bool LoadRamLoader(Context& ctx) {
  LinkState& s = ctx.link;
  s.ImageLoaded = 1;
  const std::shared_ptr<Operation> operation = ctx.operations.Current();
  if (operation && operation->RamProgramToSend() == RamProgram::kE2Check) {
    ctx.Log(1, "\r\nDl2RamCheckE2");
    const std::string folder = ctx.Path("/Data/Bl/CheckE2");
    const std::optional<std::string> path = FirstFileIn(folder, "*.bin");
    if (!path) {
      EndTransfer(ctx, folder + ctx.Text("F_NotExist"));
      return false;
    }
    if (!LoadSendImage(ctx, *path))
      return false;
  } else {
    ctx.Log(1, "\r\nDl2RamUpBL");
    s.buffers.sendImage = BuiltInBlLoader(s.TerminalType);
    s.ImageLen = static_cast<std::uint32_t>(s.buffers.sendImage.size());
  }
  StartSeries(ctx);
  return true;
}

bool LoadBlImage(Context& ctx) {
  LinkState& s = ctx.link;
  const std::optional<std::string> path = FirstFileIn(ctx.Path("/Data/Bl"), "*.bin");
  if (!path || path->find("_BL_") == std::string::npos) {
    EndTransfer(ctx, "No BL.bin");
    return false;
  }
  if (!LoadSendImage(ctx, *path))
    return false;
  s.ImageLoaded = 1;
  ctx.Log(1, "\r\nUpBL");
  StartSeries(ctx);
  return true;
}

}  // namespace

link::Bytes BuiltInBlLoader(std::uint32_t terminalType) {
  const std::size_t size = terminalType == 0 ? kBlLoaderSizeType0 : kBlLoaderSizeOther;
  // A recognisable placeholder: its text repeated, never ARM code.
  static constexpr char kMark[] =
      "TAVRO placeholder bootloader-upgrade loader; replace with the "
      "terminal maker's loader. ";
  link::Bytes image(size);
  for (std::size_t i = 0; i < size; ++i)
    image[i] = static_cast<std::uint8_t>(kMark[i % (sizeof kMark - 1)]);
  return image;
}

void SendRamLoader(Context& ctx) {
  if (ctx.link.ImageLoaded == 0 && !LoadRamLoader(ctx))
    return;
  SendCountedBlock(ctx, link::MsgRamBlock, ctx.link.gFrameNum);
}

void OnRamBlockAck(Context& ctx) {
  LinkState& s = ctx.link;
  if (s.CmdID != link::MsgRamBlock || s.buffers.sendImage.empty()) {
    ctx.Log(1, "\r\nUnaskedReply_RamBlockAck");
    return;
  }
  s.gOverTimeNum = 0;
  ++s.gFrameNum;
  if (s.gFrameNum >= s.gFrameSum) {
    // The loader runs now; the terminal speaks next. Its first frame can
    // be lost on the line, so the wait for it has the answer time-out: the
    // window must not stay busy for a loader that never speaks.
    s.ImageLoaded = 0;
    ctx.loop.StopTimer(kTimerSilence);
    s.gOneCmdTime = 0;
    ctx.loop.StopTimer(kTimerAnswer);
    ctx.loop.StartTimer(kTimerAnswer, 1000);
    return;
  }
  SendCountedBlock(ctx, link::MsgRamBlock, s.gFrameNum);
}

void SendBlImage(Context& ctx) {
  if (ctx.link.ImageLoaded == 0 && !LoadBlImage(ctx))
    return;
  SendCountedBlock(ctx, link::MsgBlImageBlock, ctx.link.gFrameNum);
}

void OnBlBlockAck(Context& ctx, link::ByteView payload) {
  LinkState& s = ctx.link;
  if (s.CmdID != link::CmdBlUpgrade || s.buffers.sendImage.empty()) {
    ctx.Log(1, "\r\nUnaskedReply_BlBlockAck");
    return;
  }
  s.gOverTimeNum = 0;
  // A refused block goes out again, as often as the terminal refuses it.
  if (link::DecodeStatusWord(payload).value_or(0) == 0) {
    SendCountedBlock(ctx, link::MsgBlImageBlock, s.gFrameNum);
    return;
  }
  if (std::uint32_t{s.gFrameNum} + 1 < s.gFrameSum) {
    ++s.gFrameNum;
    SendCountedBlock(ctx, link::MsgBlImageBlock, s.gFrameNum);
    return;
  }
  // The terminal restarts with its new bootloader and announces itself.
  static constexpr std::array<int, 7> kUpToAnswerTimer = {
      kTimerDevBackup, kTimerBlockSend,  kTimerSilence, kTimerGoBack,
      kTimerReadBack,  kTimerHeaderPace, kTimerAnswer};
  StopTimers(ctx.loop, kUpToAnswerTimer);
  ctx.Log(1, "\r\nUpBLOK");
  // Its announcement can be lost on the line: the answer time-out, at a
  // slower pace that leaves the restart its time, ends a wait that no frame
  // would end.
  s.gOneCmdTime = 0;
  ctx.loop.StartTimer(kTimerAnswer, kRestartAnswerTickMs);
}

void OnBlUpgradeReady(Context& ctx) {
  ctx.link.ImageLoaded = 0;
  ctx.link.CmdID = link::CmdBlUpgrade;
  StartCommand(ctx);
}

void OnE2CheckResult(Context& ctx, link::ByteView payload) {
  LinkState& s = ctx.link;
  const std::uint16_t status = link::DecodeStatusWord(payload).value_or(0);
  s.CmdID = link::MsgE2CheckResultAck;
  StartCommand(ctx);
  if (status == 1) {
    ctx.Log(1, "\r\nCheckE2_OK");
  } else {
    ctx.Log(1, "\r\nCheckE2_ERR");
    // The terminal restarts after its check: its next identification shows
    // this failure instead of the device information.
    s.E2CheckFailed = 1;
    SetBusy(ctx, WindowState::kIdle);
    const std::string text = "\r\nE2PROM " + ctx.Text("Run_StatusErr");
    ctx.SetInfoText(text);
    ctx.MessageBox(text, platform::kBoxError);
  }
  ctx.RxTextEcho = 0;
  ctx.Refresh();
}

void RegisterRamLoader(Context& ctx) {
  HandlerTables& h = ctx.handlers;
  for (auto* table : {&h.sendFirst, &h.blockSender, &h.resendAfterCrc}) {
    (*table)[link::MsgRamBlock] = [&ctx] { SendRamLoader(ctx); };
    (*table)[link::CmdBlUpgrade] = [&ctx] { SendBlImage(ctx); };
  }
  h.onMessage[link::MsgRamBlockAck] = [&ctx](link::ByteView) { OnRamBlockAck(ctx); };
  h.onMessage[link::MsgBlBlockAck] = [&ctx](link::ByteView p) { OnBlBlockAck(ctx, p); };
  h.onMessage[link::MsgBlUpgradeReady] = [&ctx](link::ByteView) { OnBlUpgradeReady(ctx); };
  h.onMessage[link::MsgE2CheckResult] = [&ctx](link::ByteView p) { OnE2CheckResult(ctx, p); };
}

}  // namespace tavro::engine

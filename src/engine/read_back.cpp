#include "engine/read_back.hpp"

#include <cstring>

#include "engine/block_receive.hpp"
#include "engine/stage_control.hpp"
#include "link/messages.hpp"
#include "platform/control_ids.hpp"

namespace tavro::engine {
namespace {

// The largest buffer a header read may ask for: a terminal that announces
// more blocks than a 64-byte read can need is refused, not believed.
constexpr std::uint32_t kMaxHeaderReadBlocks = 16;

const BlockSeries& FlashSeries() {
  static const BlockSeries series{
      .name = "FlashRead",
      .blockMsgId = link::MsgFlashReadBlock,
      .tooLongKey = "F_UpLenErr",
      .bufferFor = [](const link::ReadBackBlock& first) -> std::optional<std::size_t> {
        if (first.blockCount == 0 || first.blockCount > kMaxHeaderReadBlocks)
          return std::nullopt;
        return std::size_t{first.blockCount} * link::kBlockSize;
      },
  };
  return series;
}

// The buffer is the read length and two bytes more; the data may fill the
// read length exactly.
BlockSeries E2Series(std::uint32_t length) {
  return BlockSeries{
      .name = "E2Read",
      .blockMsgId = link::MsgE2ReadBlock,
      .tooLongKey = "F_E_LenErr",
      .bufferFor = [length](const link::ReadBackBlock&) -> std::optional<std::size_t> {
        return std::size_t{length} + 2;
      },
      .storeLimit = std::uint64_t{length},
  };
}

void ArmPace(Context& ctx, int timerId) {
  ctx.link.gOneCmdTime = 0;
  ctx.loop.StopTimer(timerId);
  ctx.loop.StartTimer(timerId, kShortestTimerMs);
}

}  // namespace

void ArmAnswerTimeout(Context& ctx) {
  ctx.link.gOneCmdTime = 0;
  ctx.loop.StopTimer(kTimerAnswer);
  ctx.loop.StartTimer(kTimerAnswer, 1000);
}

void SendFlashRead(Context& ctx, ReadRequest request) {
  ctx.read = std::move(request);
  ctx.link.ReadAddr = ctx.read.address;
  BeginBlockSeries(ctx, FlashSeries());
  ctx.Send(link::MsgFlashRead, link::U32PairPayload(ctx.read.address, ctx.read.length));
}

void SendE2Read(Context& ctx, ReadRequest request) {
  ctx.read = std::move(request);
  LinkState& s = ctx.link;
  s.ReadAddr = ctx.read.address;
  s.ReadLen = ctx.read.length;
  BeginBlockSeries(ctx, E2Series(s.ReadLen));
  ctx.Send(link::MsgE2Read, link::E2ReadPayload(s.ReadAddr, s.ReadLen));
}

void StartE2Read(Context& ctx, ReadRequest request) {
  ctx.read = std::move(request);
  ctx.link.CmdID = link::MsgE2Read;
  StartCommand(ctx);
}

void FinishRead(Context& ctx) {
  // Copied first: the step may ask for the next read, which replaces it.
  const std::function<void()> step = ctx.read.onDone;
  if (step)
    step();
}

void OnFlashReadBlock(Context& ctx, link::ByteView payload) {
  const std::optional<ReceivedBlock> received = ReceiveBlock(ctx, payload, FlashSeries());
  if (!received)
    return;
  LinkState& s = ctx.link;
  // The header record is the area's bytes 0..47 and the time stamp the
  // terminal keeps at 56..63. Only six records fit, and only a whole
  // 64-byte header is copied.
  if (s.StepIndex < kParaHeaderSlots && s.ReadOffset >= kHeaderReadLength) {
    std::uint8_t* record = ctx.device.ParaHeaderTable.data() + s.StepIndex * kParaHeaderSize;
    const std::uint8_t* area = s.buffers.backupImage2.data();
    std::memcpy(record, area, 48);
    std::memcpy(record + 48, area + 56, 8);
  }
  ctx.Send(link::MsgFlashReadAck);
  if (received->last) {
    ++s.StepIndex;
    ArmPace(ctx, kTimerHeaderPace);
  }
}

void OnFlashReadErr(Context& ctx, link::ByteView payload) {
  SetBusy(ctx, WindowState::kIdle);
  const std::uint16_t status = link::DecodeStatusWord(payload).value_or(0xFFFF);
  const char* key = status == 0 ? "F_F_AdrrErr" : status == 1 ? "F_F_LenErr" : "F_F_OpErr";
  ctx.MessageBox(ctx.Text(key), platform::kBoxError);
}

void OnE2ReadBlock(Context& ctx, link::ByteView payload) {
  const std::optional<ReceivedBlock> received =
      ReceiveBlock(ctx, payload, E2Series(ctx.link.ReadLen));
  if (!received)
    return;
  LinkState& s = ctx.link;
  if (!received->last) {
    if (received->block.blockNumber % 5 == 0 && s.StepIndex < 5)
      ++s.StepIndex;
    ctx.Send(link::MsgE2ReadAck, link::ReadBackAckPayload(false));
    // The next block is this read's answer: a lost or dropped one must end
    // the read after the answer time-out, as a header read's does.
    ArmAnswerTimeout(ctx);
    return;
  }
  ArmPace(ctx, kTimerE2Pace);
  ctx.Send(link::MsgE2ReadAck, link::ReadBackAckPayload(true));
}

void OnE2ReadErr(Context& ctx) {
  SetBusy(ctx, WindowState::kIdle);
  ctx.MessageBox(ctx.Text("F_E_OpErr"), platform::kBoxError);
  ctx.Log(1, "\r\nReadE2_ERR");
  ctx.link.DevIdentified = 1;
  ctx.controls.SetIcon(platform::kConnectionStatusIcon, platform::kIconOn);
}

void RegisterReadBack(Context& ctx) {
  HandlerTables& h = ctx.handlers;
  h.onMessage[link::MsgFlashReadBlock] = [&ctx](link::ByteView p) { OnFlashReadBlock(ctx, p); };
  h.onMessage[link::MsgFlashReadErr] = [&ctx](link::ByteView p) { OnFlashReadErr(ctx, p); };
  h.onMessage[link::MsgE2ReadBlock] = [&ctx](link::ByteView p) { OnE2ReadBlock(ctx, p); };
  h.onMessage[link::MsgE2ReadErr] = [&ctx](link::ByteView) { OnE2ReadErr(ctx); };
  h.sendFirst[link::MsgE2Read] = [&ctx] { SendE2Read(ctx, ctx.read); };
  h.resendAfterCrc[link::MsgE2Read] = [&ctx] {
    ctx.SendFrame(link::ResendRequestFrame(link::MsgE2Read, ctx.link.ReadAddr, ctx.link.gFrameSum,
                                           ctx.link.gFrameNum));
  };
}

}  // namespace tavro::engine

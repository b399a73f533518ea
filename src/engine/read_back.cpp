#include "engine/read_back.hpp"

#include <algorithm>
#include <cstring>

#include "engine/stage_control.hpp"
#include "link/messages.hpp"
#include "platform/control_ids.hpp"

namespace tavro::engine {
namespace {

// The largest buffer a header read may ask for: a terminal that announces
// more blocks than a 64-byte read can need is refused, not believed.
constexpr std::uint32_t kMaxHeaderReadBlocks = 16;

enum class Stored { kNew, kRepeated };

// The common block rule for reads into BackupImage2 at ReadOffset. The
// buffer is sized by the caller on the first block.
Stored StoreBlock(Context& ctx, const link::ReadBackBlock& block) {
  LinkState& s = ctx.link;
  if (block.blockNumber == s.LastBlockNo)
    return Stored::kRepeated;
  std::copy(block.data.begin(), block.data.end(), s.buffers.backupImage2.begin() + s.ReadOffset);
  s.ReadOffset += block.length;
  s.LastBlockNo = block.blockNumber;
  return Stored::kNew;
}

// First-block handling shared by the reads: counters and buffer.
void StartBlockSeries(Context& ctx, const link::ReadBackBlock& block, std::size_t bufferSize) {
  LinkState& s = ctx.link;
  s.FirstBlock = 0;
  s.LastBlockNo = 0xFFFF;
  s.gFrameSum = block.blockCount;
  s.buffers.backupImage2.assign(bufferSize, 0);
}

bool IsLastBlock(const link::ReadBackBlock& block) {
  return static_cast<std::uint32_t>(block.blockNumber) + 1 == block.blockCount;
}

// A block with no read pending cannot be stored: there is no buffer for it.
bool ReadPending(const Context& ctx) {
  return ctx.link.FirstBlock == 1 || !ctx.link.buffers.backupImage2.empty();
}

void RefuseBlock(Context& ctx, std::string_view why) {
  ctx.Log(1, std::string("\r\nRxBlockRefused_") + std::string(why));
}

}  // namespace

void ArmAnswerTimeout(Context& ctx) {
  ctx.link.gOneCmdTime = 0;
  ctx.loop.StopTimer(kTimerAnswer);
  ctx.loop.StartTimer(kTimerAnswer, 1000);
}

void SendFlashRead(Context& ctx, std::uint32_t address, std::uint32_t length) {
  LinkState& s = ctx.link;
  s.FirstBlock = 1;
  s.ReadOffset = 0;
  s.buffers.backupImage2.clear();
  ctx.Send(link::MsgFlashRead, link::U32PairPayload(address, length));
}

void SendE2Read(Context& ctx, std::uint32_t address, std::uint32_t length) {
  LinkState& s = ctx.link;
  s.ReadAddr = address;
  s.ReadLen = length;
  s.FirstBlock = 1;
  s.ReadOffset = 0;
  s.buffers.backupImage2.clear();
  ctx.Send(link::MsgE2Read, link::E2ReadPayload(address, length));
}

void OnFlashReadBlock(Context& ctx, link::ByteView payload) {
  LinkState& s = ctx.link;
  const auto block = link::DecodeReadBackLong(payload);
  if (!block)
    return RefuseBlock(ctx, "FlashReadShort");
  if (!ReadPending(ctx))
    return RefuseBlock(ctx, "FlashReadUnasked");
  s.gFrameNum = block->blockNumber;
  if (s.FirstBlock == 1) {
    if (block->blockCount == 0 || block->blockCount > kMaxHeaderReadBlocks) {
      SetBusy(ctx, true);
      ctx.MessageBox(ctx.Text("F_UpLenErr"), platform::kBoxError);
      return;
    }
    StartBlockSeries(ctx, *block, std::size_t{block->blockCount} * link::kBlockSize);
  }
  if (s.ReadOffset + block->length > s.buffers.backupImage2.size()) {
    SetBusy(ctx, true);
    ctx.MessageBox(ctx.Text("F_UpLenErr"), platform::kBoxError);
    return;
  }
  StoreBlock(ctx, *block);
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
  if (IsLastBlock(*block)) {
    ++s.StepIndex;
    s.gOneCmdTime = 0;
    ctx.loop.StopTimer(kTimerHeaderPace);
    ctx.loop.StartTimer(kTimerHeaderPace, kShortestTimerMs);
  }
}

void OnFlashReadErr(Context& ctx, link::ByteView payload) {
  SetBusy(ctx, true);
  const std::uint16_t status = link::DecodeStatusWord(payload).value_or(0xFFFF);
  const char* key = status == 0 ? "F_F_AdrrErr" : status == 1 ? "F_F_LenErr" : "F_F_OpErr";
  ctx.MessageBox(ctx.Text(key), platform::kBoxError);
}

void OnE2ReadBlock(Context& ctx, link::ByteView payload) {
  LinkState& s = ctx.link;
  const auto block = link::DecodeReadBackLong(payload);
  if (!block)
    return RefuseBlock(ctx, "E2ReadShort");
  if (!ReadPending(ctx))
    return RefuseBlock(ctx, "E2ReadUnasked");
  s.gFrameNum = block->blockNumber;
  if (s.FirstBlock == 1)
    StartBlockSeries(ctx, *block, std::size_t{s.ReadLen} + 2);
  if (std::uint64_t{s.ReadOffset} + block->length > s.ReadLen) {
    SetBusy(ctx, true);
    ctx.MessageBox(ctx.Text("F_E_LenErr"), platform::kBoxError);
    return;
  }
  StoreBlock(ctx, *block);
  if (!IsLastBlock(*block)) {
    if (block->blockNumber % 5 == 0 && s.StepIndex < 5)
      ++s.StepIndex;
    ctx.Send(link::MsgE2ReadAck, link::ReadBackAckPayload(false));
    return;
  }
  if (s.ReadLen == kE2ImageLength && ctx.handlers.saveE2Image)
    ctx.handlers.saveE2Image();
  s.gOneCmdTime = 0;
  ctx.loop.StopTimer(kTimerE2Pace);
  ctx.loop.StartTimer(kTimerE2Pace, kShortestTimerMs);
  ctx.Send(link::MsgE2ReadAck, link::ReadBackAckPayload(true));
}

void OnE2ReadErr(Context& ctx) {
  SetBusy(ctx, true);
  ctx.MessageBox(ctx.Text("F_E_OpErr"), platform::kBoxError);
  ctx.Log(1, "\r\nReadE2_ERR");
  ctx.link.DevIdentified = 1;
  ctx.controls.SetIcon(platform::kConnectionStatusIcon, platform::kIconOn);
}

void RegisterHeaderReads(Context& ctx) {
  HandlerTables& h = ctx.handlers;
  h.onMessage[link::MsgFlashReadBlock] = [&ctx](link::ByteView p) { OnFlashReadBlock(ctx, p); };
  h.onMessage[link::MsgFlashReadErr] = [&ctx](link::ByteView p) { OnFlashReadErr(ctx, p); };
  h.onMessage[link::MsgE2ReadBlock] = [&ctx](link::ByteView p) { OnE2ReadBlock(ctx, p); };
  h.onMessage[link::MsgE2ReadErr] = [&ctx](link::ByteView) { OnE2ReadErr(ctx); };
  h.sendFirst[link::MsgE2Read] = [&ctx] { SendE2Read(ctx, 0, kE2HeaderLength); };
  h.resendAfterCrc[link::MsgE2Read] = [&ctx] {
    ctx.SendFrame(
        link::ResendRequestFrame(link::MsgE2Read, 0, ctx.link.gFrameSum, ctx.link.gFrameNum));
  };
}

}  // namespace tavro::engine

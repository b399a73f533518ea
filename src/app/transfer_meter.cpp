#include "app/transfer_meter.hpp"

#include <algorithm>
#include <cmath>

#include "engine/backup_read.hpp"
#include "link/messages.hpp"
#include "link/payloads.hpp"

namespace tavro::app {
namespace {

constexpr std::uint64_t kRateWindowMs = 3000;

std::uint64_t Blocks(std::uint64_t n) {
  return n * link::kBlockSize;
}

}  // namespace

std::optional<TransferState> RunningTransfer(const engine::Context& ctx) {
  // An operation that ended (an error, a removal) leaves its counters behind;
  // they describe no transfer any more.
  if (!ctx.operations.IsRunning())
    return std::nullopt;
  const engine::LinkState& s = ctx.link;
  const bool sending = !s.buffers.sendImage.empty();
  const auto text = [&ctx](std::string_view key) { return ctx.messages.Text(key); };
  const auto transfer = [&text](std::string stage, std::uint64_t done, std::uint64_t total) {
    return TransferState{
        std::move(stage), std::min(done, total), total,
        TransferWords{text("Ext_Tr_Bytes"), text("Ext_Tr_Rate"), text("Ext_Tr_Left")}};
  };
  switch (s.CmdID) {
    case link::MsgAppDownloadStart:
    case link::CmdAppSending:
      if (!sending)
        return std::nullopt;
      // The header block goes first, then the image.
      return transfer(text("Ext_Tr_App"), Blocks(s.gFrameNum), Blocks(1) + s.ImageLen);
    case link::MsgParaDownloadStart:
    case link::CmdParaSending:
      if (!sending)
        return std::nullopt;
      return transfer(text("Ext_Tr_Data") + " " + std::to_string(s.StepIndex + 1) + ".dat",
                      s.gFrameNum == 0 ? 0 : link::kParaHeaderBlockSize + Blocks(s.gFrameNum - 1u),
                      s.ImageLen);
    case link::MsgE2WriteBlock:
    case link::CmdFlashCopy:
    case link::CmdResource:
      if (!sending)
        return std::nullopt;
      return transfer(s.CmdID == link::MsgE2WriteBlock ? text("Ext_Tr_Data") + " E2.dat"
                      : s.CmdID == link::CmdFlashCopy  ? text("Ext_Tr_FlashCopy")
                                                       : text("Ext_Tr_Resources"),
                      Blocks(s.gFrameNum), s.ImageLen);
    case link::MsgAppBackupStart:
      if (s.gFrameSum == 0)
        return std::nullopt;
      return transfer(text("Ext_Tr_AppBackup"), Blocks(s.gFrameNum + 1u), Blocks(s.gFrameSum));
    case link::MsgParaBackupStart:
      // Past the last area the read is over, though the command stays until
      // the pacing timer has run: the last area's counters are history.
      if (s.gFrameSum == 0 || s.StepIndex >= engine::BackupAreaCount(ctx))
        return std::nullopt;
      return transfer(text("Ext_Tr_DataBackup") + " " + std::to_string(s.StepIndex + 1),
                      Blocks(s.gFrameNum + 1u), Blocks(s.gFrameSum));
    case link::MsgE2Read:
      if (s.ReadLen <= 32)
        return std::nullopt;
      return transfer(text("Ext_Tr_DataBackup") + " E2.dat", s.ReadOffset, s.ReadLen);
    default:
      return std::nullopt;
  }
}

std::string TransferLine(const TransferState& state, std::optional<double> bytesPerSecond) {
  const TransferWords& w = state.words;
  std::string line = state.stage + ": " + std::to_string(state.done) + "/" +
                     std::to_string(state.total) + " " + w.bytes;
  if (bytesPerSecond && *bytesPerSecond > 0) {
    line += ", " + std::to_string(static_cast<std::uint64_t>(std::llround(*bytesPerSecond))) + " " +
            w.rate;
    const double left = static_cast<double>(state.total - state.done) / *bytesPerSecond;
    const auto seconds = static_cast<std::uint64_t>(std::ceil(left));
    const std::uint64_t ss = seconds % 60;
    const std::string time =
        std::to_string(seconds / 60) + ":" + (ss < 10 ? "0" : "") + std::to_string(ss);
    std::string phrase = w.left;
    const std::size_t at = phrase.find("%1");
    if (at == std::string::npos)
      phrase = time + " " + phrase;  // a wording without the place still shows the time
    else
      phrase.replace(at, 2, time);
    line += ", " + phrase;
  }
  return line;
}

std::optional<std::string> TransferMeter::Update(const std::optional<TransferState>& state,
                                                 std::uint64_t nowMs) {
  const bool sameTransfer = state && current_ && state->stage == current_->stage &&
                            state->total == current_->total && state->done >= current_->done;
  if (!sameTransfer) {
    // The transfer ended or another began. The last sample of one that ended
    // may lack its last blocks and would stand there as if it were still
    // running ("16384/20480 B, 0:01 left"), so its line is cleared; a new
    // one starts its figures afresh.
    const bool ended = current_.has_value() && !state;
    current_ = state;
    samples_.clear();
    lastShownDone_ = ~std::uint64_t{0};
    lastShownMs_ = 0;
    if (!state)
      return ended ? std::optional<std::string>(std::string()) : std::nullopt;
    samples_.push_back({nowMs, state->done});
    return std::nullopt;
  }
  current_ = state;
  samples_.push_back({nowMs, state->done});
  while (samples_.size() > 2 && nowMs - samples_.front().ms > kRateWindowMs)
    samples_.pop_front();
  if (state->done == lastShownDone_ ||
      (lastShownDone_ != ~std::uint64_t{0} && nowMs - lastShownMs_ < kMinIntervalMs))
    return std::nullopt;
  lastShownMs_ = nowMs;
  lastShownDone_ = state->done;
  return TransferLine(*state, Rate());
}

std::optional<double> TransferMeter::Rate() const {
  if (samples_.size() < 2)
    return std::nullopt;
  const Sample& first = samples_.front();
  const Sample& last = samples_.back();
  if (last.ms <= first.ms || last.done <= first.done)
    return std::nullopt;
  return static_cast<double>(last.done - first.done) * 1000.0 /
         static_cast<double>(last.ms - first.ms);
}

}  // namespace tavro::app

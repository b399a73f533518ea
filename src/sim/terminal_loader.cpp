// Programs run from RAM (bootloader upgrade, E2PROM check), roll back to the
// backup App and the run report at the end of a download session.

#include "link/messages.hpp"
#include "link/payloads.hpp"
#include "sim/terminal.hpp"

namespace tavro::sim {

using namespace link;

namespace {

// Sizes of the two bootloader-upgrade loaders the PC carries.
constexpr std::size_t kBlLoaderSizes[] = {33764, 32968};
constexpr std::size_t kRamCapacity = 0x20000;
constexpr std::size_t kBootloaderCapacity = 0x40000;
constexpr std::uint32_t kLoaderTries = 3;

}  // namespace

void Terminal::OnRamBlock(ByteView payload) {
  const auto block = DecodeReadBackShort(payload);
  if (!block) {
    Note("malformed RAM block, not acknowledged");
    return;
  }
  const Verdict verdict =
      CheckBlock(TransferKind::Ram, -1, MsgRamBlock, block->blockCount, block->blockNumber);
  if (verdict == Verdict::PowerLost)
    return;
  if (verdict == Verdict::Refuse)
    return;  // the acknowledgement has no status: stay quiet
  if (verdict == Verdict::Write) {
    if (block->blockNumber == 0) {
      ram_.clear();
      blLoaderRunning_ = false;
      awaiting_ = Awaiting::None;
    }
    if (block->length > kBlockSize || ram_.size() + block->length > kRamCapacity ||
        ram_.size() != std::size_t{block->blockNumber} * kBlockSize) {
      Note("RAM block does not fit, not acknowledged");
      if (block->blockNumber == 0)
        write_ = {};
      return;
    }
    ram_.insert(ram_.end(), block->data.begin(), block->data.end());
    Accepted(TransferKind::Ram, block->blockNumber);
    if (!AckStored(MsgRamBlockAck, 1))
      return;
  } else {
    SendStatus(MsgRamBlockAck, 1);
  }
  if (verdict == Verdict::Write && !write_.open) {
    Later(behaviour_.replyDelayMs + behaviour_.loaderStartMs, [this] { StartLoader(); });
  }
}

void Terminal::StartLoader() {
  RamLoaderKind kind = behaviour_.ramLoader;
  if (kind == RamLoaderKind::Auto) {
    kind = RamLoaderKind::E2Check;
    for (std::size_t size : kBlLoaderSizes) {
      if (ram_.size() == size)
        kind = RamLoaderKind::BlUpgrade;
    }
  }
  if (kind == RamLoaderKind::BlUpgrade) {
    Note("bootloader-upgrade loader runs");
    blLoaderRunning_ = true;
    newBootloader_.clear();
    Emit(MsgBlUpgradeReady, {});
    return;
  }
  Note("E2PROM-check loader runs");
  AwaitAck(Awaiting::RamHelloAck, MsgRamHello, {}, 1);
}

// The loader repeats each of its messages until the PC answers it; after
// three unanswered tries it gives up and the terminal restarts.
void Terminal::AwaitAck(Awaiting what, std::uint16_t msgId, Bytes payload, std::uint32_t tries) {
  awaiting_ = what;
  const std::uint32_t seq = ++awaitSeq_;
  Emit(msgId, payload);
  Later(behaviour_.loaderAckTimeoutMs, [this, what, msgId, payload, tries, seq] {
    if (awaiting_ != what || awaitSeq_ != seq)
      return;
    if (tries >= kLoaderTries) {
      Note("loader got no answer");
      awaiting_ = Awaiting::None;
      Restart(behaviour_.restartMs);
      return;
    }
    AwaitAck(what, msgId, payload, tries + 1);
  });
}

void Terminal::OnLoaderAck(Awaiting what) {
  if (awaiting_ != what) {
    Note("answer the loader did not ask for, ignored");
    return;
  }
  awaiting_ = Awaiting::None;
  switch (what) {
    case Awaiting::RamHelloAck:
      Later(behaviour_.replyDelayMs,
            [this] { AwaitAck(Awaiting::RamContinueAck, MsgRamContinue, {}, 1); });
      break;
    case Awaiting::RamContinueAck:
      Later(behaviour_.replyDelayMs, [this] {
        AwaitAck(Awaiting::E2ResultAck, MsgE2CheckResult, StatusPayload(behaviour_.e2CheckResult),
                 1);
      });
      break;
    case Awaiting::E2ResultAck:
      Note("E2PROM check over");
      Restart(behaviour_.restartMs);
      break;
    default:
      break;
  }
}

void Terminal::OnBlImageBlock(ByteView payload) {
  if (!blLoaderRunning_) {
    Note("bootloader block without the upgrade loader, ignored");
    return;
  }
  const auto block = DecodeReadBackShort(payload);
  if (!block) {
    SendStatus(MsgBlBlockAck, 0);
    return;
  }
  const Verdict verdict = CheckBlock(TransferKind::Bootloader, -1, MsgBlImageBlock,
                                     block->blockCount, block->blockNumber);
  if (verdict == Verdict::PowerLost)
    return;
  if (verdict != Verdict::Write) {
    SendStatus(MsgBlBlockAck, verdict == Verdict::Repeat ? 1 : 0);
    return;
  }
  if (block->blockNumber == 0)
    newBootloader_.clear();
  if (block->length > kBlockSize || newBootloader_.size() + block->length > kBootloaderCapacity ||
      newBootloader_.size() != std::size_t{block->blockNumber} * kBlockSize) {
    if (block->blockNumber == 0)
      write_ = {};
    SendStatus(MsgBlBlockAck, 0);
    return;
  }
  newBootloader_.insert(newBootloader_.end(), block->data.begin(), block->data.end());
  Accepted(TransferKind::Bootloader, block->blockNumber);
  if (!AckStored(MsgBlBlockAck, 1, behaviour_.blockWriteMs) || write_.open)
    return;
  // The old bootloader stays until the new one is completely written.
  ++busy_;
  Later(behaviour_.replyDelayMs + behaviour_.blockWriteMs + behaviour_.blWriteMs, [this] {
    --busy_;
    blLoaderRunning_ = false;
    device_.bootloader.version = behaviour_.blUpgradeVersion;
    device_.EnsureE2prom();
    Save({DevicePart::Bootloader});
    if (device_.UsesE2())
      Save({DevicePart::E2});
    Note("bootloader written");
    Restart(behaviour_.restartMs);
  });
}

void Terminal::OnGoBack() {
  for (std::uint32_t i = 0; i < behaviour_.goBackReports; ++i) {
    SendStatus(MsgGoBackResult, 3, i * behaviour_.goBackStepMs);
  }
  ++busy_;
  Later(behaviour_.replyDelayMs + behaviour_.goBackReports * behaviour_.goBackStepMs, [this] {
    --busy_;
    std::uint16_t status = 2;
    if (faults_.goBackResult >= 0) {
      status = static_cast<std::uint16_t>(faults_.goBackResult);
    } else if (device_.backupApp.present) {
      device_.app = device_.backupApp;
      Save({DevicePart::App});
      Note("backup App restored");
      status = 1;
    }
    Emit(MsgGoBackResult, StatusPayload(status));
  });
}

void Terminal::SendRunResult() {
  sessionWrites_ = false;
  paraSessionStarted_ = false;
  std::uint16_t status = device_.app.present ? 1 : 2;
  if (behaviour_.runResult >= 0)
    status = static_cast<std::uint16_t>(behaviour_.runResult);
  Note("download session over: the terminal restarts and runs its App");
  Send(MsgRunResult, StatusPayload(status));
}

}  // namespace tavro::sim

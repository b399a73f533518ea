// Writes from the PC: App download, Flash parameter areas, E2PROM, and the
// addressed Flash writes (marker, resources, E2PROM copy). Every accepted
// block is stored (and saved) before it is acknowledged.

#include <algorithm>

#include "link/messages.hpp"
#include "link/payloads.hpp"
#include "sim/terminal.hpp"

namespace tavro::sim {

using namespace link;

namespace {

bool Applies(const ErrorReply& e, std::uint32_t count) {
  return e.enabled && (e.nth == 0 || e.nth == count);
}

std::uint16_t BlocksFor(std::size_t bytes) {
  return static_cast<std::uint16_t>((bytes + kBlockSize - 1) / kBlockSize);
}

// Area block: u32 area address, u32 area length, then a counted block.
struct AreaBlock {
  std::uint32_t address = 0;
  std::uint32_t length = 0;
  ReadBackBlock block;
};
std::optional<AreaBlock> DecodeAreaBlock(ByteView payload) {
  if (payload.size() < 8)
    return std::nullopt;
  auto block = DecodeReadBackShort(payload.subspan(8));
  if (!block)
    return std::nullopt;
  return AreaBlock{GetU32(payload.data()), GetU32(payload.data() + 4), *block};
}

TimeStamp StampAt(ByteView bytes, std::size_t offset) {
  TimeStamp t;
  if (bytes.size() < offset + 7)
    return t;
  t.year = GetU16(bytes.data() + offset);
  t.month = bytes[offset + 2];
  t.day = bytes[offset + 3];
  t.hour = bytes[offset + 4];
  t.minute = bytes[offset + 5];
  t.second = bytes[offset + 6];
  return t;
}

std::vector<std::uint16_t> ReplaceState(std::vector<std::uint16_t> states, std::uint16_t from,
                                        std::uint16_t to) {
  std::replace(states.begin(), states.end(), from, to);
  return states;
}

}  // namespace

bool Terminal::PowerCutDue(TransferKind kind, int area, std::uint16_t number,
                           PowerCutMoment moment) const {
  return faults_.powerCut == kind && faults_.powerCutAt == moment &&
         number == faults_.powerCutBlock &&
         (faults_.powerCutArea < 0 || faults_.powerCutArea == area);
}

void Terminal::CutPower(TransferKind kind, std::uint16_t number, std::string_view when) {
  Note(std::string("fault: power cut ") + std::string(when) + " block " + std::to_string(number) +
       " of " + TransferName(kind));
  faults_.powerCut = TransferKind::None;  // one cut per run
  PowerCut();
  if (onPowerCut_)
    onPowerCut_();
}

void Terminal::ClearMarkOnArrival(TransferKind kind, int area, std::uint16_t number) {
  if (!behaviour_.clearMarkOnArrival || number != 0)
    return;
  // A repeated first block belongs to the rewrite already begun.
  if (write_.kind == kind && write_.area == area && write_.last == 0)
    return;
  if (kind == TransferKind::E2) {
    PutU16(device_.e2prom.data(), 0xFFFF);
    Save({DevicePart::E2});
  } else {
    link::Bytes& bytes = device_.para[static_cast<std::size_t>(area)].primary.bytes;
    if (bytes.size() < 2)
      return;
    PutU16(bytes.data(), 0xFFFF);
    Save({DevicePart::Para, static_cast<std::size_t>(area)});
  }
  Note("intact mark cleared: a rewrite begins");
}

Terminal::Verdict Terminal::CheckBlock(TransferKind kind, int area, std::uint16_t blockMsgId,
                                       std::uint16_t count, std::uint16_t number) {
  if (PowerCutDue(kind, area, number, PowerCutMoment::kOnArrival)) {
    CutPower(kind, number, "on the arrival of");
    return Verdict::PowerLost;
  }
  if (faults_.refuseEnabled && number == faults_.refuseBlock &&
      (faults_.refuseMsgId == 0 || faults_.refuseMsgId == blockMsgId) &&
      refusalsDone_ < faults_.refuseTimes) {
    ++refusalsDone_;
    Note("fault: block refused");
    return Verdict::Refuse;
  }
  const bool same = write_.kind == kind && write_.area == area && write_.count == count;
  if (same && write_.last >= 0 && number == write_.last)
    return Verdict::Repeat;
  if (number == 0 && count > 0) {
    write_ = {kind, area, count, -1, true};
    return Verdict::Write;
  }
  if (same && write_.open && number == write_.last + 1 && number < count)
    return Verdict::Write;
  Note("block out of sequence, refused");
  return Verdict::Refuse;
}

void Terminal::Accepted(TransferKind kind, std::uint16_t number) {
  write_.last = number;
  if (number + 1 >= write_.count)
    write_.open = false;
  ++blockWrites_;
  if (kind != TransferKind::Marker && kind != TransferKind::Ram &&
      kind != TransferKind::Bootloader) {
    sessionWrites_ = true;
    ArmRunCheck();
  }
}

// Acknowledges the block just taken (write_ names it), unless the power cut
// falls after its store. False when the power goes: the caller does nothing
// more, as a terminal without power would not.
bool Terminal::AckStored(std::uint16_t ackId, std::uint16_t status, std::uint32_t delayMs) {
  const TransferKind kind = write_.kind;
  const auto number = static_cast<std::uint16_t>(write_.last);
  if (PowerCutDue(kind, write_.area, number, PowerCutMoment::kAfterStore)) {
    CutPower(kind, number, "after storing");
    return false;
  }
  if (PowerCutDue(kind, write_.area, number, PowerCutMoment::kAfterAck)) {
    faults_.powerCut = TransferKind::None;  // armed no more while the ack waits
    // Cut in the same step that hands the ack to the line: a cut scheduled
    // on its own could come first and drop the ack with the old epoch's work.
    Later(behaviour_.replyDelayMs + delayMs, [this, ackId, status, kind, number] {
      Emit(ackId, StatusPayload(status));
      CutPower(kind, number, "after acknowledging");
    });
    return false;
  }
  SendStatus(ackId, status, delayMs);
  return true;
}

void Terminal::BackUpOwnData() {
  if (device_.UsesE2()) {
    if (!E2Intact(device_.e2prom))
      return;
    device_.e2Copy.bytes = device_.e2prom;
    PutU16(device_.e2Copy.bytes.data(), kE2CopyValid);
    Save({DevicePart::E2Copy});
  } else {
    // Damaged data never overwrites the second copies.
    if (!device_.ParaDataIntact())
      return;
    for (std::size_t i = 0; i < device_.para.size(); ++i) {
      device_.para[i].copy.bytes = device_.para[i].primary.bytes;
      Save({DevicePart::ParaCopy, i});
    }
  }
  Note("own data backed up");
}

void Terminal::OnAppDownloadStart(ByteView payload) {
  const auto address = ReadU32(payload, 0);
  if (!address || *address != device_.areas[kAppEntry].areaAddr) {
    Note("App download to an unknown address, ignored");
    return;
  }
  write_ = {};
  const StateList& list = behaviour_.appStartStates;
  if (list.hello) {
    Send(MsgHello);
    return;
  }
  std::vector<std::uint16_t> states = list.states;
  if (list.automatic) {
    states =
        device_.ParaDataIntact() ? std::vector<std::uint16_t>{1, 2} : std::vector<std::uint16_t>{0};
  }
  if (faults_.dataBackupFails)
    states = ReplaceState(states, 2, 4);
  SendStates(MsgDataBackupState, states, behaviour_.replyDelayMs, behaviour_.dataBackupMs,
             [this](std::uint16_t state, bool) {
               if (state == 2)
                 BackUpOwnData();
             });
}

void Terminal::OnAppBlock(ByteView payload) {
  const auto block = DecodeReadBackShort(payload);
  if (!block) {
    SendStatus(MsgAppBlockAck, 0);
    return;
  }
  const Verdict verdict =
      CheckBlock(TransferKind::App, -1, MsgAppBlock, block->blockCount, block->blockNumber);
  if (verdict == Verdict::PowerLost)
    return;
  if (verdict != Verdict::Write) {
    SendStatus(MsgAppBlockAck, verdict == Verdict::Repeat ? 1 : 0);
    return;
  }
  AppArea& app = device_.app;
  const std::size_t offset = device_.AppImageOffset();
  const std::uint16_t n = block->blockNumber;
  if (n == 0) {
    const auto fileLength = ReadU32(block->data, 2);
    const std::size_t imageLen = offset + fileLength.value_or(0);
    if (block->length != kBlockSize || !fileLength || imageLen > device_.AppCapacity() ||
        block->blockCount != BlocksFor(imageLen) + 1) {
      Note("App descriptor does not fit, refused");
      write_ = {};
      SendStatus(MsgAppBlockAck, 0);
      return;
    }
    if (app.present && behaviour_.backupAppOnDownload) {
      device_.backupApp = app;
      Save({DevicePart::BackupApp});
    }
    app = {};
    app.fileLength = *fileLength;
    app.stamp = StampAt(block->data, 36);
  } else {
    const std::size_t at = (n - std::size_t{1}) * kBlockSize;
    const std::size_t imageLen = offset + app.fileLength;
    const bool last = n + 1 == block->blockCount;
    if (app.image.size() != at || (!last && block->length != kBlockSize) ||
        (last && at + block->length != imageLen)) {
      Note("App block of the wrong length, refused");
      SendStatus(MsgAppBlockAck, 0);
      return;
    }
    app.image.insert(app.image.end(), block->data.begin(), block->data.end());
  }
  Save({DevicePart::App});
  Accepted(TransferKind::App, n);
  if (AckStored(MsgAppBlockAck, 1, behaviour_.blockWriteMs) && !write_.open)
    FinishApp();
}

// The image is complete: the terminal writes it and reports the state of its
// data; the App counts as present from the last report on.
void Terminal::FinishApp() {
  std::vector<std::uint16_t> states = behaviour_.appWriteStates.states;
  if (behaviour_.appWriteStates.automatic || behaviour_.appWriteStates.hello)
    states = {1, 2};
  auto finish = [this] {
    device_.app.present = true;
    device_.TakeAppIdentity(device_.app);
    Save({DevicePart::App});
    Note("App written");
  };
  if (states.empty()) {
    finish();
    return;
  }
  SendStates(MsgDataBackupState, states, behaviour_.replyDelayMs + behaviour_.blockWriteMs + 1,
             behaviour_.appWriteMs, [finish](std::uint16_t, bool last) {
               if (last)
                 finish();
             });
}

void Terminal::OnParaDownloadStart() {
  ++paraStartCount_;
  if (Applies(faults_.paraDownloadErr, paraStartCount_)) {
    Note("fault: parameter download refused");
    SendStatus(MsgParaDownloadErr, faults_.paraDownloadErr.status);
    return;
  }
  if (device_.UsesE2()) {
    Note("no Flash parameter areas in this generation");
    SendStatus(MsgParaDownloadErr, 0);
    return;
  }
  write_ = {};
  const StateList& list = behaviour_.paraStartStates;
  if (list.hello) {
    Send(MsgHello);
    return;
  }
  std::vector<std::uint16_t> states = list.states;
  if (list.automatic) {
    if (paraSessionStarted_) {
      states = {3};
    } else if (device_.ParaDataIntact()) {
      states = {1, 2};
    } else {
      states = {0};
    }
  }
  paraSessionStarted_ = true;
  SendStates(MsgParaDownloadState, states, behaviour_.replyDelayMs, behaviour_.dataBackupMs,
             [this](std::uint16_t state, bool) {
               if (state == 2)
                 BackUpOwnData();
             });
}

void Terminal::OnParaBlock(ByteView payload) {
  const auto area = DecodeAreaBlock(payload);
  if (!area) {
    SendStatus(MsgParaDownloadErr, 1);
    return;
  }
  const int index = device_.ParaIndexAt(area->address);
  if (index < 0) {
    SendStatus(MsgParaDownloadErr, 0);
    return;
  }
  const auto i = static_cast<std::size_t>(index);
  if (area->length != device_.areas[i].areaLen) {
    SendStatus(MsgParaDownloadErr, 1);
    return;
  }
  const ReadBackBlock& block = area->block;
  ClearMarkOnArrival(TransferKind::Para, index, block.blockNumber);
  const Verdict verdict =
      CheckBlock(TransferKind::Para, index, MsgParaBlock, block.blockCount, block.blockNumber);
  if (verdict == Verdict::PowerLost)
    return;
  if (verdict != Verdict::Write) {
    SendStatus(MsgParaBlockAck, verdict == Verdict::Repeat ? 1 : 0);
    return;
  }
  FlashRegion& region = device_.para[i].primary;
  const std::uint16_t n = block.blockNumber;
  if (n == 0) {
    const std::size_t dataSize = ReadU32(block.data, 2).value_or(0);
    if (block.length != kParaHeaderSize || kParaHeaderSize + dataSize > region.capacity ||
        block.blockCount != BlocksFor(dataSize) + 1) {
      Note("parameter header does not fit the area");
      write_ = {};
      SendStatus(MsgParaDownloadErr, 1);
      return;
    }
    region.bytes.assign(block.data.begin(), block.data.end());
    // Not intact until the last block is in, whatever the header says.
    PutU16(region.bytes.data(), 0xFFFF);
  } else {
    const std::size_t at = kParaHeaderSize + (n - std::size_t{1}) * kBlockSize;
    const bool last = n + 1 == block.blockCount;
    const std::size_t dataSize = ReadU32(region.bytes, 2).value_or(0);
    if (region.bytes.size() != at || (!last && block.length != kBlockSize) ||
        (last && at + block.length != kParaHeaderSize + dataSize)) {
      Note("parameter block of the wrong length");
      SendStatus(MsgParaDownloadErr, 1);
      return;
    }
    region.bytes.insert(region.bytes.end(), block.data.begin(), block.data.end());
  }
  Accepted(TransferKind::Para, n);
  if (!write_.open) {
    PutU16(region.bytes.data(), kAreaIntact);
    Note("parameter area " + std::to_string(i + 1) + " written");
  }
  Save({DevicePart::Para, i});
  AckStored(MsgParaBlockAck, 1, behaviour_.blockWriteMs);
}

void Terminal::OnE2WriteBlock(ByteView payload) {
  const auto block = DecodeReadBackLong(payload);
  if (!block || !device_.UsesE2()) {
    Note(block ? "no E2PROM in this generation" : "malformed E2PROM block");
    SendStatus(MsgE2WriteAck, 0);
    return;
  }
  ClearMarkOnArrival(TransferKind::E2, -1, block->blockNumber);
  const Verdict verdict =
      CheckBlock(TransferKind::E2, -1, MsgE2WriteBlock, block->blockCount, block->blockNumber);
  if (verdict == Verdict::PowerLost)
    return;
  if (verdict != Verdict::Write) {
    SendStatus(MsgE2WriteAck, verdict == Verdict::Repeat ? 1 : 0);
    return;
  }
  const std::uint64_t at = block->address + std::uint64_t{block->blockNumber} * kBlockSize;
  if (block->length > kBlockSize || at + block->length > kE2Size) {
    Note("E2PROM block outside the E2PROM, refused");
    if (block->blockNumber == 0)
      write_ = {};
    SendStatus(MsgE2WriteAck, 0);
    return;
  }
  std::copy(block->data.begin(), block->data.end(), device_.e2prom.begin() + at);
  Accepted(TransferKind::E2, block->blockNumber);
  // The header word tells complete data: cleared by the first block, set by the last.
  PutU16(device_.e2prom.data(), write_.open ? 0xFFFF : kE2Intact);
  if (!write_.open)
    Note("E2PROM written");
  Save({DevicePart::E2});
  AckStored(MsgE2WriteAck, 1, behaviour_.blockWriteMs);
}

void Terminal::OnFlashWriteBlock(ByteView payload) {
  const auto block = DecodeReadBackLong(payload);
  if (!block) {
    SendStatus(MsgFlashWriteAck, 1);
    return;
  }
  if (Applies(faults_.flashWriteErr, received_.CountOf(MsgFlashWriteBlock))) {
    Note("fault: Flash write refused");
    SendStatus(MsgFlashWriteAck, faults_.flashWriteErr.status);
    return;
  }
  // The address is the start of the transfer and names the region.
  struct Target {
    FlashRegion* region;
    TransferKind kind;
    DevicePart part;
  };
  const Target targets[] = {
      {&device_.marker, TransferKind::Marker, DevicePart::Marker},
      {&device_.resource, TransferKind::Resource, DevicePart::Resource},
      {&device_.e2Copy, TransferKind::E2Copy, DevicePart::E2Copy},
  };
  const auto* target = std::find_if(std::begin(targets), std::end(targets), [&](const Target& t) {
    return t.region->capacity > 0 && t.region->address == block->address;
  });
  if (target == std::end(targets)) {
    SendStatus(MsgFlashWriteAck, 0);
    return;
  }
  const Verdict verdict =
      CheckBlock(target->kind, -1, MsgFlashWriteBlock, block->blockCount, block->blockNumber);
  if (verdict == Verdict::PowerLost)
    return;
  if (verdict != Verdict::Write) {
    SendStatus(MsgFlashWriteAck, verdict == Verdict::Repeat ? 3 : 2);
    return;
  }
  FlashRegion& region = *target->region;
  const std::size_t at = std::size_t{block->blockNumber} * kBlockSize;
  if (block->length > kBlockSize || at + block->length > region.capacity ||
      (block->blockNumber > 0 && region.bytes.size() != at)) {
    if (block->blockNumber == 0)
      write_ = {};
    SendStatus(MsgFlashWriteAck, 1);
    return;
  }
  if (block->blockNumber == 0)
    region.bytes.clear();  // erased before it is written
  region.bytes.insert(region.bytes.end(), block->data.begin(), block->data.end());
  Accepted(target->kind, block->blockNumber);
  if (target->kind == TransferKind::E2Copy) {
    // The copy's mark counts only once the whole copy is in.
    if (block->blockNumber == 0)
      copyMark_ = ReadU16(region.bytes, 0).value_or(0xFFFF);
    if (region.bytes.size() >= 2)
      PutU16(region.bytes.data(), write_.open ? 0xFFFF : copyMark_);
  }
  Save({target->part});
  AckStored(MsgFlashWriteAck, 3, behaviour_.blockWriteMs);
}

}  // namespace tavro::sim

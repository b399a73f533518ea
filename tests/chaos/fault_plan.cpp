#include "chaos/fault_plan.hpp"

#include <algorithm>
#include <iterator>

#include "sim/faults.hpp"

namespace tavro::chaos {
namespace {

constexpr const char* kNames[] = {
    "silence",
    "CRC error",
    "dropped frame",
    "repeated frame",
    "refusal",
    "refusals past limit",
    "garbage",
    "cut-off frame",
    "power cut at byte",
    "power cut in transfer",
    "power cut at instant",
    "adapter removal",
    "unasked restart",
    "other",
};
static_assert(std::size(kNames) == static_cast<std::size_t>(FaultKind::kCount));

bool Has(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

}  // namespace

const char* FaultName(FaultKind kind) {
  return kNames[static_cast<std::size_t>(kind)];
}

std::uint64_t FaultTally::Total() const {
  std::uint64_t n = 0;
  for (const std::uint64_t c : counts)
    n += c;
  return n;
}

void FaultTally::Add(const FaultTally& other) {
  for (std::size_t i = 0; i < counts.size(); ++i)
    counts[i] += other.counts[i];
}

std::string FaultTally::Format() const {
  std::string text;
  for (std::size_t i = 0; i < counts.size(); ++i) {
    if (counts[i] == 0)
      continue;
    text += (text.empty() ? "" : ", ") + std::string(kNames[i]) + " " + std::to_string(counts[i]);
  }
  return text.empty() ? "none" : text;
}

bool ClassifyNote(std::string_view note, FaultKind& kind) {
  if (Has(note, "silent for")) {
    kind = FaultKind::kSilence;
  } else if (!Has(note, "fault:")) {
    return false;
  } else if (Has(note, "CRC broken")) {
    kind = FaultKind::kCrcError;
  } else if (Has(note, "dropped")) {
    kind = FaultKind::kDroppedFrame;
  } else if (Has(note, "repeated") || Has(note, "sent twice")) {
    kind = FaultKind::kRepeatedFrame;
  } else if (Has(note, "block refused")) {
    kind = FaultKind::kRefusal;
  } else if (Has(note, "line noise")) {
    kind = FaultKind::kGarbage;
  } else if (Has(note, "cut off")) {
    kind = FaultKind::kCutOffFrame;
  } else if (Has(note, "power cut at byte")) {
    kind = FaultKind::kPowerCutAtByte;
  } else if (Has(note, "power cut")) {
    kind = FaultKind::kPowerCutInTransfer;
  } else if (Has(note, "adapter removed")) {
    kind = FaultKind::kAdapterRemoval;
  } else if (Has(note, "restart unasked")) {
    kind = FaultKind::kUnaskedRestart;
  } else {
    kind = FaultKind::kOther;
  }
  return true;
}

FaultDriver::FaultDriver(Bench& bench, Choices& choices, const TerminalPlan& plan)
    : bench_(bench), choices_(choices) {
  transfers_ = {sim::TransferKind::App};
  if (plan.UsesE2() || plan.newBootloader)
    transfers_.insert(transfers_.end(), {sim::TransferKind::E2, sim::TransferKind::E2Copy});
  if (!plan.UsesE2())
    transfers_.push_back(sim::TransferKind::Para);
  if (plan.resource != 0)
    transfers_.push_back(sim::TransferKind::Resource);
  if (plan.newBootloader)
    transfers_.insert(transfers_.end(), {sim::TransferKind::Ram, sim::TransferKind::Bootloader});
  if (plan.blVersion < 0x210)
    transfers_.push_back(sim::TransferKind::Marker);
  bench_.onNote = [this](std::string_view note) {
    FaultKind kind{};
    if (active_ && ClassifyNote(note, kind))
      tally_.Count(kind);
  };
  bench_.onPowerCut = [this] { PowerBackLater(); };
  bench_.onUnplugged = [this] { ReplugLater(); };
}

FaultDriver::~FaultDriver() {
  bench_.onNote = nullptr;
  bench_.onPowerCut = nullptr;
  bench_.onUnplugged = nullptr;
}

void FaultDriver::Later(std::uint64_t ms, std::function<void()> fn) {
  std::weak_ptr<int> alive = alive_;
  bench_.loop.ScheduleAfter(ms, [this, alive, fn = std::move(fn)] {
    if (!alive.expired() && active_)
      fn();
  });
}

void FaultDriver::PowerBackLater() {
  Later(choices_.LogRange(100, 8000), [this] {
    if (!bench_.terminal().Powered())
      bench_.terminal().PowerUp();
  });
}

void FaultDriver::ReplugLater() {
  Later(choices_.LogRange(100, 8000), [this] { bench_.Replug(); });
}

void FaultDriver::Arm(std::uint32_t frames, std::uint64_t durationMs, std::uint64_t volume) {
  bench_.terminal().faults() = {};
  if (choices_.Chance(25))
    return;
  const std::uint32_t n = choices_.Chance(60) ? 1 : choices_.Range(2, 4);
  for (std::uint32_t i = 0; i < n; ++i)
    ArmOne(frames, durationMs, volume);
}

void FaultDriver::ArmOne(std::uint32_t frames, std::uint64_t durationMs, std::uint64_t volume) {
  sim::Terminal& t = bench_.terminal();
  sim::Faults& f = t.faults();
  Choices& c = choices_;
  const std::uint32_t sentAt = t.SentTotal() + c.Range(1, frames);
  const std::uint32_t receivedAt = t.ReceivedTotal() + c.Range(1, frames);
  const std::uint64_t at = c.LogRange(1, static_cast<std::uint32_t>(durationMs));
  switch (c.Below(14)) {
    case 0:
      f.silenceAfter = {true, 0, receivedAt, 1};
      f.silenceMs = c.Chance(5) ? 0 : c.LogRange(50, 40000);
      break;
    case 1:
      f.crcErrorReply = {true, 0, sentAt, c.Range(1, 4)};
      break;
    case 2:
      f.dropReply = {true, 0, sentAt, c.Range(1, 3)};
      break;
    case 3:
      f.repeatReply = {true, 0, sentAt, c.Range(1, 2)};
      break;
    case 4:
      f.refuseEnabled = true;
      f.refuseMsgId = 0;
      f.refuseBlock = static_cast<std::uint16_t>(c.Range(0, 3));
      f.refuseTimes = c.Chance(30) ? c.Range(5, 7) : c.Range(1, 4);
      if (f.refuseTimes >= 5)
        tally_.Count(FaultKind::kRefusalsPastLimit);
      break;
    case 5:
      f.garbageAfter = {true, 0, sentAt, 1};
      f.garbageBytes = c.LogRange(1, 600);
      break;
    case 6:
      f.rxTimeoutOn = {true, 0, receivedAt, 1};
      f.rxTimeoutBurst = c.Range(1, 4);
      break;
    case 7:
      f.powerCutAtByte =
          t.BytesReceived() +
          c.LogRange(1, static_cast<std::uint32_t>(std::min<std::uint64_t>(volume + 1, 4000000)));
      break;
    case 8:
      f.powerCut = transfers_[c.Below(static_cast<std::uint32_t>(transfers_.size()))];
      f.powerCutArea = -1;
      f.powerCutBlock = static_cast<std::uint16_t>(c.LogRange(1, 12) - 1);
      f.powerCutAt = static_cast<sim::PowerCutMoment>(c.Below(3));
      break;
    case 9:
      Later(at, [this] {
        if (!bench_.terminal().Powered())
          return;
        tally_.Count(FaultKind::kPowerCutAtInstant);
        bench_.terminal().PowerCut();
        PowerBackLater();
      });
      break;
    case 10:
      f.adapterRemovalAfter = {true, 0, receivedAt, 1};
      break;
    case 11:
      Later(at, [this] {
        if (!bench_.Plugged())
          return;
        tally_.Count(FaultKind::kAdapterRemoval);
        bench_.Unplug();
      });
      break;
    case 12:
      f.restartAfter = {true, 0, receivedAt, 1};
      break;
    default:
      Later(at, [this] {
        if (!bench_.terminal().Powered())
          return;
        tally_.Count(FaultKind::kUnaskedRestart);
        bench_.terminal().PowerCut();
        Later(bench_.terminal().behaviour().restartMs, [this] { bench_.terminal().PowerUp(); });
      });
      break;
  }
}

void FaultDriver::Stop() {
  active_ = false;
  bench_.terminal().faults() = {};
  if (!bench_.Plugged())
    bench_.Replug();
  if (!bench_.terminal().Powered())
    bench_.terminal().PowerUp();
}

}  // namespace tavro::chaos

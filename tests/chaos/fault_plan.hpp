#pragma once
// The faults of a campaign: drawn for each operation at random instants,
// alone and together, armed in the simulated terminal or scheduled on the
// virtual clock, and counted by kind as they strike.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "chaos/bench.hpp"
#include "chaos/choices.hpp"
#include "chaos/terminal_plan.hpp"
#include "sim/faults.hpp"

namespace tavro::chaos {

enum class FaultKind {
  kSilence,
  kCrcError,
  kDroppedFrame,
  kRepeatedFrame,
  kRefusal,
  kRefusalsPastLimit,
  kGarbage,
  kCutOffFrame,
  kPowerCutAtByte,
  kPowerCutInTransfer,
  kPowerCutAtInstant,
  kAdapterRemoval,
  kUnaskedRestart,
  kOther,
  kCount
};
const char* FaultName(FaultKind kind);

struct FaultTally {
  std::array<std::uint64_t, static_cast<std::size_t>(FaultKind::kCount)> counts{};

  void Count(FaultKind kind) { ++counts[static_cast<std::size_t>(kind)]; }
  std::uint64_t Of(FaultKind kind) const { return counts[static_cast<std::size_t>(kind)]; }
  std::uint64_t Total() const;
  void Add(const FaultTally& other);
  // "kind n, kind n, ..." for the kinds that struck.
  std::string Format() const;
};

// Which fault a note of the simulated terminal tells of; false for notes
// that are not faults.
bool ClassifyNote(std::string_view note, FaultKind& kind);

// Arms the faults of one operation and brings the terminal back after the
// ones that take it away (power, adapter), as a technician would.
class FaultDriver {
 public:
  // `plan` says which transfers a power cut can interrupt.
  FaultDriver(Bench& bench, Choices& choices, const TerminalPlan& plan);
  ~FaultDriver();

  // Draws the faults of the next operation; `frames` estimates the frames
  // it exchanges and `durationMs` how long it takes.
  void Arm(std::uint32_t frames, std::uint64_t durationMs, std::uint64_t volume);
  // No fault strikes any more; the terminal is powered and plugged in.
  void Stop();
  bool Active() const { return active_; }
  const FaultTally& tally() const { return tally_; }

 private:
  void ArmOne(std::uint32_t frames, std::uint64_t durationMs, std::uint64_t volume);
  void PowerBackLater();
  void ReplugLater();
  // Runs `fn` after `ms` unless the faults have stopped meanwhile.
  void Later(std::uint64_t ms, std::function<void()> fn);

  Bench& bench_;
  Choices& choices_;
  std::vector<sim::TransferKind> transfers_;
  FaultTally tally_;
  bool active_ = true;
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace tavro::chaos

#pragma once
// One seed of the fault campaign: a terminal drawn at random, a day's
// operations in one window with faults at random instants, and the
// invariants checked after every step; then the faults stop and the window
// must behave as a fresh one and an interrupted download converge.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "chaos/choices.hpp"
#include "chaos/fault_plan.hpp"

namespace tavro::chaos {

class Bench;

struct CampaignOptions {
  std::string packageDir;           // the source tree's package/ folder (language file)
  std::uint32_t maxOperations = 6;  // operations with faults before they stop
  std::uint32_t maxApp = 1 << 20;   // largest App drawn, bytes
  // Exactly this many operations with faults (0: a number drawn up to
  // maxOperations).
  std::uint32_t fixedOperations = 0;
  // Called after each of those operations, the window idle.
  std::function<void(std::uint32_t index, Bench& bench)> afterOperation;
};

struct SeedResult {
  bool passed = true;
  std::string failure;           // the first invariant broken
  std::string terminal;          // the drawn terminal, in words
  std::vector<std::string> log;  // the last operations and what they showed
  FaultTally faults;
  std::uint32_t operations = 0;
  std::uint64_t virtualMs = 0;
};

SeedResult RunCampaign(Choices& choices, const CampaignOptions& options);

}  // namespace tavro::chaos

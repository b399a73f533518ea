#pragma once
// What a technician reads beside the progress bar during a block transfer:
// bytes done of the total, the rate over the last seconds and the time left.
// The front ends sample the running transfer and show the line when the
// meter says one is due.

#include <cstdint>
#include <deque>
#include <optional>
#include <string>

#include "engine/context.hpp"

namespace tavro::app {

// The units and the time-left wording of the line, in the window's language.
struct TransferWords {
  std::string bytes = "B";
  std::string rate = "B/s";
  std::string left = "%1 left";  // %1 stands for the time left, "m:ss"
};

struct TransferState {
  std::string stage;  // "App", "Data 1.dat", "Resources", "App backup", ...
  std::uint64_t done = 0;
  std::uint64_t total = 0;
  TransferWords words;
};

// The block transfer the running command moves, as far as its counters
// tell, named in the language's words; nullopt when no transfer runs.
std::optional<TransferState> RunningTransfer(const engine::Context& ctx);

// "App: 12288/262144 B, 11198 B/s, 0:21 left"; the rate and the time left
// only once a rate is known.
std::string TransferLine(const TransferState& state, std::optional<double> bytesPerSecond);

class TransferMeter {
 public:
  // Lines are due at most this often.
  static constexpr std::uint64_t kMinIntervalMs = 200;

  // Takes a sample at `nowMs`. Returns the line to show when one is due: at
  // most every kMinIntervalMs while the transfer moves, and an empty line
  // once when it ends (its last sample may lack its last blocks).
  std::optional<std::string> Update(const std::optional<TransferState>& state, std::uint64_t nowMs);
  // Bytes per second over the samples of the last few seconds.
  std::optional<double> Rate() const;

 private:
  struct Sample {
    std::uint64_t ms;
    std::uint64_t done;
  };
  std::optional<TransferState> current_;
  std::deque<Sample> samples_;
  std::uint64_t lastShownMs_ = 0;
  std::uint64_t lastShownDone_ = ~std::uint64_t{0};
};

}  // namespace tavro::app

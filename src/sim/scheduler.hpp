#pragma once
// The terminal's sense of time. The terminal never reads a clock of its own:
// it asks its scheduler for the time and for delayed work, so the same
// terminal runs in virtual time (tests) and in real time (pseudo terminal).

#include <cstdint>
#include <functional>
#include <map>
#include <utility>

namespace tavro::sim {

class Scheduler {
 public:
  virtual ~Scheduler() = default;
  // Milliseconds on a monotonic clock.
  virtual std::uint64_t NowMs() const = 0;
  // Runs `fn` once, `ms` from now. Work due at the same moment runs in the
  // order it was scheduled.
  virtual void After(std::uint32_t ms, std::function<void()> fn) = 0;
};

// A scheduler whose clock is set from outside: tests advance it by hand and
// the pseudo-terminal loop sets it from the steady clock before running due work.
class TimerQueue : public Scheduler {
 public:
  std::uint64_t NowMs() const override { return now_; }
  void After(std::uint32_t ms, std::function<void()> fn) override;

  // Moves the clock to `ms` (never backwards) without running anything.
  void SetNow(std::uint64_t ms);
  // Runs all work due at or before the current time, including work that the
  // work itself schedules for no later than now. Returns the number run.
  std::size_t RunDue();
  // Advances the clock by `ms`, running every piece of work at its own time.
  void Advance(std::uint64_t ms);
  // Time of the earliest pending work, or false when none is pending.
  bool NextDue(std::uint64_t& at) const;
  bool Empty() const { return queue_.empty(); }

 private:
  std::uint64_t now_ = 0;
  std::uint64_t seq_ = 0;
  std::multimap<std::pair<std::uint64_t, std::uint64_t>, std::function<void()>> queue_;
};

}  // namespace tavro::sim

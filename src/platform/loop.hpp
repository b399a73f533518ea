#pragma once
// The decision thread's clock and mailbox. Timers are numbered 1..12 and each
// number has one meaning for the whole program. Implementations: the console
// loop (real time), the virtual-time loop (tests) and the Qt loop (GUI).

#include <cstdint>
#include <ctime>
#include <functional>

namespace tavro::platform {

inline constexpr int kFirstTimer = 1;
inline constexpr int kLastTimer = 12;

class Loop {
 public:
  using TickHandler = std::function<void(int timerId)>;

  virtual ~Loop() = default;

  // Receiver of every timer tick, called on the decision thread.
  virtual void SetTickHandler(TickHandler onTick) = 0;
  // Starts timer `id` with `periodMs`, or restarts it: the count begins anew
  // from now, also when called from the timer's own tick.
  virtual void StartTimer(int id, std::uint32_t periodMs) = 0;
  virtual void StopTimer(int id) = 0;
  virtual bool TimerRunning(int id) const = 0;
  // Blocks the decision thread; no tick and no byte is handled meanwhile.
  virtual void Sleep(std::uint32_t ms) = 0;
  // Called from another thread: runs `fn` on the decision thread and returns
  // only after it has run (the serial worker's hand-over of one byte).
  virtual void RunOnDecisionThread(const std::function<void()>& fn) = 0;
  // Monotonic milliseconds since the loop started.
  virtual std::uint64_t NowMs() const = 0;
  // Wall-clock time for time stamps and file names.
  virtual std::time_t WallTime() const = 0;
};

}  // namespace tavro::platform

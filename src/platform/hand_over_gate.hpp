#pragma once
// The threads inside a loop's RunOnDecisionThread, counted so that the loop
// can let every one of them go before it closes: a thread that waits on a
// loop that is gone would wait for ever.

#include <atomic>
#include <functional>
#include <mutex>

namespace tavro::platform {

class HandOverGate {
 public:
  // A thread about to hand over; false once the gate is closed (the thread
  // returns without handing over). Every true is followed by one Leave().
  bool Enter() {
    std::lock_guard lock(mutex_);
    if (closed_)
      return false;
    ++inFlight_;
    return true;
  }
  void Leave() {
    std::lock_guard lock(mutex_);
    --inFlight_;
  }
  // Whether a hand-over that reaches the decision thread still runs its work.
  bool Runs() const { return !closing_; }
  // Closes the gate. `deliver` (decision thread) takes the hand-overs in
  // flight, which skip their work, and is called until none is left.
  void Close(const std::function<void()>& deliver) {
    closing_ = true;
    {
      std::lock_guard lock(mutex_);
      closed_ = true;
    }
    for (;;) {
      if (InFlight() == 0)
        return;
      deliver();
    }
  }
  int InFlight() const {
    std::lock_guard lock(mutex_);
    return inFlight_;
  }

 private:
  mutable std::mutex mutex_;
  bool closed_ = false;  // guarded by mutex_
  int inFlight_ = 0;     // guarded by mutex_
  std::atomic<bool> closing_{false};
};

}  // namespace tavro::platform

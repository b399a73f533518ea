#pragma once
// A Loop whose clock moves only when the test says so. Timer ticks and
// scheduled one-shot events run in virtual-time order, so a whole operation
// with its time-outs runs deterministically in milliseconds of real time.
//
// The decision thread is the thread that constructed the loop. Time moves
// only through Advance/AdvanceTo/RunUntil (which run what falls due) and
// through Sleep (which only moves the clock, as a blocking sleep on a desktop
// UI thread would: what fell due meanwhile runs at the next Advance, in time
// order, each timer at most once).
//
// Ordering at one instant: earlier due time first; equal due times in the
// order they were scheduled (timer start, restart or re-arm after a tick,
// ScheduleAt/ScheduleAfter call). A timer stopped or restarted by an earlier
// callback at the same instant does not fire at its old time.
//
// Runaway guard: more than kMaxRunsPerInstant callbacks within one Advance or
// RunUntil call without the clock
// moving (e.g. an event that reschedules itself with delay 0 forever) puts
// the loop into a sticky fault: nothing runs any more, Faulted() is true,
// FaultText() says what happened and RunUntil returns false.

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "platform/loop.hpp"

namespace tavro::loop {

class VirtualLoop : public platform::Loop {
 public:
  static constexpr std::uint32_t kMaxRunsPerInstant = 100000;

  // 2026-01-02 03:04:05 local time: the default start of the wall clock.
  static std::time_t DefaultWallTimeBase();

  VirtualLoop();
  ~VirtualLoop() override;
  VirtualLoop(const VirtualLoop&) = delete;
  VirtualLoop& operator=(const VirtualLoop&) = delete;

  // Loop
  void SetTickHandler(TickHandler onTick) override;
  // A period of 0 counts as 1 ms, so a timer can never fire twice at one instant.
  void StartTimer(int id, std::uint32_t periodMs) override;
  void StopTimer(int id) override;
  bool TimerRunning(int id) const override;
  void Sleep(std::uint32_t ms) override;
  void RunOnDecisionThread(const std::function<void()>& fn) override;
  std::uint64_t NowMs() const override { return now_; }
  std::time_t WallTime() const override;

  // WallTime() = base + whole virtual seconds.
  void SetWallTimeBase(std::time_t base) { wallBase_ = base; }

  // One-shot events on the virtual clock. A time in the past runs at the next
  // Advance, in due-time order.
  void ScheduleAt(std::uint64_t timeMs, std::function<void()> fn);
  void ScheduleAfter(std::uint64_t delayMs, std::function<void()> fn);

  // Runs everything due up to now + ms (resp. t), moving the clock to each
  // event's time, and ends with the clock at the target.
  void Advance(std::uint64_t ms);
  void AdvanceTo(std::uint64_t timeMs);
  // Runs event by event until `done` holds or limitMs of virtual time have
  // passed; returns whether `done` held. The clock stops at the event that
  // made it hold, or at now + limitMs.
  bool RunUntil(const std::function<bool()>& done, std::uint64_t limitMs);
  // Runs the cross-thread requests queued now and whatever is due at the
  // current time, without moving the clock.
  void RunPending();
  // Blocks in real time until another thread has queued a request for the
  // decision thread; false after `timeout`. Lets a test meet a worker that
  // hands something over.
  bool WaitForRequest(std::chrono::milliseconds timeout);

  // Time of the next timer tick or event, if any.
  std::optional<std::uint64_t> NextDueTime() const;
  std::size_t ScheduledEventCount() const { return events_.size(); }

  bool Faulted() const { return faulted_; }
  const std::string& FaultText() const { return faultText_; }

 private:
  struct TimerSlot {
    bool running = false;
    std::uint32_t periodMs = 0;
    std::uint64_t due = 0;
    std::uint64_t seq = 0;
  };
  struct Request {
    const std::function<void()>* fn = nullptr;
    bool done = false;
  };
  using EventKey = std::pair<std::uint64_t, std::uint64_t>;  // due, seq

  bool OnDecisionThread() const { return std::this_thread::get_id() == owner_; }
  // The earliest timer or event; timer id 0 means an event.
  bool NextItem(std::uint64_t& due, std::uint64_t& seq, int& timerId) const;
  // Runs the earliest item if it is due at or before `limit`; false if none.
  bool RunNextDue(std::uint64_t limit);
  void MoveClockTo(std::uint64_t t);
  bool CountRunAtInstant();
  void DrainRequests();

  std::thread::id owner_;
  std::uint64_t now_ = 0;
  std::time_t wallBase_;
  std::uint64_t nextSeq_ = 1;
  TickHandler onTick_;
  std::array<TimerSlot, platform::kLastTimer + 1> timers_{};
  std::map<EventKey, std::function<void()>> events_;

  std::uint64_t instant_ = 0;
  std::uint32_t runsAtInstant_ = 0;
  bool faulted_ = false;
  std::string faultText_;

  std::mutex requestMutex_;
  std::condition_variable requestCv_;
  std::deque<Request*> requests_;
  bool closed_ = false;
  int waiters_ = 0;  // threads blocked in RunOnDecisionThread
};

}  // namespace tavro::loop

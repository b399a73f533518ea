#pragma once
// The stop and hand-over protocol of a background thread that passes work to
// the decision thread synchronously (through Loop::RunOnDecisionThread).
//
// While the thread waits in a hand-over, the decision thread may be the one
// asking it to stop (a byte handler closes the port, a button handler reopens
// it). Waiting for the thread there would wait for ourselves. So a stop waits
// only until the thread has either ended or is parked in a hand-over; a
// parked thread touches nothing of its owner's again once it wakes, and its
// pending function is skipped when the decision thread gets to it. Such a
// thread is kept in RetiredThreads and joined once it has ended.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/loop.hpp"

namespace tavro::link::posix {

class WorkerControl {
 public:
  // nullptr when the wake-up descriptor cannot be created (errno is kept).
  static std::shared_ptr<WorkerControl> Create();
  ~WorkerControl();
  WorkerControl(const WorkerControl&) = delete;
  WorkerControl& operator=(const WorkerControl&) = delete;

  // Readable while a wake-up is pending; the thread polls it beside its own
  // descriptors.
  int WakeFd() const { return wakeFd_; }
  // Any thread: makes WakeFd readable.
  void Wake();
  // The thread: consumes pending wake-ups. Check the flags after calling it,
  // never before, so that no wake-up is lost.
  void ClearWake();

  bool StopRequested() const { return stop_.load(); }

  // The thread: runs `fn` on the decision thread and waits for it. `fn` is
  // skipped when a stop was requested before the decision thread gets to it.
  // Returns false when a stop has been requested: the thread must then end
  // without touching its owner's resources.
  bool HandOver(platform::Loop& loop, const std::function<void()>& fn);

  // The thread's last act.
  void MarkEnded();
  bool Ended() const;

  // The owner: requests the stop, wakes the thread and waits until it has
  // ended or is parked in a hand-over. True when it has ended (a join
  // returns at once).
  bool StopAndWait();

  // Guards the data the owner shares with the thread.
  std::mutex& Mutex() const { return mutex_; }

 private:
  explicit WorkerControl(int wakeFd) : wakeFd_(wakeFd) {}

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::atomic<bool> stop_{false};
  bool parked_ = false;  // guarded by mutex_
  bool ended_ = false;   // guarded by mutex_
  int wakeFd_ = -1;
};

class RetiredThreads {
 public:
  RetiredThreads() = default;
  // Joins the threads that have ended and detaches the others: those still
  // wait for a hand-over the decision thread has not run, and hold a share
  // of everything they touch.
  ~RetiredThreads();
  RetiredThreads(const RetiredThreads&) = delete;
  RetiredThreads& operator=(const RetiredThreads&) = delete;

  void Add(std::thread thread, std::shared_ptr<WorkerControl> control);
  void JoinEnded();
  std::size_t Count() const { return threads_.size(); }

 private:
  struct Entry {
    std::thread thread;
    std::shared_ptr<WorkerControl> control;
  };
  std::vector<Entry> threads_;
};

// Stops `thread` run under `control`: joined when it ended, else retired.
void EndThread(std::thread& thread, const std::shared_ptr<WorkerControl>& control,
               RetiredThreads& retired);

}  // namespace tavro::link::posix

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
//
// How the thread is woken is the platform's: posix/worker_control.hpp (an
// eventfd) and win32/worker_control.hpp (an event) derive from this.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/loop.hpp"

namespace tavro::link {

class WorkerControl {
 public:
  virtual ~WorkerControl() = default;
  WorkerControl(const WorkerControl&) = delete;
  WorkerControl& operator=(const WorkerControl&) = delete;

  // Any thread: makes the thread's wait return.
  virtual void Wake() = 0;

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

 protected:
  WorkerControl() = default;

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::atomic<bool> stop_{false};
  bool parked_ = false;  // guarded by mutex_
  bool ended_ = false;   // guarded by mutex_
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

}  // namespace tavro::link

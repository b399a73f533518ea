#pragma once
// A real-time Loop: timers by number, file descriptors to watch, and a
// wake-up through which other threads hand work to the decision thread. Used
// by the console front end and the simulator's pseudo-terminal server.
//
// The waiting itself is the platform's (console_loop_posix.cpp: poll(2) on
// an eventfd and the descriptors; console_loop_win32.cpp: an event and the
// descriptors' handles in WaitForMultipleObjects); everything else is here.
//
// The decision thread is the thread that constructed the loop. Runs nest: a
// callback may call RunUntil again (a console prompt waits for its answer
// while bytes and ticks go on being handled), and the nested run returns
// before the outer one carries on. A timer that is overdue (after Sleep or a
// long callback) fires once and counts on from then, as desktop timers do.

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/loop.hpp"

namespace tavro::loop {

class ConsoleLoop : public platform::Loop {
 public:
  // Called on the decision thread with the platform's result bits when the
  // descriptor is ready: poll(2)'s POLLIN, POLLHUP, POLLERR, ... on POSIX;
  // kReadable on Windows, where a signalled handle says no more.
  using FdHandler = std::function<void(short revents)>;
  // The events to watch for input (POLLIN on POSIX).
  static const short kReadable;

  ConsoleLoop();
  ~ConsoleLoop() override;
  ConsoleLoop(const ConsoleLoop&) = delete;
  ConsoleLoop& operator=(const ConsoleLoop&) = delete;

  // False when the wake-up could not be created; the loop then
  // still runs timers and descriptors, but hand-overs from other threads wait
  // for the next poll round (at most kWakeFallbackMs).
  bool Valid() const { return waker_ != nullptr; }

  // Loop
  void SetTickHandler(TickHandler onTick) override;
  void StartTimer(int id, std::uint32_t periodMs) override;
  void StopTimer(int id) override;
  bool TimerRunning(int id) const override;
  void Sleep(std::uint32_t ms) override;
  // From another thread: runs `fn` inside a run of this loop and returns when
  // it has run (or when the loop is destroyed, without running it). On the
  // decision thread it runs at once.
  void RunOnDecisionThread(const std::function<void()>& fn) override;
  std::uint64_t NowMs() const override;
  std::time_t WallTime() const override;

  // Watches `fd` for input (`events`, kReadable by default). Replaces an
  // earlier watch of the same descriptor. Unwatching from a callback is safe.
  // The handler must unwatch a descriptor that reports POLLHUP, POLLERR or
  // POLLNVAL for good (on Windows: whose read fails), or it is called again
  // every round.
  void WatchFd(int fd, FdHandler onReady, short events = kReadable);
  void UnwatchFd(int fd);

  // Runs until `done` holds (true) or Quit() was called (false).
  bool RunUntil(const std::function<bool()>& done);
  // Same, giving up after `limitMs` of real time (false).
  bool RunUntil(const std::function<bool()>& done, std::uint32_t limitMs);
  // Runs for `ms` of real time, or until Quit().
  void RunFor(std::uint32_t ms);
  // Ends every run, nested ones included, and keeps them ending until
  // ResetQuit(). May be called from any thread.
  void Quit();
  void ResetQuit();
  bool Quitting() const;

  static constexpr int kWakeFallbackMs = 50;

 private:
  using Clock = std::chrono::steady_clock;
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
  struct Watch {
    FdHandler onReady;
    short events = 0;
    std::uint64_t id = 0;
  };
  struct Ready {
    int fd = -1;
    short revents = 0;
    std::uint64_t watchId = 0;
  };
  struct Waker;  // the platform's wake-up object

  bool OnDecisionThread() const { return std::this_thread::get_id() == owner_; }
  // One round: hand-overs, due timers, one poll with at most `maxWaitMs`.
  void RunOnce(std::int64_t maxWaitMs);
  // Both return whether anything ran.
  bool DrainRequests();
  bool FireDueTimers();
  std::int64_t MsToNextTimer() const;
  // The platform's part (console_loop_<platform>.cpp).
  static std::shared_ptr<Waker> MakeWaker();  // null when it cannot be made
  void Wake();
  // Waits up to `waitMs` (-1: no limit) for a wake-up or a watched
  // descriptor; fills `ready` with the descriptors that are ready and
  // returns whether a wake-up came (it is consumed).
  bool WaitRound(std::int64_t waitMs, std::vector<Ready>& ready);

  std::thread::id owner_;
  Clock::time_point start_;
  TickHandler onTick_;
  std::array<TimerSlot, platform::kLastTimer + 1> timers_{};
  std::uint64_t nextSeq_ = 1;
  std::map<int, Watch> watches_;
  std::uint64_t nextWatchId_ = 1;
  std::shared_ptr<Waker> waker_;
  std::uint64_t pollRound_ = 0;

  mutable std::mutex mutex_;  // guards requests_, closed_, quit_
  std::condition_variable cv_;
  std::deque<Request*> requests_;
  bool closed_ = false;
  int waiters_ = 0;  // threads blocked in RunOnDecisionThread
  bool quit_ = false;
};

}  // namespace tavro::loop

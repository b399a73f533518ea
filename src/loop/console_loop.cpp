#include "loop/console_loop.hpp"

#include <algorithm>
#include <vector>

namespace tavro::loop {

namespace {

bool ValidTimer(int id) {
  return id >= platform::kFirstTimer && id <= platform::kLastTimer;
}

}  // namespace

ConsoleLoop::ConsoleLoop()
    : owner_(std::this_thread::get_id()), start_(Clock::now()), waker_(MakeWaker()) {}

ConsoleLoop::~ConsoleLoop() {
  {
    std::unique_lock lock(mutex_);
    closed_ = true;
    for (Request* r : requests_)
      r->done = true;
    requests_.clear();
    cv_.notify_all();
    cv_.wait(lock, [&] { return waiters_ == 0; });
  }
}

void ConsoleLoop::SetTickHandler(TickHandler onTick) {
  onTick_ = std::move(onTick);
}

void ConsoleLoop::StartTimer(int id, std::uint32_t periodMs) {
  if (!ValidTimer(id))
    return;
  TimerSlot& t = timers_[static_cast<std::size_t>(id)];
  t.running = true;
  t.periodMs = std::max<std::uint32_t>(periodMs, 1);
  t.due = NowMs() + t.periodMs;
  t.seq = nextSeq_++;
}

void ConsoleLoop::StopTimer(int id) {
  if (!ValidTimer(id))
    return;
  timers_[static_cast<std::size_t>(id)].running = false;
}

bool ConsoleLoop::TimerRunning(int id) const {
  return ValidTimer(id) && timers_[static_cast<std::size_t>(id)].running;
}

void ConsoleLoop::Sleep(std::uint32_t ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::uint64_t ConsoleLoop::NowMs() const {
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_).count());
}

std::time_t ConsoleLoop::WallTime() const {
  return std::time(nullptr);
}

void ConsoleLoop::RunOnDecisionThread(const std::function<void()>& fn) {
  if (OnDecisionThread()) {
    fn();
    return;
  }
  Request request{&fn, false};
  std::unique_lock lock(mutex_);
  if (closed_)
    return;
  requests_.push_back(&request);
  Wake();
  ++waiters_;
  cv_.wait(lock, [&] { return request.done; });
  --waiters_;
  cv_.notify_all();
}

bool ConsoleLoop::DrainRequests() {
  bool ran = false;
  for (;;) {
    Request* request = nullptr;
    {
      std::lock_guard lock(mutex_);
      if (requests_.empty())
        return ran;
      request = requests_.front();
      requests_.pop_front();
    }
    (*request->fn)();
    ran = true;
    {
      std::lock_guard lock(mutex_);
      request->done = true;
    }
    cv_.notify_all();
  }
}

void ConsoleLoop::WatchFd(int fd, FdHandler onReady, short events) {
  watches_[fd] = Watch{std::move(onReady), events, nextWatchId_++};
}

void ConsoleLoop::UnwatchFd(int fd) {
  watches_.erase(fd);
}

void ConsoleLoop::Quit() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  Wake();
}

void ConsoleLoop::ResetQuit() {
  std::lock_guard lock(mutex_);
  quit_ = false;
}

bool ConsoleLoop::Quitting() const {
  std::lock_guard lock(mutex_);
  return quit_;
}

bool ConsoleLoop::FireDueTimers() {
  struct Due {
    std::uint64_t due, seq;
    int id;
  };
  std::vector<Due> due;
  const std::uint64_t now = NowMs();
  for (int id = platform::kFirstTimer; id <= platform::kLastTimer; ++id) {
    const TimerSlot& t = timers_[static_cast<std::size_t>(id)];
    if (t.running && t.due <= now)
      due.push_back({t.due, t.seq, id});
  }
  std::sort(due.begin(), due.end(), [](const Due& a, const Due& b) {
    return a.due != b.due ? a.due < b.due : a.seq < b.seq;
  });
  // Each timer fires at most once per round, so a slow tick handler with a
  // short period cannot keep the loop from polling.
  for (const Due& d : due) {
    TimerSlot& t = timers_[static_cast<std::size_t>(d.id)];
    if (!t.running || t.seq != d.seq)
      continue;  // stopped or restarted meanwhile
    t.due = NowMs() + t.periodMs;
    t.seq = nextSeq_++;
    if (onTick_)
      onTick_(d.id);
  }
  return !due.empty();
}

std::int64_t ConsoleLoop::MsToNextTimer() const {
  std::int64_t best = -1;
  const std::uint64_t now = NowMs();
  for (int id = platform::kFirstTimer; id <= platform::kLastTimer; ++id) {
    const TimerSlot& t = timers_[static_cast<std::size_t>(id)];
    if (!t.running)
      continue;
    const std::int64_t wait = t.due <= now ? 0 : static_cast<std::int64_t>(t.due - now);
    if (best < 0 || wait < best)
      best = wait;
  }
  return best;
}

void ConsoleLoop::RunOnce(std::int64_t maxWaitMs) {
  // Whatever ran may have made the caller's condition true: then poll only
  // for descriptors already ready and let the caller look, instead of
  // waiting. Polling still happens, so a busy timer cannot starve input.
  const bool handedOver = DrainRequests();
  const bool ticked = FireDueTimers();

  std::int64_t wait = maxWaitMs;
  const std::int64_t toTimer = MsToNextTimer();
  if (toTimer >= 0 && (wait < 0 || toTimer < wait))
    wait = toTimer;
  if (!waker_ && (wait < 0 || wait > kWakeFallbackMs))
    wait = kWakeFallbackMs;
  {
    std::lock_guard lock(mutex_);
    if (!requests_.empty() || quit_)
      wait = 0;
  }
  if (handedOver || ticked)
    wait = 0;

  std::vector<Ready> ready;
  const bool woke = WaitRound(wait, ready);
  if (!woke && ready.empty())
    return;  // time-out, or an interrupted wait: the next round sorts it out
  const std::uint64_t round = ++pollRound_;
  if (woke)
    DrainRequests();
  for (const Ready& r : ready) {
    auto it = watches_.find(r.fd);
    // Unwatched or replaced by an earlier callback of this round: its result is stale.
    if (it == watches_.end() || it->second.id != r.watchId)
      continue;
    FdHandler handler = it->second.onReady;  // the callback may unwatch itself
    handler(r.revents);
    // A nested run inside the callback has waited again: the rest of this
    // round's results may be stale (input already consumed).
    if (pollRound_ != round)
      return;
  }
}

bool ConsoleLoop::RunUntil(const std::function<bool()>& done) {
  for (;;) {
    if (done())
      return true;
    if (Quitting())
      return false;
    RunOnce(-1);
  }
}

bool ConsoleLoop::RunUntil(const std::function<bool()>& done, std::uint32_t limitMs) {
  const std::uint64_t end = NowMs() + limitMs;
  for (;;) {
    if (done())
      return true;
    if (Quitting())
      return false;
    const std::uint64_t now = NowMs();
    if (now >= end)
      return false;
    RunOnce(static_cast<std::int64_t>(end - now));
  }
}

void ConsoleLoop::RunFor(std::uint32_t ms) {
  RunUntil([] { return false; }, ms);
}

}  // namespace tavro::loop

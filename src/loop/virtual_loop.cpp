#include "loop/virtual_loop.hpp"

#include <algorithm>
#include <limits>

namespace tavro::loop {

namespace {

bool ValidTimer(int id) {
  return id >= platform::kFirstTimer && id <= platform::kLastTimer;
}

}  // namespace

std::time_t VirtualLoop::DefaultWallTimeBase() {
  std::tm tm{};
  tm.tm_year = 2026 - 1900;
  tm.tm_mon = 0;
  tm.tm_mday = 2;
  tm.tm_hour = 3;
  tm.tm_min = 4;
  tm.tm_sec = 5;
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

VirtualLoop::VirtualLoop() : owner_(std::this_thread::get_id()), wallBase_(DefaultWallTimeBase()) {}

VirtualLoop::~VirtualLoop() {
  // Callers still waiting for a hand-over are let go without running their
  // function: the state it would touch is going away with this loop.
  std::unique_lock lock(requestMutex_);
  closed_ = true;
  for (Request* r : requests_)
    r->done = true;
  requests_.clear();
  requestCv_.notify_all();
  requestCv_.wait(lock, [&] { return waiters_ == 0; });
}

void VirtualLoop::SetTickHandler(TickHandler onTick) {
  onTick_ = std::move(onTick);
}

void VirtualLoop::StartTimer(int id, std::uint32_t periodMs) {
  if (!ValidTimer(id))
    return;
  TimerSlot& t = timers_[static_cast<std::size_t>(id)];
  t.running = true;
  t.periodMs = std::max<std::uint32_t>(periodMs, 1);
  t.due = now_ + t.periodMs;
  t.seq = nextSeq_++;
}

void VirtualLoop::StopTimer(int id) {
  if (!ValidTimer(id))
    return;
  timers_[static_cast<std::size_t>(id)].running = false;
}

bool VirtualLoop::TimerRunning(int id) const {
  return ValidTimer(id) && timers_[static_cast<std::size_t>(id)].running;
}

void VirtualLoop::Sleep(std::uint32_t ms) {
  now_ += ms;
}

std::time_t VirtualLoop::WallTime() const {
  return wallBase_ + static_cast<std::time_t>(now_ / 1000);
}

void VirtualLoop::RunOnDecisionThread(const std::function<void()>& fn) {
  if (OnDecisionThread()) {
    fn();
    return;
  }
  Request request{&fn, false};
  std::unique_lock lock(requestMutex_);
  if (closed_)
    return;
  requests_.push_back(&request);
  requestCv_.notify_all();
  ++waiters_;
  requestCv_.wait(lock, [&] { return request.done; });
  --waiters_;
  requestCv_.notify_all();
}

bool VirtualLoop::WaitForRequest(std::chrono::milliseconds timeout) {
  std::unique_lock lock(requestMutex_);
  return requestCv_.wait_for(lock, timeout, [&] { return !requests_.empty(); });
}

void VirtualLoop::DrainRequests() {
  for (;;) {
    Request* request = nullptr;
    {
      std::lock_guard lock(requestMutex_);
      if (requests_.empty())
        return;
      request = requests_.front();
      requests_.pop_front();
    }
    (*request->fn)();
    std::lock_guard lock(requestMutex_);
    request->done = true;
    requestCv_.notify_all();
  }
}

void VirtualLoop::ScheduleAt(std::uint64_t timeMs, std::function<void()> fn) {
  events_.emplace(EventKey{timeMs, nextSeq_++}, std::move(fn));
}

void VirtualLoop::ScheduleAfter(std::uint64_t delayMs, std::function<void()> fn) {
  const std::uint64_t max = std::numeric_limits<std::uint64_t>::max();
  ScheduleAt(delayMs > max - now_ ? max : now_ + delayMs, std::move(fn));
}

bool VirtualLoop::NextItem(std::uint64_t& due, std::uint64_t& seq, int& timerId) const {
  bool found = false;
  if (!events_.empty()) {
    due = events_.begin()->first.first;
    seq = events_.begin()->first.second;
    timerId = 0;
    found = true;
  }
  for (int id = platform::kFirstTimer; id <= platform::kLastTimer; ++id) {
    const TimerSlot& t = timers_[static_cast<std::size_t>(id)];
    if (!t.running)
      continue;
    if (!found || t.due < due || (t.due == due && t.seq < seq)) {
      due = t.due;
      seq = t.seq;
      timerId = id;
      found = true;
    }
  }
  return found;
}

std::optional<std::uint64_t> VirtualLoop::NextDueTime() const {
  std::uint64_t due = 0, seq = 0;
  int id = 0;
  if (!NextItem(due, seq, id))
    return std::nullopt;
  return due;
}

void VirtualLoop::MoveClockTo(std::uint64_t t) {
  if (t > now_)
    now_ = t;
}

bool VirtualLoop::CountRunAtInstant() {
  if (instant_ != now_) {
    instant_ = now_;
    runsAtInstant_ = 0;
  }
  if (++runsAtInstant_ <= kMaxRunsPerInstant)
    return true;
  faulted_ = true;
  faultText_ = "virtual loop: more than " + std::to_string(kMaxRunsPerInstant) +
               " timer ticks and events at " + std::to_string(now_) +
               " ms without the clock moving; an event keeps rescheduling itself at the same time";
  return false;
}

bool VirtualLoop::RunNextDue(std::uint64_t limit) {
  if (faulted_)
    return false;
  std::uint64_t due = 0, seq = 0;
  int id = 0;
  if (!NextItem(due, seq, id) || due > limit)
    return false;
  MoveClockTo(due);
  if (!CountRunAtInstant())
    return false;
  if (id == 0) {
    auto it = events_.begin();
    std::function<void()> fn = std::move(it->second);
    events_.erase(it);
    if (fn)
      fn();
  } else {
    // Re-arm before the tick, so a restart or stop from the tick wins. An
    // overdue timer (after Sleep) fires once and counts on from now.
    TimerSlot& t = timers_[static_cast<std::size_t>(id)];
    t.due = now_ + t.periodMs;
    t.seq = nextSeq_++;
    if (onTick_)
      onTick_(id);
  }
  DrainRequests();
  return true;
}

void VirtualLoop::Advance(std::uint64_t ms) {
  const std::uint64_t max = std::numeric_limits<std::uint64_t>::max();
  AdvanceTo(ms > max - now_ ? max : now_ + ms);
}

void VirtualLoop::AdvanceTo(std::uint64_t timeMs) {
  runsAtInstant_ = 0;
  DrainRequests();
  while (RunNextDue(timeMs)) {
  }
  if (!faulted_)
    MoveClockTo(timeMs);
}

void VirtualLoop::RunPending() {
  AdvanceTo(now_);
}

bool VirtualLoop::RunUntil(const std::function<bool()>& done, std::uint64_t limitMs) {
  runsAtInstant_ = 0;
  DrainRequests();
  if (done())
    return true;
  const std::uint64_t max = std::numeric_limits<std::uint64_t>::max();
  const std::uint64_t limit = limitMs > max - now_ ? max : now_ + limitMs;
  while (RunNextDue(limit)) {
    if (done())
      return true;
  }
  if (faulted_)
    return false;
  MoveClockTo(limit);
  return done();
}

}  // namespace tavro::loop

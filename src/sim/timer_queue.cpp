#include "sim/scheduler.hpp"

#include <algorithm>

namespace tavro::sim {

void TimerQueue::After(std::uint32_t ms, std::function<void()> fn) {
  queue_.emplace(std::make_pair(now_ + ms, seq_++), std::move(fn));
}

void TimerQueue::SetNow(std::uint64_t ms) {
  if (ms > now_)
    now_ = ms;
}

std::size_t TimerQueue::RunDue() {
  std::size_t count = 0;
  while (!queue_.empty() && queue_.begin()->first.first <= now_) {
    auto fn = std::move(queue_.begin()->second);
    queue_.erase(queue_.begin());
    fn();
    ++count;
  }
  return count;
}

void TimerQueue::Advance(std::uint64_t ms) {
  const std::uint64_t end = now_ + ms;
  while (!queue_.empty() && queue_.begin()->first.first <= end) {
    now_ = std::max(now_, queue_.begin()->first.first);
    RunDue();
  }
  now_ = end;
}

bool TimerQueue::NextDue(std::uint64_t& at) const {
  if (queue_.empty())
    return false;
  at = queue_.begin()->first.first;
  return true;
}

}  // namespace tavro::sim

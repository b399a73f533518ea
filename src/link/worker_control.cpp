#include "link/worker_control.hpp"

namespace tavro::link {

bool WorkerControl::HandOver(platform::Loop& loop, const std::function<void()>& fn) {
  {
    std::lock_guard lock(mutex_);
    if (stop_.load())
      return false;
    parked_ = true;
  }
  // The stop flag is set on the decision thread (or before it runs this), so
  // checking it there tells exactly whether the owner still wants the work.
  loop.RunOnDecisionThread([this, &fn] {
    if (!stop_.load())
      fn();
  });
  std::lock_guard lock(mutex_);
  parked_ = false;
  return !stop_.load();
}

void WorkerControl::MarkEnded() {
  std::lock_guard lock(mutex_);
  ended_ = true;
  changed_.notify_all();
}

bool WorkerControl::Ended() const {
  std::lock_guard lock(mutex_);
  return ended_;
}

bool WorkerControl::StopAndWait() {
  std::unique_lock lock(mutex_);
  stop_.store(true);
  Wake();
  changed_.wait(lock, [this] { return ended_ || parked_; });
  return ended_;
}

RetiredThreads::~RetiredThreads() {
  for (Entry& entry : threads_) {
    if (entry.control->Ended()) {
      entry.thread.join();
    } else {
      entry.thread.detach();
    }
  }
}

void RetiredThreads::Add(std::thread thread, std::shared_ptr<WorkerControl> control) {
  threads_.push_back(Entry{std::move(thread), std::move(control)});
}

void RetiredThreads::JoinEnded() {
  std::erase_if(threads_, [](Entry& entry) {
    if (!entry.control->Ended())
      return false;
    entry.thread.join();
    return true;
  });
}

void EndThread(std::thread& thread, const std::shared_ptr<WorkerControl>& control,
               RetiredThreads& retired) {
  if (!thread.joinable())
    return;
  if (control->StopAndWait()) {
    thread.join();
  } else {
    retired.Add(std::move(thread), control);
  }
}

}  // namespace tavro::link

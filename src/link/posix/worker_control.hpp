#pragma once
// The worker hand-over protocol (link/worker_control.hpp) with an eventfd as
// the wake-up, which the thread polls beside its own descriptors.

#include <memory>

#include "link/worker_control.hpp"

namespace tavro::link::posix {

class WorkerControl : public link::WorkerControl {
 public:
  // nullptr when the wake-up descriptor cannot be created (errno is kept).
  static std::shared_ptr<WorkerControl> Create();
  ~WorkerControl() override;

  // Readable while a wake-up is pending; the thread polls it beside its own
  // descriptors.
  int WakeFd() const { return wakeFd_; }
  // Any thread: makes WakeFd readable.
  void Wake() override;
  // The thread: consumes pending wake-ups. Check the flags after calling it,
  // never before, so that no wake-up is lost.
  void ClearWake();

 private:
  explicit WorkerControl(int wakeFd) : wakeFd_(wakeFd) {}

  int wakeFd_ = -1;
};

using link::EndThread;
using link::RetiredThreads;

}  // namespace tavro::link::posix

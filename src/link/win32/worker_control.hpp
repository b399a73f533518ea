#pragma once
// The worker hand-over protocol (link/worker_control.hpp) with a manual-reset
// event as the wake-up, which the thread waits on beside its own I/O.

#include <windows.h>

#include <memory>
#include <string>

#include "link/worker_control.hpp"

namespace tavro::link::win32 {

class WorkerControl : public link::WorkerControl {
 public:
  // nullptr when the event cannot be created (GetLastError() is kept).
  static std::shared_ptr<WorkerControl> Create();
  ~WorkerControl() override;

  // Signalled while a wake-up is pending.
  HANDLE WakeEvent() const { return wake_; }
  // Any thread: signals WakeEvent.
  void Wake() override;
  // The thread: consumes pending wake-ups. Check the flags after calling it,
  // never before, so that no wake-up is lost.
  void ClearWake();

 private:
  explicit WorkerControl(HANDLE wake) : wake_(wake) {}

  HANDLE wake_ = nullptr;
};

using link::EndThread;
using link::RetiredThreads;

// The system's text for a Win32 error code, without the trailing line break.
std::string SystemText(DWORD error);

}  // namespace tavro::link::win32

#include "win32ui/win32_loop.hpp"

#include <algorithm>
#include <ctime>

namespace tavro::win32ui {
namespace {

bool ValidTimer(int id) {
  return id >= platform::kFirstTimer && id <= platform::kLastTimer;
}

}  // namespace

Win32Loop::Win32Loop() : thread_(::GetCurrentThreadId()) {}

void Win32Loop::Attach(HWND window) {
  std::lock_guard lock(windowMutex_);
  window_ = window;
}

void Win32Loop::Close() {
  // A thread that got past the gate is sending, or about to send: take its
  // message (it skips its function), so that no thread waits on a window
  // that no longer answers.
  gate_.Close([] {
    MSG msg;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_SENDMESSAGE);
    ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  });
  if (window_ != nullptr && ::IsWindow(window_)) {
    for (int id = platform::kFirstTimer; id <= platform::kLastTimer; ++id)
      StopTimer(id);
  }
}

bool Win32Loop::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kHandOverMessage) {
    const auto* fn = reinterpret_cast<const std::function<void()>*>(lParam);
    if (fn != nullptr && gate_.Runs())
      (*fn)();
    return true;
  }
  if (message == WM_TIMER && ValidTimer(static_cast<int>(wParam))) {
    const int id = static_cast<int>(wParam);
    if (running_[static_cast<std::size_t>(id)] && onTick_)
      onTick_(id);
    return true;
  }
  return false;
}

void Win32Loop::StartTimer(int id, std::uint32_t periodMs) {
  if (!ValidTimer(id) || window_ == nullptr)
    return;
  const UINT ms = std::clamp<std::uint32_t>(periodMs, 1, 0x7FFFFFFF);
  // Setting a timer that runs replaces it: its count begins anew.
  if (::SetTimer(window_, static_cast<UINT_PTR>(id), ms, nullptr) != 0)
    running_[static_cast<std::size_t>(id)] = true;
}

void Win32Loop::StopTimer(int id) {
  if (!ValidTimer(id))
    return;
  if (window_ != nullptr)
    ::KillTimer(window_, static_cast<UINT_PTR>(id));
  running_[static_cast<std::size_t>(id)] = false;
}

bool Win32Loop::TimerRunning(int id) const {
  return ValidTimer(id) && running_[static_cast<std::size_t>(id)];
}

void Win32Loop::RunOnDecisionThread(const std::function<void()>& fn) {
  if (::GetCurrentThreadId() == thread_) {
    fn();
    return;
  }
  HWND window = nullptr;
  {
    std::lock_guard lock(windowMutex_);
    window = window_;
  }
  if (window == nullptr || !gate_.Enter())
    return;
  // Returns once the window has handled it: the per-run hand-over is
  // synchronous, so the next run is not read before this one is taken.
  ::SendMessageW(window, kHandOverMessage, 0, reinterpret_cast<LPARAM>(&fn));
  gate_.Leave();
}

std::uint64_t Win32Loop::NowMs() const {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now() - start_)
                                        .count());
}

std::time_t Win32Loop::WallTime() const {
  return std::time(nullptr);
}

}  // namespace tavro::win32ui

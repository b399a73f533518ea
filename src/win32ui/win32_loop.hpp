#pragma once
// The decision thread's Loop on a Win32 window: the window's thread decides.
// Timers 1..12 are window timers of the dialog, a hand-over from another
// thread is a message sent to the dialog (SendMessage returns once the
// dialog has handled it), and a modal box's own message loop keeps ticks and
// bytes flowing as it does for any dialog.

#include <windows.h>

#include <array>
#include <chrono>
#include <mutex>

#include "platform/hand_over_gate.hpp"
#include "platform/loop.hpp"

namespace tavro::win32ui {

class Win32Loop : public platform::Loop {
 public:
  // The serial worker's hand-over of received bytes.
  static constexpr UINT kHandOverMessage = WM_USER + 7;

  // The decision thread is the thread that constructs the loop.
  Win32Loop();
  ~Win32Loop() override { Close(); }
  Win32Loop(const Win32Loop&) = delete;
  Win32Loop& operator=(const Win32Loop&) = delete;

  // The window whose timers and messages the loop uses; until then timers
  // do not run and hand-overs return without running.
  void Attach(HWND window);
  // The window procedure's part: true when the message was the loop's.
  bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  // From now on hand-overs return without running; those in flight are let
  // go. Call before the threads that hand over are joined.
  void Close();

  void SetTickHandler(TickHandler onTick) override { onTick_ = std::move(onTick); }
  // A period of 0 counts as 1 ms; the system rounds short periods up.
  void StartTimer(int id, std::uint32_t periodMs) override;
  void StopTimer(int id) override;
  bool TimerRunning(int id) const override;
  void Sleep(std::uint32_t ms) override { ::Sleep(ms); }
  void RunOnDecisionThread(const std::function<void()>& fn) override;
  std::uint64_t NowMs() const override;
  std::time_t WallTime() const override;

 private:
  DWORD thread_;
  HWND window_ = nullptr;
  TickHandler onTick_;
  std::array<bool, platform::kLastTimer + 1> running_{};
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();

  std::mutex windowMutex_;  // guards window_ for the handing-over threads
  platform::HandOverGate gate_;
};

}  // namespace tavro::win32ui

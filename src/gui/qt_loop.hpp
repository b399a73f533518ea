#pragma once
// The decision thread's Loop on the Qt event loop: the GUI thread decides.
// Timers 1..12 are QTimers, a hand-over from another thread is a blocking
// queued call into the GUI thread, and a modal box's nested event loop keeps
// ticks and bytes flowing as a desktop dialog does.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <array>

#include "platform/hand_over_gate.hpp"
#include "platform/loop.hpp"

namespace tavro::gui {

class QtLoop : public QObject, public platform::Loop {
  Q_OBJECT

 public:
  // The decision thread is the thread that constructs the loop; it must run
  // a Qt event loop.
  explicit QtLoop(QObject* parent = nullptr);
  // Hand-overs still waiting return without running their function.
  ~QtLoop() override;
  QtLoop(const QtLoop&) = delete;
  QtLoop& operator=(const QtLoop&) = delete;

  void SetTickHandler(TickHandler onTick) override;
  // A period of 0 counts as 1 ms. Starting a running timer restarts its count.
  void StartTimer(int id, std::uint32_t periodMs) override;
  void StopTimer(int id) override;
  bool TimerRunning(int id) const override;
  // A plain blocking sleep: no event is handled meanwhile.
  void Sleep(std::uint32_t ms) override;
  void RunOnDecisionThread(const std::function<void()>& fn) override;
  std::uint64_t NowMs() const override;
  std::time_t WallTime() const override;

  // Threads inside RunOnDecisionThread waiting for the GUI thread.
  int HandOversInFlight() const;

 private:
  bool OnDecisionThread() const;
  void Fire(int id);

  TickHandler onTick_;
  std::array<QTimer*, platform::kLastTimer + 1> timers_{};
  QElapsedTimer clock_;

  // Hand-overs in flight, so that the destructor can let them go.
  platform::HandOverGate gate_;
};

}  // namespace tavro::gui

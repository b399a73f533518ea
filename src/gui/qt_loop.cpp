#include "gui/qt_loop.hpp"

#include <QCoreApplication>
#include <QThread>
#include <algorithm>
#include <ctime>

namespace tavro::gui {
namespace {

bool ValidTimer(int id) {
  return id >= platform::kFirstTimer && id <= platform::kLastTimer;
}

}  // namespace

QtLoop::QtLoop(QObject* parent) : QObject(parent) {
  clock_.start();
  for (int id = platform::kFirstTimer; id <= platform::kLastTimer; ++id) {
    auto* timer = new QTimer(this);
    // The command engine's time-outs are short; coarse timers may be 5 % late.
    timer->setTimerType(Qt::PreciseTimer);
    connect(timer, &QTimer::timeout, this, [this, id] { Fire(id); });
    timers_[static_cast<std::size_t>(id)] = timer;
  }
}

QtLoop::~QtLoop() {
  // A thread that got past the gate is about to post, or has posted, its
  // call: deliver those calls (they skip their function) until none is
  // left, so that no thread waits on an object that is gone.
  gate_.Close([this] {
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    QThread::yieldCurrentThread();
  });
}

void QtLoop::SetTickHandler(TickHandler onTick) {
  onTick_ = std::move(onTick);
}

void QtLoop::StartTimer(int id, std::uint32_t periodMs) {
  if (!ValidTimer(id))
    return;
  const auto ms = static_cast<int>(std::clamp<std::uint32_t>(periodMs, 1, 0x7FFFFFFF));
  timers_[static_cast<std::size_t>(id)]->start(ms);
}

void QtLoop::StopTimer(int id) {
  if (ValidTimer(id))
    timers_[static_cast<std::size_t>(id)]->stop();
}

bool QtLoop::TimerRunning(int id) const {
  return ValidTimer(id) && timers_[static_cast<std::size_t>(id)]->isActive();
}

void QtLoop::Fire(int id) {
  if (onTick_)
    onTick_(id);
}

void QtLoop::Sleep(std::uint32_t ms) {
  QThread::msleep(ms);
}

bool QtLoop::OnDecisionThread() const {
  return QThread::currentThread() == thread();
}

void QtLoop::RunOnDecisionThread(const std::function<void()>& fn) {
  if (OnDecisionThread()) {
    fn();
    return;
  }
  if (!gate_.Enter())
    return;
  QMetaObject::invokeMethod(
      this,
      [this, &fn] {
        if (gate_.Runs())
          fn();
      },
      Qt::BlockingQueuedConnection);
  gate_.Leave();
}

int QtLoop::HandOversInFlight() const {
  return gate_.InFlight();
}

std::uint64_t QtLoop::NowMs() const {
  return static_cast<std::uint64_t>(clock_.elapsed());
}

std::time_t QtLoop::WallTime() const {
  return std::time(nullptr);
}

}  // namespace tavro::gui

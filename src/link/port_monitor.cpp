#include "link/port_monitor.hpp"

#include <system_error>
#include <utility>

namespace tavro::link {

PortMonitor::PortMonitor(platform::Loop& loop, RemovalHandler onRemoved)
    : loop_(loop), onRemoved_(std::move(onRemoved)) {}

PortMonitor::~PortMonitor() {
  Stop();
}

bool PortMonitor::Start(std::chrono::milliseconds period) {
  Stop();
  watch_ = OpenPortWatch();
  {
    std::lock_guard lock(presentMutex_);
    present_.clear();
  }
  Compare(watch_->Ports());
  control_ = watch_->MakeControl();
  if (!control_)
    return false;
  if (period.count() <= 0)
    period = std::chrono::milliseconds(1);
  try {
    thread_ = std::thread(&PortMonitor::Run, this, control_, watch_, period);
  } catch (const std::system_error&) {
    control_.reset();
    return false;
  }
  return true;
}

void PortMonitor::Stop() {
  retired_.JoinEnded();
  if (thread_.joinable())
    EndThread(thread_, control_, retired_);
  control_.reset();
  // A retired thread is parked in a hand-over and touches nothing of ours
  // when it wakes; it holds its own share of the watch.
  watch_.reset();
}

std::vector<PortRemoval> PortMonitor::Compare(const std::vector<PortEntry>& ports) {
  std::map<std::uint32_t, std::string> now;
  for (const PortEntry& entry : ports)
    now.emplace(entry.comNumber, entry.devicePath);
  std::vector<PortRemoval> gone;
  std::lock_guard lock(presentMutex_);
  for (const auto& [n, device] : present_) {
    if (now.count(n) == 0)
      gone.push_back(PortRemoval{device, n});
  }
  present_ = std::move(now);
  return gone;
}

std::vector<PortRemoval> PortMonitor::CheckGone() {
  if (!watch_)
    return {};
  return Compare(watch_->Ports());
}

void PortMonitor::Run(std::shared_ptr<WorkerControl> control, std::shared_ptr<PortWatch> watch,
                      std::chrono::milliseconds period) {
  // Members are used only while no stop was requested; after a hand-over
  // that reports a stop, nothing of `this` is touched.
  const auto report = [&](const PortRemoval& removal) {
    return control->HandOver(loop_, [this, &removal] { onRemoved_(removal); });
  };
  const auto reportAll = [&](const std::vector<PortRemoval>& removals) {
    for (const PortRemoval& removal : removals) {
      if (!report(removal))
        return false;
    }
    return true;
  };

  while (!control->StopRequested()) {
    const PortWatch::Event event = watch->Wait(period);
    if (event.kind == PortWatch::Event::kFailed)
      break;
    if (event.kind == PortWatch::Event::kWoken)
      continue;  // a stop: checked at the top
    if (event.removed && !report(*event.removed))
      break;
    if (!reportAll(Compare(watch->Ports())))
      break;
  }
  control->MarkEnded();
}

}  // namespace tavro::link

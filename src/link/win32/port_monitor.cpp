#include "link/win32/port_monitor.hpp"

#include <windows.h>

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
  {
    std::lock_guard lock(presentMutex_);
    present_.clear();
  }
  Compare(ListSerialPorts());
  control_ = win32::WorkerControl::Create();
  if (!control_)
    return false;
  if (period.count() <= 0)
    period = std::chrono::milliseconds(1);
  try {
    thread_ = std::thread(&PortMonitor::Run, this, control_, period);
  } catch (const std::system_error&) {
    control_.reset();
    return false;
  }
  return true;
}

void PortMonitor::Stop() {
  retired_.JoinEnded();
  if (thread_.joinable())
    win32::EndThread(thread_, control_, retired_);
  control_.reset();
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

void PortMonitor::Run(std::shared_ptr<win32::WorkerControl> control,
                      std::chrono::milliseconds period) {
  // Members are used only while no stop was requested; after a hand-over
  // that reports a stop, nothing of `this` is touched.
  const auto report = [&](const PortRemoval& removal) {
    return control->HandOver(loop_, [this, &removal] { onRemoved_(removal); });
  };
  // A change of the key wakes the thread at once; the period covers a
  // system where the key cannot be watched.
  HKEY key = nullptr;
  HANDLE changed = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP", 0, KEY_NOTIFY, &key) !=
      ERROR_SUCCESS) {
    key = nullptr;
  }
  const auto watch = [&] {
    return key != nullptr && changed != nullptr &&
           ::RegNotifyChangeKeyValue(key, TRUE, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                                     changed, TRUE) == ERROR_SUCCESS;
  };
  const bool watching = watch();

  while (!control->StopRequested()) {
    HANDLE handles[2] = {control->WakeEvent(), changed};
    const DWORD ready = ::WaitForMultipleObjects(watching ? 2 : 1, handles, FALSE,
                                                 static_cast<DWORD>(period.count()));
    if (ready == WAIT_OBJECT_0) {
      control->ClearWake();
      continue;  // a stop: checked at the top
    }
    if (ready == WAIT_OBJECT_0 + 1)
      watch();  // a notification fires once; ask for the next
    bool stopped = false;
    for (const PortRemoval& removal : Compare(ListSerialPorts())) {
      if (!report(removal)) {
        stopped = true;
        break;
      }
    }
    if (stopped)
      break;
  }
  if (key != nullptr)
    ::RegCloseKey(key);
  if (changed != nullptr)
    ::CloseHandle(changed);
  control->MarkEnded();
}

}  // namespace tavro::link

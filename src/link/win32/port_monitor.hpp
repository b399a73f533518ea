#pragma once
// Notices serial ports that go away on Windows: a COM name that leaves
// HARDWARE\DEVICEMAP\SERIALCOMM (a USB adapter being pulled takes its entry
// with it). A thread looks at the key whenever it changes and every
// `period`; each removal is handed to the decision thread through
// Loop::RunOnDecisionThread.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/port_list.hpp"
#include "link/win32/worker_control.hpp"
#include "platform/loop.hpp"

namespace tavro::link {

class PortMonitor {
 public:
  using RemovalHandler = std::function<void(const PortRemoval&)>;

  // The handler runs on the decision thread.
  PortMonitor(platform::Loop& loop, RemovalHandler onRemoved);
  // Stops the thread.
  ~PortMonitor();
  PortMonitor(const PortMonitor&) = delete;
  PortMonitor& operator=(const PortMonitor&) = delete;

  // Takes the current list as the ports present and starts the thread.
  // False when the thread cannot be started; true when it runs.
  bool Start(std::chrono::milliseconds period = std::chrono::milliseconds(250));
  // Ends the thread without waiting for a hand-over the decision thread
  // would have to run.
  void Stop();
  bool IsRunning() const { return thread_.joinable(); }

  // Compares `ports` with the previous look: the ports that were there and
  // are gone now (reported again only after they have come back).
  std::vector<PortRemoval> Compare(const std::vector<PortEntry>& ports);

 private:
  void Run(std::shared_ptr<win32::WorkerControl> control, std::chrono::milliseconds period);

  platform::Loop& loop_;
  RemovalHandler onRemoved_;
  std::mutex presentMutex_;
  std::map<std::uint32_t, std::string> present_;  // guarded by presentMutex_
  std::shared_ptr<win32::WorkerControl> control_;
  std::thread thread_;
  win32::RetiredThreads retired_;
};

}  // namespace tavro::link

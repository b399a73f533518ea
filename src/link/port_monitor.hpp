#pragma once
// Notices serial ports that go away. A thread looks at the platform's port
// list whenever the system says something changed and every `period`, and
// hands each port that has left it to the decision thread through
// Loop::RunOnDecisionThread.
//
// What is watched is the platform's (a PortWatch, posix/port_watch.cpp or
// win32/port_watch.cpp): on Linux udev "remove" events of the "tty"
// subsystem and the TAVRO_COM<n> aliases whose path stops existing (a
// simulator closing its pseudo terminal looks like an adapter being pulled);
// on Windows the COM names under HARDWARE\DEVICEMAP\SERIALCOMM (a USB adapter
// being pulled takes its entry with it).

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "link/port_list.hpp"
#include "link/worker_control.hpp"
#include "platform/loop.hpp"

namespace tavro::link {

// The platform's way of noticing that ports went away.
class PortWatch {
 public:
  // How a wait ended.
  struct Event {
    enum Kind {
      kWoken,   // the thread's wake-up: look at the stop request
      kLook,    // something may have changed, or the period has passed
      kFailed,  // the wait cannot go on: the thread ends
    };
    Event(Kind k, std::optional<PortRemoval> r = std::nullopt) : kind(k), removed(std::move(r)) {}

    Kind kind;
    // A removal the system named while the thread waited.
    std::optional<PortRemoval> removed;
  };

  virtual ~PortWatch() = default;
  PortWatch(const PortWatch&) = delete;
  PortWatch& operator=(const PortWatch&) = delete;

  // The thread's wake-up, of the kind Wait waits on; the watch keeps a
  // share. Null when the system has none to give.
  virtual std::shared_ptr<WorkerControl> MakeControl() = 0;
  // True when the system tells of changes; otherwise only the looks every
  // period find them.
  virtual bool TellsOfChanges() const = 0;
  // The thread: waits for a change, the wake-up, or `period`.
  virtual Event Wait(std::chrono::milliseconds period) = 0;
  // The ports there now (any thread).
  virtual std::vector<PortEntry> Ports() = 0;

 protected:
  PortWatch() = default;
};

// A new watch of the platform's ports. Linux: takes a snapshot of the aliases
// (the environment does not change while the program runs); without udev (no
// netlink socket) only aliases are watched.
std::unique_ptr<PortWatch> OpenPortWatch();

class PortMonitor {
 public:
  using RemovalHandler = std::function<void(const PortRemoval&)>;

  // The handler runs on the decision thread.
  PortMonitor(platform::Loop& loop, RemovalHandler onRemoved);
  // Stops the thread.
  ~PortMonitor();
  PortMonitor(const PortMonitor&) = delete;
  PortMonitor& operator=(const PortMonitor&) = delete;

  // Opens a new watch, takes its current list as the ports present and
  // starts the thread. False when the thread cannot be started; true when it
  // runs.
  bool Start(std::chrono::milliseconds period = std::chrono::milliseconds(250));
  // Ends the thread without waiting for a hand-over the decision thread
  // would have to run, and lets the watch go.
  void Stop();
  bool IsRunning() const { return thread_.joinable(); }
  // True when the system tells of changes (udev events, registry
  // notifications) rather than only the looks every period.
  bool WatchesChanges() const { return watch_ != nullptr && watch_->TellsOfChanges(); }

  // Compares `ports` with the previous look: the ports that were there and
  // are gone now (reported again only after they have come back).
  std::vector<PortRemoval> Compare(const std::vector<PortEntry>& ports);
  // Looks at the watched ports once (nothing while stopped). The thread
  // calls this; callers may too, e.g. before they trust a port list.
  std::vector<PortRemoval> CheckGone();

 private:
  void Run(std::shared_ptr<WorkerControl> control, std::shared_ptr<PortWatch> watch,
           std::chrono::milliseconds period);

  platform::Loop& loop_;
  RemovalHandler onRemoved_;
  std::mutex presentMutex_;
  std::map<std::uint32_t, std::string> present_;  // guarded by presentMutex_
  std::shared_ptr<PortWatch> watch_;
  std::shared_ptr<WorkerControl> control_;
  std::thread thread_;
  RetiredThreads retired_;
};

}  // namespace tavro::link

#pragma once
// Notices serial devices that go away: udev "remove" events of the "tty"
// subsystem, and TAVRO_COM<n> aliases whose path stops existing (a simulator
// closing its pseudo terminal looks like an adapter being pulled). Each
// removal is handed to the decision thread through Loop::RunOnDecisionThread.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "link/port_list.hpp"
#include "link/posix/worker_control.hpp"
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

  // Takes a snapshot of the aliases (the environment does not change while
  // the program runs) and starts the thread, which checks the aliases every
  // `aliasPeriod`. Without udev (no netlink socket) only aliases are
  // watched. False when the thread cannot be started; true when it runs.
  bool Start(std::chrono::milliseconds aliasPeriod = std::chrono::milliseconds(250));
  // Ends the thread without waiting for a hand-over the decision thread
  // would have to run.
  void Stop();
  bool IsRunning() const { return thread_.joinable(); }
  // True when udev events are being received.
  bool WatchesUdev() const { return udevWatched_; }

  // Looks at every alias of the snapshot once: a path that existed at the
  // previous look and is gone now is returned (and reported again only after
  // it has come back). The thread calls this; callers may too, e.g. before
  // they trust a port list.
  std::vector<PortRemoval> CheckAliasesGone();

 private:
  struct AliasState {
    std::string path;
    bool present = false;
  };
  struct Udev;

  void Run(std::shared_ptr<posix::WorkerControl> control, std::chrono::milliseconds period);

  platform::Loop& loop_;
  RemovalHandler onRemoved_;
  std::mutex aliasMutex_;
  std::map<std::uint32_t, AliasState> aliases_;        // guarded by aliasMutex_
  std::map<std::uint32_t, std::string> aliasTargets_;  // resolved paths, fixed while running
  std::unique_ptr<Udev> udev_;
  bool udevWatched_ = false;
  std::shared_ptr<posix::WorkerControl> control_;
  std::thread thread_;
  posix::RetiredThreads retired_;
};

}  // namespace tavro::link

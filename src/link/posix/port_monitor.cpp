#include "link/posix/port_monitor.hpp"

#include <libudev.h>
#include <poll.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <system_error>
#include <utility>

#include "link/com_ports.hpp"

namespace tavro::link {
namespace {

bool PathExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

}  // namespace

struct PortMonitor::Udev {
  udev* context = nullptr;
  udev_monitor* monitor = nullptr;

  Udev() = default;
  Udev(const Udev&) = delete;
  Udev& operator=(const Udev&) = delete;
  ~Udev() {
    if (monitor != nullptr)
      udev_monitor_unref(monitor);
    if (context != nullptr)
      udev_unref(context);
  }

  // Null when udev events cannot be received here.
  static std::unique_ptr<Udev> Open() {
    auto u = std::make_unique<Udev>();
    u->context = udev_new();
    if (u->context == nullptr)
      return nullptr;
    u->monitor = udev_monitor_new_from_netlink(u->context, "udev");
    if (u->monitor == nullptr)
      return nullptr;
    if (udev_monitor_filter_add_match_subsystem_devtype(u->monitor, "tty", nullptr) < 0 ||
        udev_monitor_enable_receiving(u->monitor) < 0) {
      return nullptr;
    }
    return u;
  }
};

PortMonitor::PortMonitor(platform::Loop& loop, RemovalHandler onRemoved)
    : loop_(loop), onRemoved_(std::move(onRemoved)) {}

PortMonitor::~PortMonitor() {
  Stop();
}

bool PortMonitor::Start(std::chrono::milliseconds aliasPeriod) {
  Stop();
  {
    std::lock_guard lock(aliasMutex_);
    aliases_.clear();
    aliasTargets_.clear();
    for (const auto& [n, path] : ComAliases()) {
      aliases_[n] = AliasState{path, PathExists(path)};
      // Resolved now: once the device is gone its symlinks no longer lead to it.
      aliasTargets_[n] = CanonicalDevicePath(path);
    }
  }
  udev_ = Udev::Open();
  udevWatched_ = udev_ != nullptr;
  control_ = posix::WorkerControl::Create();
  if (!control_)
    return false;
  if (aliasPeriod.count() <= 0)
    aliasPeriod = std::chrono::milliseconds(1);
  try {
    thread_ = std::thread(&PortMonitor::Run, this, control_, aliasPeriod);
  } catch (const std::system_error&) {
    control_.reset();
    return false;
  }
  return true;
}

void PortMonitor::Stop() {
  retired_.JoinEnded();
  if (thread_.joinable())
    posix::EndThread(thread_, control_, retired_);
  control_.reset();
  // A retired thread is parked in a hand-over and touches nothing of ours
  // when it wakes, so the monitor can go.
  udev_.reset();
  udevWatched_ = false;
}

std::vector<PortRemoval> PortMonitor::CheckAliasesGone() {
  std::vector<PortRemoval> gone;
  std::lock_guard lock(aliasMutex_);
  for (auto& [n, alias] : aliases_) {
    const bool present = PathExists(alias.path);
    if (alias.present && !present)
      gone.push_back(PortRemoval{alias.path, n});
    alias.present = present;
  }
  return gone;
}

void PortMonitor::Run(std::shared_ptr<posix::WorkerControl> control,
                      std::chrono::milliseconds period) {
  // Members are used only while no stop was requested; after a hand-over
  // that reports a stop, nothing of `this` is touched.
  const auto report = [&](PortRemoval removal) {
    return control->HandOver(loop_, [this, &removal] { onRemoved_(removal); });
  };
  udev_monitor* monitor = udev_ ? udev_->monitor : nullptr;
  const int udevFd = monitor != nullptr ? udev_monitor_get_fd(monitor) : -1;

  while (!control->StopRequested()) {
    pollfd fds[2] = {{control->WakeFd(), POLLIN, 0}, {udevFd, POLLIN, 0}};
    const int ready = ::poll(fds, udevFd >= 0 ? 2 : 1, static_cast<int>(period.count()));
    if (ready < 0 && errno != EINTR)
      break;
    if (fds[0].revents & POLLIN) {
      control->ClearWake();
      continue;  // a stop: checked at the top
    }
    if (udevFd >= 0 && (fds[1].revents & POLLIN)) {
      udev_device* device = udev_monitor_receive_device(monitor);
      if (device != nullptr) {
        const char* action = udev_device_get_action(device);
        const char* devnode = udev_device_get_devnode(device);
        std::string path;
        if (devnode != nullptr) {
          path = devnode;
        } else if (const char* sysname = udev_device_get_sysname(device)) {
          path = std::string("/dev/") + sysname;
        }
        const bool removed = action != nullptr && std::strcmp(action, "remove") == 0;
        udev_device_unref(device);
        if (removed && !path.empty()) {
          PortRemoval removal{path, ComNumberForDevice(path, aliasTargets_)};
          if (!report(std::move(removal)))
            break;
        }
      }
    }
    bool stopped = false;
    for (PortRemoval& removal : CheckAliasesGone()) {
      if (!report(std::move(removal))) {
        stopped = true;
        break;
      }
    }
    if (stopped)
      break;
  }
  control->MarkEnded();
}

}  // namespace tavro::link

// Linux's PortWatch (link/port_monitor.hpp): udev "remove" events of the
// "tty" subsystem, and the TAVRO_COM<n> aliases whose path exists.

#include <libudev.h>
#include <poll.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "link/com_ports.hpp"
#include "link/port_monitor.hpp"
#include "link/posix/worker_control.hpp"

namespace tavro::link {
namespace {

bool PathExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

// A udev monitor of "tty" devices.
class Udev {
 public:
  Udev() = default;
  Udev(const Udev&) = delete;
  Udev& operator=(const Udev&) = delete;
  ~Udev() {
    if (monitor_ != nullptr)
      udev_monitor_unref(monitor_);
    if (context_ != nullptr)
      udev_unref(context_);
  }

  // Null when udev events cannot be received here.
  static std::unique_ptr<Udev> Open() {
    auto u = std::make_unique<Udev>();
    u->context_ = udev_new();
    if (u->context_ == nullptr)
      return nullptr;
    u->monitor_ = udev_monitor_new_from_netlink(u->context_, "udev");
    if (u->monitor_ == nullptr)
      return nullptr;
    if (udev_monitor_filter_add_match_subsystem_devtype(u->monitor_, "tty", nullptr) < 0 ||
        udev_monitor_enable_receiving(u->monitor_) < 0) {
      return nullptr;
    }
    return u;
  }

  int Fd() const { return udev_monitor_get_fd(monitor_); }

  // The device path of the event waiting, when it is a removal.
  std::optional<std::string> ReceiveRemoval() {
    udev_device* device = udev_monitor_receive_device(monitor_);
    if (device == nullptr)
      return std::nullopt;
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
    if (!removed || path.empty())
      return std::nullopt;
    return path;
  }

 private:
  udev* context_ = nullptr;
  udev_monitor* monitor_ = nullptr;
};

class TtyWatch : public PortWatch {
 public:
  TtyWatch() : aliases_(ComAliases()), udev_(Udev::Open()) {
    // Resolved now: once the device is gone its symlinks no longer lead to it.
    for (const auto& [n, path] : aliases_)
      aliasTargets_[n] = CanonicalDevicePath(path);
  }

  std::shared_ptr<WorkerControl> MakeControl() override {
    control_ = posix::WorkerControl::Create();
    return control_;
  }

  bool TellsOfChanges() const override { return udev_ != nullptr; }

  Event Wait(std::chrono::milliseconds period) override {
    const int udevFd = udev_ ? udev_->Fd() : -1;
    pollfd fds[2] = {{control_->WakeFd(), POLLIN, 0}, {udevFd, POLLIN, 0}};
    const int ready = ::poll(fds, udevFd >= 0 ? 2 : 1, static_cast<int>(period.count()));
    if (ready < 0 && errno != EINTR)
      return {Event::kFailed};
    if (fds[0].revents & POLLIN) {
      control_->ClearWake();
      return {Event::kWoken};
    }
    if (udevFd >= 0 && (fds[1].revents & POLLIN)) {
      if (auto path = udev_->ReceiveRemoval())
        return {Event::kLook, PortRemoval{*path, ComNumberForDevice(*path, aliasTargets_)}};
    }
    return {Event::kLook};
  }

  // The aliases whose path exists: the removal of a device only an alias
  // names (a pseudo terminal) shows here.
  std::vector<PortEntry> Ports() override {
    std::vector<PortEntry> present;
    for (const auto& [n, path] : aliases_) {
      if (PathExists(path))
        present.push_back(PortEntry{n, path, ComName(n)});
    }
    return present;
  }

 private:
  const std::map<std::uint32_t, std::string> aliases_;
  std::map<std::uint32_t, std::string> aliasTargets_;  // resolved paths
  std::unique_ptr<Udev> udev_;
  std::shared_ptr<posix::WorkerControl> control_;
};

}  // namespace

std::unique_ptr<PortWatch> OpenPortWatch() {
  return std::make_unique<TtyWatch>();
}

}  // namespace tavro::link

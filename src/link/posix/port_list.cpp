#include "link/port_list.hpp"

#include <fcntl.h>
#include <libudev.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <string_view>

#include "link/com_ports.hpp"

namespace tavro::link {
namespace {

struct UdevDeleter {
  void operator()(udev* u) const { udev_unref(u); }
  void operator()(udev_enumerate* e) const { udev_enumerate_unref(e); }
  void operator()(udev_device* d) const { udev_device_unref(d); }
};
using UdevPtr = std::unique_ptr<udev, UdevDeleter>;
using EnumeratePtr = std::unique_ptr<udev_enumerate, UdevDeleter>;
using DevicePtr = std::unique_ptr<udev_device, UdevDeleter>;

// The 8250 driver registers placeholder ttyS devices whether or not a UART
// answers at their address; only the port itself can tell. A port held open
// with exclusive access by another program (or by us) is busy, hence real.
bool UartAnswers(const char* devnode) {
  const int fd = ::open(devnode, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0)
    return errno == EBUSY;
  serial_struct info{};
  const bool known = ::ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
  ::close(fd);
  return known;
}

bool IsSerialDevice(udev_device* device, std::string_view sysname, const char* devnode) {
  if (sysname.starts_with("ttyUSB") || sysname.starts_with("ttyACM"))
    return true;
  if (!sysname.starts_with("ttyS"))
    return false;
  // A UART found by firmware tables (PNP, ACPI, PCI) sits under a parent
  // device with its own driver; the placeholders sit under serial8250.
  udev_device* parent = udev_device_get_parent(device);  // owned by `device`
  const char* driver = parent != nullptr ? udev_device_get_driver(parent) : nullptr;
  if (driver != nullptr && std::strcmp(driver, "serial8250") != 0)
    return true;
  return UartAnswers(devnode);
}

}  // namespace

std::vector<std::string> SerialDevicePaths() {
  std::vector<std::string> paths;
  UdevPtr context(udev_new());
  if (!context)
    return paths;
  EnumeratePtr enumerate(udev_enumerate_new(context.get()));
  if (!enumerate)
    return paths;
  udev_enumerate_add_match_subsystem(enumerate.get(), "tty");
  if (udev_enumerate_scan_devices(enumerate.get()) < 0)
    return paths;

  udev_list_entry* entry = nullptr;
  udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get())) {
    DevicePtr device(udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry)));
    if (!device)
      continue;
    const char* sysname = udev_device_get_sysname(device.get());
    const char* devnode = udev_device_get_devnode(device.get());
    if (sysname == nullptr || devnode == nullptr)
      continue;
    if (IsSerialDevice(device.get(), sysname, devnode))
      paths.emplace_back(devnode);
  }
  return paths;
}

std::vector<PortEntry> BuildPortList(const std::vector<std::string>& devicePaths,
                                     const std::map<std::uint32_t, std::string>& aliases,
                                     const std::function<bool(const std::string&)>& exists) {
  std::map<std::uint32_t, std::string> byNumber;
  for (const auto& [n, path] : aliases) {
    if (exists(path))
      byNumber.emplace(n, path);
  }
  for (const std::string& path : devicePaths) {
    // A number an alias claims is never given to another device, present or
    // not: opening that COM number opens the alias.
    const auto n = ComNumberForDevice(path, aliases);
    if (n && aliases.count(*n) == 0)
      byNumber.emplace(*n, path);
  }
  std::vector<PortEntry> entries;
  entries.reserve(byNumber.size());
  for (const auto& [n, path] : byNumber)
    entries.push_back(PortEntry{n, path, ComName(n)});
  return entries;
}

std::vector<PortEntry> ListSerialPorts() {
  return BuildPortList(SerialDevicePaths(), ComAliases(), [](const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
  });
}

}  // namespace tavro::link

#pragma once
// The serial ports the user can choose from, as COM names.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavro::link {

struct PortEntry {
  std::uint32_t comNumber = 0;
  std::string devicePath;
  std::string name;  // "COM<n>"
};

// A serial device that went away (PortMonitor reports them).
struct PortRemoval {
  std::string devicePath;
  std::optional<std::uint32_t> comNumber;  // when the device has one
};

// Linux (posix/port_list.cpp): the serial devices the system has (udev
// "tty" devices with a serial driver: ttyUSB*, ttyACM*, and ttyS* backed by a
// UART) and the TAVRO_COM<n> aliases whose device exists, as COM ports: one entry per COM number,
// sorted by it. A device named by an alias is listed under the alias's number only. Windows
// (win32/port_list.cpp): the COM names under the registry key HARDWARE\DEVICEMAP\SERIALCOMM, one
// entry per number, sorted by it; the device path is the value's name there ("\Device\Serial0").
std::vector<PortEntry> ListSerialPorts();

// A port as the system names it: its device and its COM name.
struct NamedPort {
  std::string device;   // "\Device\Serial0"
  std::string comName;  // "COM3"
};

// The number of "COM<n>" (n decimal, 1..255, no leading zero); nothing for
// any other name.
std::optional<std::uint32_t> ComNumberOfName(std::string_view name);

// The list from named ports: one entry per COM number (the first port that
// claims it), sorted by it; names that are no COM name are left out.
std::vector<PortEntry> PortsFromComNames(const std::vector<NamedPort>& ports);

// Linux only: device paths of the serial devices udev knows (see
// ListSerialPorts).
std::vector<std::string> SerialDevicePaths();

// Linux only: the list from given devices and aliases. An alias is listed when `exists`
// says its device is there; its number is never given to another device.
// Devices without a COM number are left out.
std::vector<PortEntry> BuildPortList(const std::vector<std::string>& devicePaths,
                                     const std::map<std::uint32_t, std::string>& aliases,
                                     const std::function<bool(const std::string&)>& exists);

}  // namespace tavro::link

#pragma once
// The serial ports the user can choose from, as COM names.

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace tavro::link {

struct PortEntry {
  std::uint32_t comNumber = 0;
  std::string devicePath;
  std::string name;  // "COM<n>"
};

// The serial devices the system has (udev "tty" devices with a serial driver:
// ttyUSB*, ttyACM*, and ttyS* backed by a UART) and the TAVRO_COM<n> aliases
// whose device exists, as COM ports: one entry per COM number, sorted by it.
// A device named by an alias is listed under the alias's number only.
std::vector<PortEntry> ListSerialPorts();

// Device paths of the serial devices udev knows (see ListSerialPorts).
std::vector<std::string> SerialDevicePaths();

// The list from given devices and aliases. An alias is listed when `exists`
// says its device is there; its number is never given to another device.
// Devices without a COM number are left out.
std::vector<PortEntry> BuildPortList(const std::vector<std::string>& devicePaths,
                                     const std::map<std::uint32_t, std::string>& aliases,
                                     const std::function<bool(const std::string&)>& exists);

}  // namespace tavro::link

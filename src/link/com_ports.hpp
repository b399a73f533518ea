#pragma once
// COM port numbers and the devices behind them.
//
// On Windows (win32/com_ports.cpp) COM<n> is the device \\.\COM<n>: there
// is no table and there are no aliases; the rest of this comment is Linux
// (posix/com_ports.cpp).
//
// The user picks ports by name, "COM<n>" with n from 1 to 255. On Linux a
// fixed table turns n into a device path, and an environment variable can
// point any COM number at any device (a simulator's pseudo terminal, a
// udev symlink under /dev/serial/by-id, ...):
//
//   COM numbers   device                    rule
//   COM1..32      /dev/ttyS0..ttyS31        COM(k+1)  is /dev/ttyS<k>
//   COM33..64     /dev/ttyUSB0..ttyUSB31    COM(k+33) is /dev/ttyUSB<k>
//   COM65..255    /dev/ttyACM0..ttyACM190   COM(k+65) is /dev/ttyACM<k>
//
//   TAVRO_COM<n>=<device path>   maps COM<n> to that device; it wins over
//                                the table. n is written in decimal without
//                                leading zeros, 1..255.
//
// Devices outside the table (ttyS32, ttyUSB40, ttyAMA0, ...) have no COM
// number unless an alias names them. docs/ports.md carries the same table
// for users.

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace tavro::link {

inline constexpr std::uint32_t kFirstComNumber = 1;
inline constexpr std::uint32_t kLastComNumber = 255;
inline constexpr const char* kComAliasPrefix = "TAVRO_COM";

// "COM<n>" (port_names.cpp, every platform).
std::string ComName(std::uint32_t n);

// The table's device for COM<n>, ignoring aliases; empty outside 1..255.
std::string BuiltInComDevicePath(std::uint32_t n);
// Device path → COM number from the table alone ("/dev/ttyS11" → 12).
std::optional<std::uint32_t> BuiltInComNumber(const std::string& devicePath);

// Every TAVRO_COM<n> alias of the process environment with a valid n and a
// non-empty path.
std::map<std::uint32_t, std::string> ComAliases();

// The device to open for COM<n>: the alias when there is one, else the
// table's path; empty when n is outside 1..255.
std::string ComDevicePath(std::uint32_t n);

// The COM number of a device: an alias naming the same device first (paths
// are compared after resolving symlinks where they exist), then the table,
// but only when that number is not taken by an alias for another device.
std::optional<std::uint32_t> ComNumberForDevice(const std::string& devicePath);
// The same against a given alias set (a snapshot, or a test's own).
std::optional<std::uint32_t> ComNumberForDevice(
    const std::string& devicePath, const std::map<std::uint32_t, std::string>& aliases);

// The path with symlinks and "." / ".." resolved when it exists, else as given.
std::string CanonicalDevicePath(const std::string& path);

}  // namespace tavro::link

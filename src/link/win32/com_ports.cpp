// COM numbers on Windows: COM<n> is the device \\.\COM<n> and is known by
// that name alone, so there is no table to consult and no alias to honour.
#include <string_view>

#include "link/com_ports.hpp"
#include "link/port_list.hpp"

namespace tavro::link {
namespace {

constexpr std::string_view kDevicePrefix = "\\\\.\\";

}  // namespace

std::string BuiltInComDevicePath(std::uint32_t n) {
  if (n < kFirstComNumber || n > kLastComNumber)
    return {};
  return std::string(kDevicePrefix) + ComName(n);
}

std::optional<std::uint32_t> BuiltInComNumber(const std::string& devicePath) {
  std::string_view name(devicePath);
  if (name.starts_with(kDevicePrefix))
    name.remove_prefix(kDevicePrefix.size());
  return ComNumberOfName(name);
}

std::map<std::uint32_t, std::string> ComAliases() {
  return {};
}

std::string ComDevicePath(std::uint32_t n) {
  return BuiltInComDevicePath(n);
}

std::optional<std::uint32_t> ComNumberForDevice(
    const std::string& devicePath, const std::map<std::uint32_t, std::string>& aliases) {
  for (const auto& [n, aliasPath] : aliases) {
    if (aliasPath == devicePath)
      return n;
  }
  const auto builtIn = BuiltInComNumber(devicePath);
  if (builtIn && aliases.count(*builtIn) == 0)
    return builtIn;
  return std::nullopt;
}

std::optional<std::uint32_t> ComNumberForDevice(const std::string& devicePath) {
  return BuiltInComNumber(devicePath);
}

std::string CanonicalDevicePath(const std::string& path) {
  return path;
}

}  // namespace tavro::link

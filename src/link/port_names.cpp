#include <string_view>

#include "link/com_ports.hpp"
#include "link/port_list.hpp"

namespace tavro::link {

std::string ComName(std::uint32_t n) {
  return "COM" + std::to_string(n);
}

std::optional<std::uint32_t> ComNumberOfName(std::string_view name) {
  if (name.size() < 4 || name.size() > 6 || name.substr(0, 3) != "COM" || name[3] == '0')
    return std::nullopt;
  std::uint32_t n = 0;
  for (const char c : name.substr(3)) {
    if (c < '0' || c > '9')
      return std::nullopt;
    n = n * 10 + static_cast<std::uint32_t>(c - '0');
  }
  if (n < kFirstComNumber || n > kLastComNumber)
    return std::nullopt;
  return n;
}

std::vector<PortEntry> PortsFromComNames(const std::vector<NamedPort>& ports) {
  std::map<std::uint32_t, std::string> byNumber;
  for (const NamedPort& port : ports) {
    if (const auto n = ComNumberOfName(port.comName))
      byNumber.emplace(*n, port.device);
  }
  std::vector<PortEntry> entries;
  entries.reserve(byNumber.size());
  for (const auto& [n, device] : byNumber)
    entries.push_back(PortEntry{n, device, ComName(n)});
  return entries;
}

}  // namespace tavro::link

#include "gui/demo.hpp"

#include <algorithm>
#include <set>

#include "link/com_ports.hpp"
#include "link/port_list.hpp"

namespace tavro::gui {

std::uint32_t FreeComNumber(std::uint32_t preferred) {
  std::set<std::uint32_t> used;
  for (const link::PortEntry& entry : link::ListSerialPorts())
    used.insert(entry.comNumber);
  for (const auto& [number, path] : link::ComAliases())
    used.insert(number);
  for (std::uint32_t n = std::min(preferred, link::kLastComNumber); n >= link::kFirstComNumber;
       --n) {
    if (used.count(n) == 0)
      return n;
  }
  return 0;
}

}  // namespace tavro::gui

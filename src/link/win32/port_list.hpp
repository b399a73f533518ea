#pragma once
// The registry's serial ports (link/port_list.hpp has the list built from them).

#include <vector>

#include "link/port_list.hpp"

namespace tavro::link::win32 {

// The values under HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM in the
// order the registry gives them; empty when the key cannot be opened.
std::vector<NamedPort> SerialCommPorts();

}  // namespace tavro::link::win32

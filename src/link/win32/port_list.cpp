// The port list on Windows: the values under HARDWARE\DEVICEMAP\SERIALCOMM,
// each a device name ("\Device\Serial0") with its COM name as data.
#include <windows.h>

#include "link/port_list.hpp"
#include "link/win32/port_list.hpp"

namespace tavro::link {

std::vector<NamedPort> win32::SerialCommPorts() {
  std::vector<NamedPort> ports;
  HKEY key = nullptr;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return ports;  // no serial port was ever installed
  }
  for (DWORD index = 0;; ++index) {
    char name[256];
    DWORD nameSize = sizeof name;
    BYTE data[256];
    DWORD dataSize = sizeof data - 1;
    DWORD type = 0;
    const LONG result =
        ::RegEnumValueA(key, index, name, &nameSize, nullptr, &type, data, &dataSize);
    if (result == ERROR_MORE_DATA)
      continue;  // no COM name is that long
    if (result != ERROR_SUCCESS)
      break;
    if (type != REG_SZ)
      continue;
    // Registry strings need not end in a NUL; cut at the first one there is.
    data[dataSize] = 0;
    ports.push_back(NamedPort{std::string(name, nameSize), reinterpret_cast<const char*>(data)});
  }
  ::RegCloseKey(key);
  return ports;
}

std::vector<PortEntry> ListSerialPorts() {
  return PortsFromComNames(win32::SerialCommPorts());
}

}  // namespace tavro::link

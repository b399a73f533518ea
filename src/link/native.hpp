#pragma once
// The serial port and the removal monitor the front ends use. Both are
// declared once; the build links the platform's device and watch
// (src/link/CMakeLists.txt), so that no source of the front ends names a
// platform.

#include "link/port_monitor.hpp"
#include "link/serial_port.hpp"

namespace tavro::link {

using NativeSerialPort = CSerialPort;

}  // namespace tavro::link

#pragma once
// The serial device on Windows (link/port_device.hpp): \\.\COM<n>, opened
// for overlapped I/O.
//
// The worker keeps one overlapped 1-byte read pending and waits for it and
// for its wake-up event. When the read completes it takes what else the
// driver holds (ClearCommError's count) as one run. A pending read is used
// instead of WaitCommEvent because it tells the same (a byte has come) and
// works on every serial driver, Wine's mapping of a pseudo terminal
// included, where an event wait is aborted at once. Discarding input cancels
// the pending read too: a byte it may have taken belongs to the exchange
// that ended.

#include <windows.h>

#include <cstdint>
#include <string>

#include "link/serial_link.hpp"

namespace tavro::link::win32 {

// "baud=115200 parity=N data=8 stop=1", the text BuildCommDCB takes.
std::string LineSettingsText(const LineSettings& settings);
// "\\.\COM<n>": the name that opens COM<n>, also above COM9.
std::string ComDeviceName(std::uint32_t port);
// Errors after which the device is no use any more (unplugged, closed).
bool DeviceGone(DWORD error);

}  // namespace tavro::link::win32

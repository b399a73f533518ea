#pragma once
// The text of a failed serial port operation, the same on every platform.

#include <cstdint>
#include <string>

namespace tavro::link {

// "WARNING:  <operation> Failed with the following error: \n<system text>\nPort: <n>\n".
std::string CommErrorText(const std::string& operation, const std::string& systemText,
                          std::uint32_t port);

}  // namespace tavro::link

#include "link/comm_error.hpp"

namespace tavro::link {

std::string CommErrorText(const std::string& operation, const std::string& systemText,
                          std::uint32_t port) {
  return "WARNING:  " + operation + " Failed with the following error: \n" + systemText +
         "\nPort: " + std::to_string(port) + "\n";
}

}  // namespace tavro::link

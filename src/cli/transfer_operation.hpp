#pragma once
// Download and Upgrade from the console: connect, press the button, follow
// the transfer, and wait for the terminal to report whether its new App
// runs. Only a terminal that runs it counts as done.

#include <optional>
#include <string>

#include "cli/global_options.hpp"

namespace tavro::cli {

// Exit code: 0 when the terminal reported that its App runs. Refused (2)
// when nobody can answer its questions; `command` names it then.
int RunUntilRunReport(const GlobalOptions& options, int buttonId, const char* command,
                      const std::optional<std::string>& folder = std::nullopt);

}  // namespace tavro::cli

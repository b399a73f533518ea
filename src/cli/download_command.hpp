#pragma once
// tavro-cli download: connect, then Download software, as a technician
// presses the two buttons, and wait for the terminal's run report.

#include "cli/command.hpp"

namespace tavro::cli {

Command AddDownloadCommand(CLI::App& app);

}  // namespace tavro::cli

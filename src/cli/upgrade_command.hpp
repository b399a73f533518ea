#pragma once
// tavro-cli upgrade: connect, then Upgrade software (or resume an
// interrupted one), as a technician presses the two buttons, and wait for
// the terminal's run report.

#include "cli/command.hpp"

namespace tavro::cli {

Command AddUpgradeCommand(CLI::App& app);

}  // namespace tavro::cli

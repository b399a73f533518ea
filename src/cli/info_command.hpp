#pragma once
// tavro-cli info: connect to the terminal and show its device information.

#include <CLI/CLI.hpp>

#include "cli/command.hpp"

namespace tavro::cli {

Command AddInfoCommand(CLI::App& app);

}  // namespace tavro::cli

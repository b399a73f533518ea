#pragma once
// tavro-cli ports: the serial ports the tool can use, with their COM numbers.

#include <CLI/CLI.hpp>

#include "cli/command.hpp"

namespace tavro::cli {

Command AddPortsCommand(CLI::App& app);

}  // namespace tavro::cli

#pragma once
// tavro-cli prepare: the start-up sequence's data preparation alone, without
// a serial port: the package check, the folder tree, then the initial data
// brought to the destination data version. Prints what it did; exit 0 when
// the preparation succeeded, 1 otherwise.

#include <CLI/CLI.hpp>

#include "cli/command.hpp"

namespace tavro::cli {

Command AddPrepareCommand(CLI::App& app);

}  // namespace tavro::cli

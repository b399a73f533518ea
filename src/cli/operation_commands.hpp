#pragma once
// The console's command for each operation of the window, one per operation
// row: a new operation gets its command without a file here.

#include <vector>

#include "cli/command.hpp"

namespace tavro::cli {

std::vector<Command> AddOperationCommands(CLI::App& app);

}  // namespace tavro::cli

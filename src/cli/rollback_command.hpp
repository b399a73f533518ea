#pragma once
// tavro-cli rollback: connect, confirm, and have the terminal return to its
// backup App.

#include "cli/command.hpp"

namespace tavro::cli {

Command AddRollbackCommand(CLI::App& app);

}  // namespace tavro::cli

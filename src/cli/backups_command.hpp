#pragma once
// tavro-cli backups: the restore points under the program directory, newest
// first, with what each would put back.

#include "cli/command.hpp"

namespace tavro::cli {

Command AddBackupsCommand(CLI::App& app);

}  // namespace tavro::cli

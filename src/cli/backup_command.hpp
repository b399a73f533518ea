#pragma once
// tavro-cli backup: connect, then Backup to PC, as a technician presses the
// two buttons; the summary and the backup paths go to stdout.

#include "cli/command.hpp"

namespace tavro::cli {

Command AddBackupCommand(CLI::App& app);

}  // namespace tavro::cli

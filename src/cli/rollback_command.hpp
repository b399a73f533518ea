#pragma once
// tavro-cli rollback: connect, confirm, and have the terminal return to its
// backup App.

#include "cli/global_options.hpp"

namespace tavro::cli {

// Exit code: 0 once the terminal reported that its backup App runs.
int RunRollback(const GlobalOptions& options);

}  // namespace tavro::cli

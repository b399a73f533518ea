#pragma once
// The App and parameter-data lines of a backup and its progress bar
// (timer 10).

#include "engine/context.hpp"

namespace tavro::operations {

void ShowBackupProgress(engine::Context& ctx);

}  // namespace tavro::operations

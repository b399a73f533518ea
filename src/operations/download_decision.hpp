#pragma once
// Which parameter data a Download sends once the terminal's own data has
// been read back: the package's initial data (after a question when the
// terminal's data is damaged), or none; then the download record is made
// and the stages start.

#include "engine/context.hpp"

namespace tavro::operations {

void DownloadDataDecision(engine::Context& ctx);

// Starts the stages with the data chosen: the old records are given up, a
// new record is made, and the RAM stage runs first when a new bootloader
// is to go in.
void StartDownloadStages(engine::Context& ctx);

}  // namespace tavro::operations

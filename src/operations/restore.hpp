#pragma once
// Restore from backup: a restore point chosen on the PC (a data backup
// folder and the App backup of the same stamp) goes back onto the connected
// terminal. It is checked against the terminal before anything is sent and
// confirmed by the technician; the terminal's current App and data are
// backed up first, then the App and the data set go in through the
// download transfers under a download record naming the restore point's
// folder, so that the next Upgrade resumes an interrupted restore.

#include <memory>

#include "data/restore_point.hpp"
#include "engine/context.hpp"
#include "engine/operation.hpp"

namespace tavro::operations {

std::shared_ptr<engine::Operation> MakeRestore(data::RestorePoint point);

// Tools menu "Restore from backup…" (and the console's restore command):
// asks the screen for the data backup folder.
void StartRestore(engine::Context& ctx);

}  // namespace tavro::operations

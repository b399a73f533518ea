#pragma once
// What the operations that talk to a connected terminal share before and
// around their own work.

#include "engine/context.hpp"

namespace tavro::operations {

// The port is open and View device information has connected; otherwise
// the box that says which is missing, and false.
bool RequireConnection(engine::Context& ctx);

// Deletes the download records (*.log) of this port: an older interrupted
// download or upgrade is given up.
void DeleteResumeRecords(engine::Context& ctx);

}  // namespace tavro::operations

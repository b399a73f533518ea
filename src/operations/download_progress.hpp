#pragma once
// The five stage lines of a download or upgrade and the progress bar, as
// the current command places them (timer 9).

#include "engine/context.hpp"

namespace tavro::operations {

// Shows the stage lines for CmdID; a command without a row leaves them.
void ShowDownloadStages(engine::Context& ctx);

}  // namespace tavro::operations

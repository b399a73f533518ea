#pragma once
// The initial data a download sends: chosen and checked, and the operation
// ended with its message when a file is missing.

#include "engine/context.hpp"

namespace tavro::operations {

// Sets ParaPath and DownloadData = 1 when the initial data is complete;
// otherwise shows the update-stop text and message, ends the operation and
// returns false.
bool CheckInitData(engine::Context& ctx);

}  // namespace tavro::operations

#pragma once
// Elapsed time and progress of a running operation: the stage lines of a
// download or upgrade (timer 9) and of a backup (timer 10).

#include <string>

#include "engine/context.hpp"

namespace tavro::engine {

// "(<p>%)" with p truncated toward zero.
std::string Percentage(double fraction);

void OnDownloadProgressTick(Context& ctx);  // timer 9
void OnBackupProgressTick(Context& ctx);    // timer 10

}  // namespace tavro::engine

#pragma once
// The completion of a download or upgrade (command 12090) and which of the
// download commands the silence watch resends.

#include "engine/context.hpp"

namespace tavro::operations {

// Command 12090: every stage done; the download record has nothing left to
// resume, and the terminal restarts.
void CompleteDownload(engine::Context& ctx);

// Registers the completion and the silence-watch resend groups of the
// download commands.
void RegisterDownloadStages(engine::Context& ctx);

}  // namespace tavro::operations

#pragma once
// The stages a download or upgrade runs after its decision, in their fixed
// order (resources, App, parameter data, completion), the completion itself,
// and which of their commands the silence watch resends.

#include "engine/context.hpp"

namespace tavro::operations {

// Starts the next stage: resources (unless they are done), the App when
// DownloadApp is set, the parameter data when DownloadData is set (E2PROM or
// Flash by generation), else the completion.
void NextDownloadStage(engine::Context& ctx, bool afterResources = false);

// Command 12090: every stage done; the download record has nothing left to
// resume, and the terminal restarts.
void CompleteDownload(engine::Context& ctx);

// Registers the completion and the silence-watch resend groups of the
// download commands.
void RegisterDownloadStages(engine::Context& ctx);

}  // namespace tavro::operations

#pragma once
// Download software: the package in the program directory (resources, App,
// parameter data, each when the package holds it) goes onto the connected
// terminal, after the technician's confirmation and an optional backup of
// the terminal's own App.

#include <memory>

#include "engine/context.hpp"
#include "engine/operation.hpp"

namespace tavro::operations {

std::shared_ptr<engine::Operation> MakeDownload();

// Button "Download" (or "Run" when no package is ready).
void StartDownload(engine::Context& ctx);

// The back-up-App question; true for OK.
bool AskBackupApp(engine::Context& ctx);

}  // namespace tavro::operations

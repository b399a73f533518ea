#pragma once
// View device information: connect, identify, and show who the terminal is
// (bootloader, App and parameter data, each intact or not).

#include <memory>

#include "engine/context.hpp"
#include "engine/operation.hpp"

namespace tavro::operations {

// The operation as the button installs it; it is also the fallback that
// answers a terminal announcing itself while nothing runs.
std::shared_ptr<engine::Operation> MakeViewInfo();

// Button "View device information".
void StartViewInfo(engine::Context& ctx);

// Shows the identification and returns the window to idle.
void ShowDeviceInfo(engine::Context& ctx);

}  // namespace tavro::operations

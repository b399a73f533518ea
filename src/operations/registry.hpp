#pragma once
// Every user operation, registered once: each unit adds its reply handlers
// and commands, and names the button that starts it. Adding an operation is
// one line here and its own unit.

#include <functional>
#include <vector>

#include "engine/context.hpp"

namespace tavro::operations {

struct OperationButton {
  int controlId = 0;
  std::function<void(engine::Context&)> start;
};

// Registers the operations' rows and the fallback operation; returns the
// buttons the window routes to them.
std::vector<OperationButton> RegisterOperations(engine::Context& ctx);

}  // namespace tavro::operations

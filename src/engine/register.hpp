#pragma once
// The rows every operation shares: the receive path, stage control and the
// read-backs.

#include "engine/context.hpp"

namespace tavro::engine {

void RegisterEngine(Context& ctx);

}  // namespace tavro::engine

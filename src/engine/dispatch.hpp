#pragma once
// From a good frame to its handler, and from a command to the frame it sends.
// Front ends always show the terminal text scrolled to its end.

#include <cstdint>

#include "engine/context.hpp"

namespace tavro::engine {

// Stops the answer time-out, runs the handler of `msgId` (unknown ids are
// ignored) and shows the controls.
void DispatchFrame(Context& ctx, std::uint16_t msgId, link::ByteView payload);

// The first frame of command `cmd`; a command without a sender sends nothing.
void SendFirst(Context& ctx, std::uint32_t cmd);

// What the terminal needs after a frame of command `cmd` failed its CRC.
void ResendAfterCrcError(Context& ctx, std::uint32_t cmd);

}  // namespace tavro::engine

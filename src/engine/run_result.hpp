#pragma once
// The end of a download as the terminal reports it (does its new App run?)
// and the roll back to the terminal's backed-up App.

#include "engine/context.hpp"
#include "link/payloads.hpp"

namespace tavro::engine {

void OnRunResult(Context& ctx, link::ByteView payload);
// Command 12065: asks the terminal to return to its backed-up App, with the
// roll-back watchdog.
void SendGoBack(Context& ctx);
void OnGoBackResult(Context& ctx, link::ByteView payload);

void RegisterRunResult(Context& ctx);

}  // namespace tavro::engine

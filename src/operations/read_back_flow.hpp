#pragma once
// What follows the App read-back in every operation that reads the terminal
// back (Backup, and Download and Upgrade before they send anything): the
// parameter data when the terminal reported it intact, then the running
// operation's own ending. The terminal's refusals of a read-back end there
// too, with what was read kept.

#include "engine/context.hpp"
#include "link/payloads.hpp"

namespace tavro::operations {

// The parameter data: the Flash areas one after the other, or the whole
// E2PROM into E2.dat; then the operation's ending.
void ReadBackParameterData(engine::Context& ctx);
// After the App read-back (or when the terminal has no App to read).
void ContinueAfterAppReadBack(engine::Context& ctx);
// The operation's ending: its summary or its data decision.
void EndReadBack(engine::Context& ctx);

// Reply handlers.
void OnAppBackupNone(engine::Context& ctx);
void OnParaIntegErr(engine::Context& ctx);
void OnParaUploadErr(engine::Context& ctx, link::ByteView payload);

void RegisterReadBackFlow(engine::Context& ctx);

}  // namespace tavro::operations

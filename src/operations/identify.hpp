#pragma once
// Connect and identification: who the terminal is (bootloader, App, parameter
// data) and, for View device information, showing it. Download and Upgrade
// run the same identification and continue from its hand-over.

#include "engine/context.hpp"

namespace tavro::operations {

// Button "View device information".
void OnViewInfo(engine::Context& ctx);

// Reply handlers.
void OnBlHello(engine::Context& ctx, link::ByteView payload);
void OnAppInfo(engine::Context& ctx, link::ByteView payload);
void OnDataInfo(engine::Context& ctx, link::ByteView payload);
void OnNoDataInfo(engine::Context& ctx);

// Command 12002: reads the next Flash parameter header, or evaluates them
// all once every header has been read.
void HandshakeStep(engine::Context& ctx);
void CheckParaHeaders(engine::Context& ctx);
// Timer 8 after the E2PROM header read.
void OnParaHeaderE2(engine::Context& ctx);

// After the parameter information: finish the identification, or hand a
// running download or upgrade on.
void HandOverAfterParaInfo(engine::Context& ctx);
// Shows the identification, or continues the operation that asked for it.
void ShowDeviceInfo(engine::Context& ctx);

// Registers the handlers, senders and hooks of the identification.
void RegisterIdentification(engine::Context& ctx);

}  // namespace tavro::operations

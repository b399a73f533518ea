#pragma once
// Connect and identification: who the terminal is (bootloader, App, parameter
// data) and, for View device information, showing it. Download and Upgrade
// run the same identification and continue from its hand-over.

#include "engine/context.hpp"
#include "engine/operation.hpp"

namespace tavro::operations {

// The identification every operation begins with; the operations derive
// from it and say where it hands over.
class IdentifyingOperation : public engine::Operation {
 public:
  bool CheckFileSet(engine::Context& ctx) override;
};

// Reply handlers.
void OnBlHello(engine::Context& ctx, link::ByteView payload);
void OnAppInfo(engine::Context& ctx, link::ByteView payload);
void OnDataInfo(engine::Context& ctx, link::ByteView payload);
void OnNoDataInfo(engine::Context& ctx);

// Command 12002: reads the next Flash parameter header, or evaluates them
// all once every header has been read.
void HandshakeStep(engine::Context& ctx);
void CheckParaHeaders(engine::Context& ctx);
// Timer 8 after the E2PROM header read: takes the header, then hands over.
void OnParaHeaderE2(engine::Context& ctx);
// The parameter version, model, time stamp and integrity from the first 32
// bytes of the E2PROM read just finished (BackupImage2).
void TakeE2Header(engine::Context& ctx);

// After the parameter information: the terminal counts as identified and
// the running operation (or the fallback) goes on.
void HandOverAfterParaInfo(engine::Context& ctx);

// Registers the reply handlers and senders of the identification.
void RegisterIdentification(engine::Context& ctx);

}  // namespace tavro::operations

#pragma once
// Blocks the terminal sends back for a read the running step asked for: the
// Flash-header reads and E2PROM reads, taken in by the shared block rule,
// acknowledged, and handed to the asking step once the last block is in.

#include <cstdint>

#include "engine/context.hpp"
#include "link/payloads.hpp"

namespace tavro::engine {

inline constexpr std::uint32_t kHeaderReadLength = 64;    // Flash parameter header read
inline constexpr std::uint32_t kE2HeaderLength = 32;      // E2PROM parameter header
inline constexpr std::uint32_t kE2ImageLength = 0x10000;  // whole E2PROM

// Sends MsgFlashRead for `request` as a new read within the running command;
// request.onDone runs three header-pace ticks after the last block.
void SendFlashRead(Context& ctx, ReadRequest request);
// The first frame of command MsgE2Read: a new read for `request`.
void SendE2Read(Context& ctx, ReadRequest request);
// Starts command MsgE2Read for `request`; request.onDone runs six E2-pace
// ticks after the last block.
void StartE2Read(Context& ctx, ReadRequest request);

// Restarts the answer time-out: a reply that leads to a further reply
// without a new command keeps the operation guarded against silence.
void ArmAnswerTimeout(Context& ctx);

// The pacing timers ran out: the step that asked for the read goes on.
void FinishRead(Context& ctx);

void OnFlashReadBlock(Context& ctx, link::ByteView payload);
void OnFlashReadErr(Context& ctx, link::ByteView payload);
void OnE2ReadBlock(Context& ctx, link::ByteView payload);
void OnE2ReadErr(Context& ctx);

void RegisterReadBack(Context& ctx);

}  // namespace tavro::engine

#pragma once
// Blocks the terminal sends back: the common block rule (first block sizes
// the buffer, a repeated block is acknowledged but stored once) and the
// Flash-header and E2PROM reads of the identification.

#include <cstdint>

#include "engine/context.hpp"
#include "link/payloads.hpp"

namespace tavro::engine {

inline constexpr std::uint32_t kHeaderReadLength = 64;    // Flash parameter header read
inline constexpr std::uint32_t kE2HeaderLength = 32;      // E2PROM parameter header
inline constexpr std::uint32_t kE2ImageLength = 0x10000;  // whole E2PROM

// Sends MsgFlashRead for `length` bytes at `address` as a new read.
void SendFlashRead(Context& ctx, std::uint32_t address, std::uint32_t length);
// Sends MsgE2Read as a new read of `length` bytes from `address`.
void SendE2Read(Context& ctx, std::uint32_t address, std::uint32_t length);

// Restarts the answer time-out: a reply that leads to a further reply
// without a new command keeps the operation guarded against silence.
void ArmAnswerTimeout(Context& ctx);

void OnFlashReadBlock(Context& ctx, link::ByteView payload);
void OnFlashReadErr(Context& ctx, link::ByteView payload);
void OnE2ReadBlock(Context& ctx, link::ByteView payload);
void OnE2ReadErr(Context& ctx);

void RegisterHeaderReads(Context& ctx);

}  // namespace tavro::engine

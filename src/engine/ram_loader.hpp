#pragma once
// Programs the terminal runs from RAM and what they lead to: the
// bootloader-upgrade loader followed by the new bootloader image, and the
// E2PROM-check loader with its short exchange and result.

#include <cstddef>
#include <cstdint>

#include "engine/context.hpp"
#include "link/payloads.hpp"

namespace tavro::engine {

// Sizes of the two bootloader-upgrade loaders: for terminal type 0 and for
// every other type.
inline constexpr std::size_t kBlLoaderSizeType0 = 33764;
inline constexpr std::size_t kBlLoaderSizeOther = 32968;

// The built-in bootloader-upgrade loader for `terminalType`. These are
// placeholders of the exact sizes (see docs/loaders.md): the terminal
// maker's loaders replace them; the transfer depends only on the size.
link::Bytes BuiltInBlLoader(std::uint32_t terminalType);

// Command 12080: the program the running operation asks for (the E2PROM
// check from Data/Bl/CheckE2, or the built-in bootloader-upgrade loader).
void SendRamLoader(Context& ctx);
void OnRamBlockAck(Context& ctx);
// Command 12003: the new bootloader image from Data/Bl.
void SendBlImage(Context& ctx);
void OnBlBlockAck(Context& ctx, link::ByteView payload);
void OnBlUpgradeReady(Context& ctx);
void OnE2CheckResult(Context& ctx, link::ByteView payload);

void RegisterRamLoader(Context& ctx);

}  // namespace tavro::engine

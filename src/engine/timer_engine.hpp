#pragma once
// The window's timer ticks: silence and answer time-outs with their resends,
// the terminal-backup and roll-back watchdogs, the pacing of internal steps,
// the link-query poll and the progress display.

#include "engine/context.hpp"

namespace tavro::engine {

inline constexpr std::uint32_t kWatchdogLimit = 120;  // ticks; the 121st ends the operation
inline constexpr std::uint8_t kSilenceResendEvery = 8;
inline constexpr std::uint8_t kSilenceGiveUp = 18;
inline constexpr std::uint16_t kAnswerGiveUp = 9;
inline constexpr std::uint32_t kPollResendEvery = 10;
inline constexpr std::uint32_t kPollGiveUp = 22;

void OnTimerTick(Context& ctx, int timerId);

// The link is lost: the next operation must connect again.
void DropLink(Context& ctx);

}  // namespace tavro::engine

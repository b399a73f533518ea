#pragma once
// Elapsed time of a running operation (timers 9 and 10): the clock line and
// the dots move on every second; what the stage lines and the bar show is
// the running operation's.

#include <string>

#include "engine/context.hpp"

namespace tavro::engine {

// "(<p>%)" with p truncated toward zero.
std::string Percentage(double fraction);

// One second more: the elapsed-time line and the dots.
void AdvanceClock(Context& ctx);

// Timer 9 or 10: the clock, then the running operation's progress.
void OnProgressTick(Context& ctx, int timerId);

}  // namespace tavro::engine

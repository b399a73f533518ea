#pragma once
// Line settings as termios: speed, character size, parity and stop bits over
// a raw line (no echo, no line editing, no translation, no flow control).

#include <termios.h>

#include <cstdint>
#include <optional>

#include "link/serial_link.hpp"

namespace tavro::link::posix {

// The speed constant of a standard baud rate (50 .. 4000000).
std::optional<speed_t> SpeedFor(std::uint32_t baud);

// A settings step that refused: the name shown to the user and the errno.
struct SettingsFailure {
  const char* operation;
  int error;
};

// Rewrites `t` (as read from the port) for `settings`: raw mode, receiver on,
// modem status lines ignored, no hardware or software flow control, reads
// return as soon as one byte is there. Parity is 'N', 'E', 'O', 'M' or 'S'
// (either case), data bits 5..8, stop bits 1 or 2. A value outside these is
// refused with EINVAL before anything is changed.
std::optional<SettingsFailure> ApplyLineSettings(const LineSettings& settings, termios& t);

// True when `applied` (read back from the port) carries the speeds, character
// size, parity and stop bits of `wanted`: drivers apply what they can and
// succeed, so a setting the device does not take shows only here.
bool SameLineSettings(const termios& wanted, const termios& applied);

}  // namespace tavro::link::posix

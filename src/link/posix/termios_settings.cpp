#include "link/posix/termios_settings.hpp"

#include <cerrno>

namespace tavro::link::posix {
namespace {

struct SpeedEntry {
  std::uint32_t baud;
  speed_t speed;
};

constexpr SpeedEntry kSpeeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

constexpr tcflag_t kParityBits = PARENB | PARODD | CMSPAR;

std::optional<tcflag_t> ParityBits(char parity) {
  switch (parity) {
    case 'N':
    case 'n':
      return tcflag_t{0};
    case 'E':
    case 'e':
      return tcflag_t{PARENB};
    case 'O':
    case 'o':
      return tcflag_t{PARENB | PARODD};
    case 'M':  // parity bit always 1
    case 'm':
      return tcflag_t{PARENB | CMSPAR | PARODD};
    case 'S':  // parity bit always 0
    case 's':
      return tcflag_t{PARENB | CMSPAR};
    default:
      return std::nullopt;
  }
}

std::optional<tcflag_t> SizeBits(int dataBits) {
  switch (dataBits) {
    case 5:
      return tcflag_t{CS5};
    case 6:
      return tcflag_t{CS6};
    case 7:
      return tcflag_t{CS7};
    case 8:
      return tcflag_t{CS8};
    default:
      return std::nullopt;
  }
}

}  // namespace

std::optional<speed_t> SpeedFor(std::uint32_t baud) {
  for (const SpeedEntry& entry : kSpeeds) {
    if (entry.baud == baud)
      return entry.speed;
  }
  return std::nullopt;
}

std::optional<SettingsFailure> ApplyLineSettings(const LineSettings& settings, termios& t) {
  const auto speed = SpeedFor(settings.baud);
  if (!speed)
    return SettingsFailure{"cfsetspeed()", EINVAL};
  const auto parity = ParityBits(settings.parity);
  const auto size = SizeBits(settings.dataBits);
  if (!parity || !size || (settings.stopBits != 1 && settings.stopBits != 2)) {
    return SettingsFailure{"line settings", EINVAL};
  }

  termios next = t;
  ::cfmakeraw(&next);
  if (::cfsetspeed(&next, *speed) != 0)
    return SettingsFailure{"cfsetspeed()", errno};
  next.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  next.c_cflag &= ~static_cast<tcflag_t>(CSIZE | kParityBits | CSTOPB | CRTSCTS);
  next.c_cflag |= *size | *parity | CLOCAL | CREAD;
  if (settings.stopBits == 2)
    next.c_cflag |= CSTOPB;
  // With O_NONBLOCK this makes "no data" read as EAGAIN and a read of 0 mean
  // the line was hung up.
  next.c_cc[VMIN] = 1;
  next.c_cc[VTIME] = 0;
  t = next;
  return std::nullopt;
}

bool SameLineSettings(const termios& wanted, const termios& applied) {
  constexpr tcflag_t kLineBits = CSIZE | kParityBits | CSTOPB;
  return ::cfgetispeed(&wanted) == ::cfgetispeed(&applied) &&
         ::cfgetospeed(&wanted) == ::cfgetospeed(&applied) &&
         (wanted.c_cflag & kLineBits) == (applied.c_cflag & kLineBits);
}

}  // namespace tavro::link::posix

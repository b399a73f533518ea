#include "link/time_stamp.hpp"

#include <cstdio>

namespace tavro::link {

TimeStamp LocalTimeStamp(std::time_t when) {
  std::tm tm{};
  if (localtime_r(&when, &tm) == nullptr)
    return kUnreadableTime;
  TimeStamp t;
  t.year = static_cast<std::uint16_t>(tm.tm_year + 1900);
  t.month = static_cast<std::uint8_t>(tm.tm_mon + 1);
  t.day = static_cast<std::uint8_t>(tm.tm_mday);
  t.hour = static_cast<std::uint8_t>(tm.tm_hour);
  t.minute = static_cast<std::uint8_t>(tm.tm_min);
  t.second = static_cast<std::uint8_t>(tm.tm_sec);
  return t;
}

TimeStamp NowTimeStamp() {
  return LocalTimeStamp(std::time(nullptr));
}

std::string FormatTimeStamp(const TimeStamp& t) {
  char text[32];
  std::snprintf(text, sizeof text, "%04u%02u%02u%02u%02u%02u", static_cast<unsigned>(t.year),
                static_cast<unsigned>(t.month), static_cast<unsigned>(t.day),
                static_cast<unsigned>(t.hour), static_cast<unsigned>(t.minute),
                static_cast<unsigned>(t.second));
  return text;
}

}  // namespace tavro::link

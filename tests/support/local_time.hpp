#pragma once
// Fixed instants in local time for tests that name files and stamps after
// the clock.

#include <ctime>

namespace tavro::test {

// The instant of the given local calendar time.
inline std::time_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

}  // namespace tavro::test

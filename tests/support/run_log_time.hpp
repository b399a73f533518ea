#pragma once
// The start time the run-log tests open their log at, and the file it names.

#include <ctime>

namespace tavro::test {

// 2026-03-04 05:06:07 local time.
inline std::time_t RunLogStartTime() {
  std::tm tm{};
  tm.tm_year = 126;
  tm.tm_mon = 2;
  tm.tm_mday = 4;
  tm.tm_hour = 5;
  tm.tm_min = 6;
  tm.tm_sec = 7;
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

inline constexpr const char* kRunLogFile = "Backup/AppRunLog/20260304050607.txt";

}  // namespace tavro::test

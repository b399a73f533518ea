#pragma once
// The start time the run-log tests open their log at, and the file it names.

#include <ctime>

#include "support/local_time.hpp"

namespace tavro::test {

// 2026-03-04 05:06:07 local time.
inline std::time_t RunLogStartTime() {
  return LocalTime(2026, 3, 4, 5, 6, 7);
}

inline constexpr const char* kRunLogFile = "Backup/AppRunLog/20260304050607.txt";

}  // namespace tavro::test

#pragma once
// The start time the run-log tests open their log at, and the file it names.

#include <cstdint>
#include <ctime>
#include <string>

#include "support/local_time.hpp"

namespace tavro::test {

// 2026-03-04 05:06:07 local time.
inline std::time_t RunLogStartTime() {
  return LocalTime(2026, 3, 4, 5, 6, 7);
}

// The log of a run on COM<port> started then.
inline std::string RunLogFile(std::uint32_t port) {
  return "Backup/AppRunLog/20260304050607-COM" + std::to_string(port) + ".txt";
}

}  // namespace tavro::test

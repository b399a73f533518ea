#pragma once
// The download time stamp carried in App descriptor and parameter header
// blocks. Builders take it as a value so that frames are reproducible.

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

namespace tavro::link {

struct TimeStamp {
  std::uint16_t year = 0;
  std::uint8_t month = 0;
  std::uint8_t day = 0;
  std::uint8_t hour = 0xFF;
  std::uint8_t minute = 0xFF;
  std::uint8_t second = 0xFF;

  bool operator==(const TimeStamp&) const = default;
};

// The value written when the local time cannot be read: date 0, time 0xFF.
inline constexpr TimeStamp kUnreadableTime{};

// Local time of `when`, or kUnreadableTime when it cannot be converted.
TimeStamp LocalTimeStamp(std::time_t when);
// The broken-down local time of `when`; false when it has none. Safe to call
// from any thread on every platform.
bool LocalTime(std::time_t when, std::tm& out);
TimeStamp NowTimeStamp();

// "%Y%m%d%H%M%S" of a time stamp (the form used in file names and records).
std::string FormatTimeStamp(const TimeStamp& t);

// The instant of a "%Y%m%d%H%M%S" text in local time; nullopt unless the
// text is 14 digits naming a valid local time. LocalTimeStamp of the result
// gives the text's fields back.
std::optional<std::time_t> ParseTimeStampText(const std::string& text);

}  // namespace tavro::link

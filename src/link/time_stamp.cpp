#include "link/time_stamp.hpp"

#include <algorithm>
#include <cstdio>
#include <mutex>

namespace tavro::link {

bool LocalTime(std::time_t when, std::tm& out) {
  // std::localtime shares one result between callers; the copy is taken
  // under a lock so that every platform's C library will do.
  static std::mutex mutex;
  std::lock_guard lock(mutex);
  const std::tm* local = std::localtime(&when);
  if (local == nullptr)
    return false;
  out = *local;
  return true;
}

TimeStamp LocalTimeStamp(std::time_t when) {
  std::tm tm{};
  if (!LocalTime(when, tm))
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

std::optional<std::time_t> ParseTimeStampText(const std::string& text) {
  if (text.size() != 14 ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return std::nullopt;
  auto field = [&](std::size_t at, std::size_t len) { return std::stoi(text.substr(at, len)); };
  std::tm tm{};
  tm.tm_year = field(0, 4) - 1900;
  tm.tm_mon = field(4, 2) - 1;
  tm.tm_mday = field(6, 2);
  tm.tm_hour = field(8, 2);
  tm.tm_min = field(10, 2);
  tm.tm_sec = field(12, 2);
  tm.tm_isdst = -1;
  const std::time_t when = std::mktime(&tm);
  // mktime normalises a 31st of February or an hour 25; such a text names
  // no instant.
  if (when == static_cast<std::time_t>(-1) || FormatTimeStamp(LocalTimeStamp(when)) != text)
    return std::nullopt;
  return when;
}

}  // namespace tavro::link
